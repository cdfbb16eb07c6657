// A table as a printable document: a title, the date it was made, and the
// table with its header, laid out on A4 landscape by Qt's PDF writer.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace TablePrint {

// The table as HTML (every text escaped).
QString html(const QString& title, const QString& subtitle, const QStringList& header,
             const QList<QStringList>& rows);

// Writes the HTML document as a PDF file at path. Returns the empty text on
// success, else why not (in Portuguese). A4, landscape or portrait.
QString writePdf(const QString& path, const QString& htmlDocument, bool landscape = true);

} // namespace TablePrint
