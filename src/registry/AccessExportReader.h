// Reads the companies of a NovaGIA export: an Access (Jet) file whose table
// `tblContribuinte` holds one company per row, read by column position (IE,
// company name, CNPJ, CNAE), every value taken as text.
//
// The file comes from outside and the Access library is not hardened against
// damaged files, so it is read in the reader child (access/MdbChild): a file
// that crashes or stalls the library is refused like any unreadable file and
// the client goes on. The fixed database password the export files carry
// ("lorentz77") only guards them against the Windows Access driver; libmdb
// reads past it.
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
// Rows read at most: one past the most companies the import takes (a 16-bit
// signed count), so that a longer export is seen as too long, while a damaged
// file of millions of tiny rows is refused before it fills the memory.
inline constexpr int kMostRowsRead = 32768;

// Every company of `tblContribuinte` in file order; an empty list for an
// empty table. NULL values read as empty text.
// Throws RuntimeError when the file is missing or unreadable, is not an
// Access file or is damaged, has no table of that name, or the table has
// fewer than four columns, or more than kMostRowsRead rows; with
// MdbChild::kHelperMissing when the reader child is not installed.
QList<Company> readCompanies(const QString& path);

} // namespace AccessExport
