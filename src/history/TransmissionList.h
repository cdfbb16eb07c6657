// The transmission list of the taxpayer in use, as the server sends it in the
// "return" text of the version call, and the rule that decides what a click
// on a listed transmission does. No widgets: the main window pours the result
// into its grid.
#pragma once

#include "net/SoapEnvelope.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace History {

// Grid columns, in the order the grid shows them.
enum ListColumn { ColReferencia, ColData, ColProtocolo, ColStatus, ColValorAdicionado };
inline constexpr int kListColumns = 5;

// The reference text of a transmission the server has not processed yet.
inline const QString kPendingReference = QStringLiteral("Verificando");

// The call that brings a taxpayer's list: the version call, on
// Soap::ServicePath, with the taxpayer's IE and access key. The main window
// and the office overview ask it alike.
inline const QString kListOperation = QStringLiteral("Transferencia.ver2");
// The constant every history call sends as "strDiretorioDestino".
inline const QString kDestination = QStringLiteral("vbs");
QList<Soap::SoapParam> listCallParams(const QString& ie, const QString& chave);

// What the user is told of a list answer of kind InvalidKey or AccessDenied,
// wherever the answer is read (the main window, the office overview).
inline const QString kInvalidKeyText = QStringLiteral("Chave inválida");
inline const QString kAccessDeniedText = QStringLiteral("Acesso não autorizado");

// What a list answer is.
enum class ListAnswerKind {
    InvalidKey,    // "CHAVE_INVALIDA" (blanks around it and letter case ignored)
    AccessDenied,  // any other text holding "CHAVE_I" (case-sensitive)
    NotXml,        // no list can be read from it (the empty text included)
    Transmissions, // a list, possibly without transmissions
};

struct ListAnswer {
    ListAnswerKind kind = ListAnswerKind::NotXml;
    // One entry per "transferencia" element of "listaTransferencias", in the
    // server's order; each holds kListColumns texts, indexed by ListColumn,
    // as sent (a missing element leaves its text empty; when an element
    // comes twice, the later one wins). Only for Transmissions.
    QList<QStringList> rows;
    // Per entry of rows, the server's own text of it ("mensagem": why a
    // processed transmission was refused), empty when it sends none.
    QStringList messages;
    // True when some "referencia" is exactly kPendingReference.
    bool pending = false;
    // The parser's reason, for NotXml.
    QString reason;
};

// Reads a list answer. The checks go in this order: InvalidKey, AccessDenied
// (even when the text is not XML), NotXml, Transmissions. A document whose
// element is not "listaTransferencias" is an empty list. Never throws; no
// document type declaration is accepted (NotXml).
ListAnswer readTransmissionList(const QString& xmlConteudo);

// True for the exact "CHAVE_INVALIDA" answer, after trimming blanks and
// converting to capitals.
bool isInvalidKeyAnswer(const QString& text);

// What clicking a transmission does, decided by its status text.
enum class DetailAction {
    FetchReceipt,  // status exactly "3": ask the server for the receipt
    HideOkAndTree, // a status that reads as the number 1
    HideAll,       // any other number
};

// The action for a status text. Throws RuntimeError when the status is not
// "3" and does not read as a whole number (the empty text included): blanks
// around it are allowed, as is a sign.
DetailAction detailActionForStatus(const QString& status);

} // namespace History
