// Tables and receipts laid out as PDF with Qt's own writer.
#include "overview/TablePrint.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

namespace TablePrint {

QString html(const QString& title, const QString& subtitle, const QStringList& header,
             const QList<QStringList>& rows) {
    QString out =
        QStringLiteral("<html><body><h3>") + title.toHtmlEscaped() + QStringLiteral("</h3><p>") +
        subtitle.toHtmlEscaped() +
        QStringLiteral("</p><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>");
    for (const QString& h : header)
        out += QStringLiteral("<th>") + h.toHtmlEscaped() + QStringLiteral("</th>");
    out += QStringLiteral("</tr>");
    for (const QStringList& row : rows) {
        out += QStringLiteral("<tr>");
        for (const QString& c : row)
            out += QStringLiteral("<td>") + c.toHtmlEscaped() + QStringLiteral("</td>");
        out += QStringLiteral("</tr>");
    }
    return out + QStringLiteral("</table></body></html>");
}

QString writePdf(const QString& path, const QString& htmlDocument, bool landscape) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                         landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        writer.setResolution(150);
        writer.setCreator(QStringLiteral("DADAV"));
        QTextDocument doc;
        doc.setDefaultStyleSheet(QStringLiteral("th, td { font-size: 8pt; }"));
        doc.setHtml(htmlDocument);
        doc.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
        doc.print(&writer);
    }
    if (file.error() != QFile::NoError || file.size() == 0)
        return file.errorString();
    return {};
}

} // namespace TablePrint
