// Which registered taxpayer a file belongs to, read from the state
// registration number (IE) written in its name or in the names of the
// folders it sits in (the state program and most offices file backups under
// the company's IE). No widgets: the batch window proposes what this finds
// and leaves the rest for the user.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace FileMatching {

struct Match {
    QString ie;        // the registered taxpayer proposed; empty when none
    QString reason;    // why none was proposed (in Portuguese); empty when matched
    QStringList found; // every distinct valid IE read, in the order met
};

// The valid IEs (8 digits passing the state's check rule) written in `name`:
// a run of exactly 8 digits ("86123452-01" holds one), or 8 digits split by
// "." or "-" as IEs are printed ("86.123.45-2"). Distinct, in order of
// appearance.
QStringList iesIn(const QString& name);

// Reads the file's own name (without its extension) and the names of its
// folders from the one holding it up to `baseFolder` inclusive (only the
// holding folder when baseFolder is empty or does not contain the file).
// Exactly one distinct valid IE that is in `registered`: matched. None, more
// than one, or one not registered: no taxpayer, with the reason. Never throws.
Match match(const QString& filePath, const QString& baseFolder, const QSet<QString>& registered);

} // namespace FileMatching
