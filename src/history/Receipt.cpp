// Receipt XML, node texts and the printable receipt's address.
#include "history/Receipt.h"

#include "history/HistoryXml.h"
#include "history/TransmissionList.h"

#include <QDomDocument>
#include <QDomElement>

namespace History {

ReceiptDocument readReceipt(const QString& text) {
    ReceiptDocument receipt;
    QDomDocument doc;
    if (!parseXml(text, doc, &receipt.reason))
        return receipt;
    receipt.wellFormed = true;
    const QDomElement root = doc.documentElement();
    receipt.rootName = localName(root.tagName());
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        ReceiptItem item;
        item.name = e.tagName();
        const QDomElement detalhe = e.firstChildElement(QStringLiteral("DETALHE"));
        if (!detalhe.isNull())
            item.detalhe = detalhe.text();
        for (QDomElement child = e.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement())
            item.childTexts << child.text();
        receipt.items << item;
    }
    return receipt;
}

QString itemNodeText(const QString& name, const QString& detalhe) {
    if (detalhe.size() > 3)
        return name + QStringLiteral(": ") + detalhe;
    return QStringLiteral("DADAV : ") + detalhe;
}

bool isDeliveryReference(const QString& referencia) {
    return referencia.contains(QLatin1Char('/'));
}

QList<Soap::SoapParam> receiptCallParams(const QString& protocolo, const QString& chave) {
    // The same three fields as the list call, the protocol in the IE's place.
    return listCallParams(protocolo, chave);
}

QString receiptLink(const QString& host, const QString& ie, const QString& key,
                    const QString& referencia) {
    QString ref = referencia;
    ref.remove(QLatin1Char(' '));
    return QStringLiteral("http://") + host + QStringLiteral("/protocoloDown.php?IE=") + ie +
           QStringLiteral("&key=") + key + QStringLiteral("&ref=") + ref;
}

} // namespace History
