// The reference periods a declaration covers: the months offered for the
// working years the server accepts, and the collection of the months the user
// selected into the "gias" list of the upload address.
#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace ReferenceList {

struct Row {
    QString id;         // key sent to the server: month without leading zero, "_", year ("3_2014")
    QString referencia; // what the user reads: month, " / ", year ("3 / 2014")
    bool operator==(const Row&) const = default;
};

// Text of the third column of every row.
inline const QString kRegime = QStringLiteral("VAV-UVOD");

// Rows for the working years (years separated by "/", blanks around a year
// ignored, pieces that are not a number skipped). A year equal to the one just
// before it is listed once. For the year of `today` only the months before
// today's month are listed (none in January); any other year, all twelve.
QList<Row> build(const QString& anoTrabalho, const QDate& today);

struct Collected {
    QString gias;         // ids of the accepted rows joined by "," without blanks
    int accepted = 0;     // rows whose year occurs in anoTrabalho
    bool refused = false; // at least one row's year does not occur in it
};

// Collects the rows in the order given: a row is accepted when the last four
// characters of its trimmed reference text occur anywhere in anoTrabalho.
Collected collect(const QList<Row>& rows, const QString& anoTrabalho);

// The message shown (once per window load) when a selected month lies outside
// the working years; the wording depends on the direction in which the user
// made the selection.
QString refusalMessage(bool selectedDownward, const QString& anoTrabalho);

// Whether a chosen file is a backup archive: its last three characters,
// upper-cased, are "ZIP" (so "backup.zip" is, "backup.zipx" is not).
bool isArchiveName(const QString& fileName);

} // namespace ReferenceList
