// Reading `tblContribuinte` of a NovaGIA export through the reader child.
#include "registry/AccessExportReader.h"

#include "access/MdbChild.h"

namespace AccessExport {

QList<Company> readCompanies(const QString& path) {
    MdbChild::Request request{QString::fromLatin1(kTable), {}};
    for (int i = 0; i < kColumnsNeeded; ++i)
        request.columns << MdbChild::Column::at(i);
    MdbChild::Limits limits;
    limits.rows = kMostRowsRead;
    QList<Company> companies;
    MdbChild::readRows(
        path, {request},
        [&companies](qsizetype, const QStringList& row) {
            companies << Company{row.at(0), row.at(1) + QLatin1Char(' '), row.at(2), row.at(3)};
        },
        limits);
    return companies;
}

} // namespace AccessExport
