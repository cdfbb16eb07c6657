// What a batch needs from one taxpayer's transmission list (the version call
// the main window and the office overview make, History::listCallParams):
// whether the server knows the key, the working years and the server's date
// that decide which months may be sent, and the transmissions, to find a
// sending after it left. No network here: the caller makes the call.
#pragma once

#include "history/TransmissionList.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace TaxpayerList {

struct Facts {
    History::ListAnswerKind kind = History::ListAnswerKind::NotXml;
    QString anoTrabalho;     // as sent (blanks kept); empty when unreadable
    QDateTime dataServidor;  // invalid when unreadable
    QList<QStringList> rows; // History::ListColumn texts, the server's order
};

// Reads the whole answer of the list call (the SOAP body). Never throws: an
// answer without a list is kind NotXml; a list whose fixed positions hold no
// date leaves anoTrabalho empty and dataServidor invalid.
Facts read(const QString& wholeAnswer);

// The text a user reads for a list answer that is not a list: "Chave
// inválida", "Acesso não autorizado", or that the answer could not be read.
// Empty for kind Transmissions.
QString problemText(const Facts& facts);

// Where a sending stands in a list read after it.
struct Found {
    enum class Kind {
        Absent,    // nothing in the list is this sending
        Pending,   // a transmission "Verificando" that may be this sending
        Processed, // a processed transmission of exactly these months
    };
    Kind kind = Kind::Absent;
    QString protocol; // for Processed
};

// Looks for a sending of `references` ("1_2026,2_2026"; empty for a Simples
// Nacional extract) that left at `sentAt` (server time; invalid: any time).
// Only transmissions dated at or after sentAt less kClockSlackSeconds count
// (an older sending of the same months is another sending). A declaration is
// Processed when such a processed transmission names exactly its months (the
// newest: the list comes newest first), Pending when none does but one is
// "Verificando". An extract names no months: Processed or Pending by the
// date alone. Else Absent.
Found find(const Facts& facts, const QString& references, const QDateTime& sentAt);

// The tolerance between the client's clock and the server's when a sending's
// time is compared with the list's dates.
inline constexpr int kClockSlackSeconds = 600;

// Months "MM/yyyy" in the references as sent ("1_2026,2_2026" ->
// "01/2026, 02/2026"), in the given order.
QString monthsText(const QString& references);

} // namespace TaxpayerList
