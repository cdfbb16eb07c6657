// The client's own printable receipt.
#include "archivewindow/ReceiptPdf.h"

#include "base/PrivateFiles.h"
#include "overview/TablePrint.h"

namespace ReceiptPdf {

namespace {

QString row(const QString& label, const QString& value) {
    return QStringLiteral("<tr><th align=\"left\">") + label.toHtmlEscaped() +
           QStringLiteral("</th><td>") + value.toHtmlEscaped() + QStringLiteral("</td></tr>");
}

} // namespace

QString html(const Heading& h, const History::ReceiptDocument& receipt) {
    QString out = QStringLiteral("<html><body><h2>Recibo de entrega - Prefeitura Municipal de "
                                 "Valdoria</h2><table cellpadding=\"3\">");
    out += row(QStringLiteral("Inscrição estadual"), h.ie);
    out += row(QStringLiteral("Razão social"), h.razaoSocial);
    out += row(QStringLiteral("Referência"), h.referencia);
    out += row(QStringLiteral("Protocolo"), h.protocolo);
    out += row(QStringLiteral("Data de processamento"), h.dataProcessamento);
    out +=
        QStringLiteral("</table><h3>") + receipt.rootName.toHtmlEscaped() + QStringLiteral("</h3>");
    for (const History::ReceiptItem& item : receipt.items) {
        const QString title =
            item.detalhe ? History::itemNodeText(item.name, *item.detalhe) : item.name;
        out += QStringLiteral("<p><b>") + title.toHtmlEscaped() + QStringLiteral("</b><br/>");
        for (const QString& line : item.childTexts)
            out += line.toHtmlEscaped() + QStringLiteral("<br/>");
        out += QStringLiteral("</p>");
    }
    out += QStringLiteral("<p><i>Emitido pelo programa em ") + h.emitidoEm.toHtmlEscaped() +
           QStringLiteral(".</i></p></body></html>");
    return out;
}

QString write(const QString& path, const Heading& heading,
              const History::ReceiptDocument& receipt) {
    const QString failure = TablePrint::writePdf(path, html(heading, receipt), false);
    // It lies in the archive, beside the receipt: the user's alone there too.
    if (failure.isEmpty())
        PrivateFiles::restrict(path, PrivateFiles::applicationFolderPrivate());
    return failure;
}

} // namespace ReceiptPdf
