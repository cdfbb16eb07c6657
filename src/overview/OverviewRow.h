// One row of the office overview: a registered taxpayer and what its list
// answer says (last processed reference, pending sendings, months of the
// working year with nothing processed). No widgets: the window shows these
// texts as they are, and the CSV carries the same.
#pragma once

#include "history/TransmissionList.h"
#include "store/ContribuinteRepository.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Overview {

// Columns, in the order the table and the CSV show them. "Situação" (what
// to do about the taxpayer) comes right after the name, in sight at any width.
enum Column {
    ColIE,
    ColRazaoSocial,
    ColSituacao,
    ColChave,
    ColSimples,
    ColUltimaReferencia,
    ColStatus,
    ColProtocolo,
    ColPendentes,
    ColMesesSemEnvio,
    ColCertificado,
};
inline constexpr int kColumns = 11;
QStringList headers();

// What the row's server call came to, as the "Situação" column says it.
inline const QString kWaiting = QStringLiteral("Aguardando");
inline const QString kDone = QStringLiteral("OK");
inline const QString kNoKey = QStringLiteral("Sem chave de acesso");
inline const QString kCancelled = QStringLiteral("Cancelado");
// A taxpayer answered whose sending was refused after processing (the
// follow-up's outcome, in the memory of sendings).
inline const QString kRefusedAfterProcessing = QStringLiteral("Recusado após o processamento");
// As the main window says them (the same reading of the same answer).
inline const QString kInvalidKey = History::kInvalidKeyText;
inline const QString kDenied = History::kAccessDeniedText;

struct Row {
    QStringList cells; // kColumns texts, indexed by Column
    bool hasKey = false;
    // What a readable list answer said besides the texts (for proposing the
    // months still to send): the working years as sent, the months
    // (year * 12 + month - 1) covered by processed transmissions, and how
    // many transmissions are pending. `listed` is false until such an answer.
    bool listed = false;
    QString wholeAnswer; // the answer as it came, set by withAnswer
    QString anoTrabalho;
    QList<int> processedMonths;
    int pending = 0;
    QString ie() const { return cells.value(ColIE); }
};

// The row of a taxpayer before any answer: IE, name, key and Simples flags,
// the certificate's days left when known; "Situação" kWaiting (kNoKey when
// the taxpayer has no access key: no call is made for it).
Row initialRow(const ContribuinteRow& taxpayer, std::optional<int> certificateDaysLeft);

// The row completed from the whole answer of the list call (the SOAP body),
// its "return" text read by History::readTransmissionList as the main window
// reads it. Invalid key or denied access: only "Situação" says so. An answer with no
// list: "Situação" says the server's answer could not be read. Otherwise the
// processed transmission with the latest reference month (the later in the
// list on a tie) gives reference, status and protocol; pending ones are
// "Verificando" (with their count when more than one); and the months of the
// working year (the last year of the answer's working years) that ended
// before the server's date and are covered by no processed transmission are
// listed as "01, 02, 05 (2026)".
Row withAnswer(Row row, const QString& wholeAnswer);

// The row when its call failed: "Situação" = "Falha: " + reason.
Row withFailure(Row row, const QString& reason);

// Months "MM/yyyy" named in a reference text ("03/2014, 04/2014"), as
// year * 12 + month - 1; none for "Verificando" or an unreadable text.
QList<int> referenceMonths(const QString& referencia);

} // namespace Overview
