// Writing a table as CSV for spreadsheets.
#include "overview/CsvTable.h"

namespace CsvTable {

namespace {

// A spreadsheet reads a cell starting with one of these as a formula (a TAB
// or CR may be dropped in front of one); names and server texts are data.
bool startsLikeFormula(const QString& text) {
    static const QString kLeading = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && kLeading.contains(text.front());
}

QString cell(QString text) {
    if (startsLikeFormula(text))
        text.prepend(u'\'');
    const bool quote = text.contains(u';') || text.contains(u'"') || text.contains(u'\n') ||
                       text.contains(u'\r') || text != text.trimmed();
    if (!quote)
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

void line(QString& out, const QStringList& cells) {
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += u';';
        out += cell(cells[i]);
    }
    out += QStringLiteral("\r\n");
}

} // namespace

QByteArray write(const QStringList& header, const QList<QStringList>& rows) {
    QString text;
    line(text, header);
    for (const QStringList& row : rows)
        line(text, row);
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace CsvTable
