// The checks a batch row passes before anything is sent, the same for the
// "Envio em lote" window and the command line: the file can be read, its
// extension fits the taxpayer (a .ZIP declaration to a taxpayer that does not
// opt for the Simples Nacional, a .PDF extract to one that does: the main
// window's transmit rule), the taxpayer is registered with its access key and
// the server's list accepts that key, the months lie within the working
// years, and the duplicate rule of the memory every desk shares
// (sendings/SendingRule.h: the same bytes sent or being sent for the same
// taxpayer and months, by any desk, are held back unless the user ticks the
// row again; another file for them that another batch has queued or another
// desk is sending waits for it, unless ticked). Every problem found is
// returned, each with a code to branch on and a Portuguese text ready to
// show. No widget, no network.
#pragma once

#include "archive/ArchivedSending.h"
#include "batch/TaxpayerList.h"
#include "store/BatchRepository.h"
#include "store/ContribuinteRepository.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace RowChecks {

enum class Problem {
    FileUnreadable,       // missing, not a regular file (a FIFO, a device), or cannot be read
    WrongKind,            // the extension does not fit the taxpayer
    NotRegistered,        // no taxpayer with this IE on this computer
    NoKey,                // registered without an access key
    InvalidKey,           // the server's list answers "Chave inválida"
    AccessDenied,         // the server's list answers "Acesso não autorizado"
    ListUnreadable,       // the server's list could not be read
    NoReferences,         // a declaration without months
    BadReference,         // a month that cannot be read
    OutsideWorkingYears,  // a month the working years do not offer
    ReferencesForSimples, // months given for an extract, which takes none
    AlreadySent,          // the duplicate rule: held back unless ticked again
    AnotherSending,       // another file for these months is queued or being sent elsewhere
};

struct Finding {
    Problem problem;
    QString text; // Portuguese, ready to show
    bool operator==(const Finding&) const = default;
};

// A row as the user gave it.
struct Input {
    QString ie;
    QString filePath;
    // Months in any form parseReferences reads ("01/2026 02/2026",
    // "1_2026,2_2026"); empty for an extract.
    QString references;
    // The user ticked again a row the duplicate rule holds back: the check
    // AlreadySent is not made.
    bool sendAgain = false;
    // A digest of the file made earlier (an earlier check's): used while it
    // is SentArchive::stillCurrent, else the file is read again.
    std::optional<SentArchive::Digest> digest = std::nullopt;
    // The batch and row this is (0 before the batch is made): the batch's own
    // queued rows and the row's own earlier claim hold nothing back.
    qint64 batchId = 0;
    qint64 batchRowId = 0;
    // When the check is made, by the program's clock: how long another
    // sender has been at it is judged against it. Invalid: the system's time.
    QDateTime now{};
};

struct Result {
    // SentArchive::kDeclaration or kSimples, from the taxpayer (empty when
    // it is not registered).
    QString kind;
    // The months as sent ("1_2026,2_2026"), empty when unreadable or none.
    QString references;
    QList<Finding> problems; // in the order above; empty: the row may go
    // The sending as the archive prepared it (the file's digest), for the
    // sender to go on with; nullopt when the file could not be read.
    std::optional<SentArchive::ArchivedSending> sending;
    bool ready() const { return problems.isEmpty(); }
    bool has(Problem problem) const;
    // The problems' texts joined by "; ".
    QString text() const;
};

// Checks one row. `taxpayer`: the registered row for input.ie (nullopt when
// none). `list`: the taxpayer's list as the server answered it; nullopt when
// it was not asked (then the key and the working years are not judged, the
// rest is). The file is read whole once (its digest), unless input.digest
// still stands for it; the duplicate rule reads the memory of sendings in
// `db`. Throws DbError.
Result check(LocalDb& db, const Input& input, const std::optional<ContribuinteRow>& taxpayer,
             const std::optional<TaxpayerList::Facts>& list);

// Just before a checked row's upload: decides it again and, when it may go,
// writes it into the memory of sendings as being sent by `desk` (the
// process `claimer`), in one locked step with the decision, so that two
// desks deciding at once never both send the same bytes
// (SendingRule::begin). Returns the empty text, or the row's text when it
// is held back. `checked` must hold the sending. Throws DbError.
QString beginSending(LocalDb& db, const Input& input, const Result& checked, const QString& desk,
                     const QString& claimer, const QDateTime& now);

// The same, finding the taxpayer in the local database. Throws DbError.
Result check(LocalDb& db, const Input& input, const std::optional<TaxpayerList::Facts>& list);

// The kind a taxpayer's files are sent as: a declaration only when it is
// registered as not opting for the Simples Nacional (an unknown option goes
// to the Simples window, as the main window sends it).
QString kindFor(const ContribuinteRow& taxpayer);

// Reads months given as "MM/AAAA" (or "M/AAAA", or as sent, "M_AAAA"),
// separated by blanks, commas or semicolons, into the list as sent: months
// without repeats, in calendar order, "1_2026,2_2026" (the order the
// declaration window sends them in). nullopt when a piece is not a month;
// `bad` then names it. The empty text gives the empty list.
std::optional<QString> parseReferences(const QString& text, QString* bad = nullptr);

// The rows of a batch from checked rows (input i with result i, in order):
// the ready ones, with the kind and months the checks settled and the tick
// that lets a duplicate go (the queue holds back a duplicate not ticked).
// Pass the result to createBatch.
QList<NewBatchRow> batchRows(const QList<Input>& inputs, const QList<Result>& results);

} // namespace RowChecks
