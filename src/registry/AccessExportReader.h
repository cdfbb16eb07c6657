// Reads the companies of a NovaGIA export: an Access (Jet) file whose table
// `tblContribuinte` holds one company per row, read by column position (IE,
// company name, CNPJ, CNAE), every value taken as text.
//
// The file is read with libmdb, which needs no password: the fixed database
// password the export files carry ("lorentz77") only guards them against the
// Windows Access driver, and libmdb reads past it. Before libmdb sees a file
// its first page is checked for the Jet/ACE signature, so a text file or any
// other stranger is refused here rather than inside the library (which may
// print a diagnostic of its own on stderr for a damaged Access file).
#pragma once

#include <QList>
#include <QString>

namespace AccessExport {

// One company as the export holds it. `RazaoSocial` already carries the one
// trailing blank the import has always appended (a missing name reads " ").
struct Company {
    QString IE;
    QString RazaoSocial;
    QString Cnpj;
    QString Cnae;

    bool operator==(const Company&) const = default;
};

// The table read, by name, and the columns it needs at least.
inline constexpr char kTable[] = "tblContribuinte";
inline constexpr int kColumnsNeeded = 4;

// Every company of `tblContribuinte` in file order; an empty list for an
// empty table. NULL values read as empty text.
// Throws RuntimeError when the file is missing or unreadable, is not an
// Access file, has no table of that name, or the table has fewer than four
// columns.
QList<Company> readCompanies(const QString& path);

} // namespace AccessExport
