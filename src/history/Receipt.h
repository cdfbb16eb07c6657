// Receipts: the tree the main window shows for a processed transmission,
// read from the receipt XML of "Transferencia.ver", and the address of the
// printable receipt on the municipal web site.
#pragma once

#include "net/SoapEnvelope.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace History {

// One delivery item: a child element of the receipt's document element.
struct ReceiptItem {
    QString name;                   // the element's name as written
    std::optional<QString> detalhe; // text of its first "DETALHE" child; none without one
    QStringList childTexts;         // text of every child element, DETALHE included, in order
};

struct ReceiptDocument {
    bool wellFormed = false;
    QString reason;   // the parser's reason when not well-formed
    QString rootName; // local name of the document element
    QList<ReceiptItem> items;
};

// Reads a receipt XML text. Not well-formed (the empty text included) or
// carrying a document type declaration: wellFormed false with the reason;
// no entity is ever expanded or fetched. Never throws.
ReceiptDocument readReceipt(const QString& text);

// The detail call that brings a processed transmission's receipt XML (in
// its "return" text), on Soap::ServicePath: the protocol as "strNome".
inline const QString kReceiptOperation = QStringLiteral("Transferencia.ver");
QList<Soap::SoapParam> receiptCallParams(const QString& protocolo, const QString& chave);

// Text of an item's node: name + ": " + DETALHE text when that text is
// longer than 3 characters, otherwise "DADAV : " + that text.
QString itemNodeText(const QString& name, const QString& detalhe);

// True when a grid's reference text names one delivery (it contains "/");
// the header and empty rows do not.
bool isDeliveryReference(const QString& referencia);

// "http://" + host + "/protocoloDown.php?IE=" + ie + "&key=" + key + "&ref="
// + reference with every blank removed. No port, nothing percent-encoded.
QString receiptLink(const QString& host, const QString& ie, const QString& key,
                    const QString& referencia);

} // namespace History
