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
    QStringList messages;    // per entry of rows, the server's text (History::ListAnswer)
};

// Reads the whole answer of the list call (the SOAP body). Never throws: an
// answer without a list is kind NotXml; a list whose fixed positions hold no
// date leaves anoTrabalho empty and dataServidor invalid.
Facts read(const QString& wholeAnswer);

// The text a user reads for a list answer that is not a list: "Chave
// inválida", "Acesso não autorizado", or that the answer could not be read.
// Empty for kind Transmissions.
QString problemText(const Facts& facts);

// A sending looked for in its taxpayer's list after it left (see settle).
struct Sending {
    QString references;  // as sent ("1_2026,2_2026"); empty for an extract
    QDateTime startedAt; // when its row was claimed, by this program's clock; invalid: unknown
    enum class Role {
        Accepted, // the server said it received it: each of its months has an entry
        Maybe,    // no verdict came: the server may or may not hold it
        Rival,    // not being settled (another process sends it now), but may own an entry
    };
    Role role = Role::Maybe;
};

// Where a sending stands in the list.
struct Found {
    enum class Kind {
        Absent,    // none of its months has an entry after it started
        Pending,   // each month has its entry, some still "Verificando"
        Processed, // each month has its own processed entry
        Unsure,    // some months have an entry and others not, or an entry
                   // another sending could own as well: the user decides
    };
    Kind kind = Kind::Absent;
    QStringList protocols; // Processed: its entries' protocols, in its months' order
    QString seen;          // Unsure: what the list shows of its months, in Portuguese
    // The protocols as a row keeps them ("20261207000001, 20261207000002").
    QString protocolText() const { return protocols.join(QStringLiteral(", ")); }
};

// Looks for several sendings of one taxpayer in its list at once (the
// server lists one entry per month, newest first). `answeredAt` is when the
// answer came, by this program's clock: with the list's own date
// (dataServidor) it turns each sending's start into the server's time, and
// only entries dated from that second on count (an earlier entry is another
// sending, whatever its months). Each entry settles at most one sending; a
// "Verificando" entry may hold any month. A sending the server accepted
// that has exactly one entry left for a month owns it; where two sendings
// could own an entry, neither is settled by it. `taken`: protocols other
// rows already own. Returns one Found per sending, in order (a Rival's is
// meaningless). Never throws.
QList<Found> settle(const Facts& facts, const QList<Sending>& sendings, const QDateTime& answeredAt,
                    const QStringList& taken = {});

// Months "MM/yyyy" in the references as sent ("1_2026,2_2026" ->
// "01/2026, 02/2026"), in the given order.
QString monthsText(const QString& references);

} // namespace TaxpayerList
