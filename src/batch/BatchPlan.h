// The "Envio em lote" window's work without its widgets: the lines of the
// grid (a taxpayer, its file, its months, its checks, and once queued its row
// in the database), the months proposed from each taxpayer's list answer,
// the batch made of the ready lines, the texts each line shows and the
// run's total. The window only shows these and forwards the user's actions
// and the queue's signals; tests drive a plan without a window.
#pragma once

#include "batch/RowChecks.h"
#include "overview/OverviewRow.h"
#include "store/BatchRepository.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class LocalDb;

class BatchPlan {
public:
    // One line of the grid: the work as given, its checks, and once queued
    // its row in the database and what became of it.
    struct Line {
        QString ie;
        QString filePath;
        QString references; // as sent ("1_2026,2_2026")
        bool referencesByUser = false;
        QString note;   // why no taxpayer or no months were proposed
        QString checks; // what "Verificação" says before the line is queued
        bool ready = false;
        RowChecks::Result result; // of the last check of a line with a file
        bool sendAgain = false;
        QString kind;
        qint64 batchId = 0; // in the database once queued
        qint64 rowId = 0;
        std::optional<BatchRowState> state;
        int percent = 0; // of the request, while sending
        QDateTime time;
        QString text; // the server's, or why
        QString protocol;
        qint64 size = 0;
        // The queue stopped (the database failed) while this line was
        // queued or being sent; cleared when it is read again.
        bool interrupted = false;
        // The taxpayer whose list answer proposed the months (empty: none
        // proposed yet, or the answer changed since).
        QString proposedFor;

        // The digest of the file its last check read, when it checked this
        // file (the check reuses it only while the file is unchanged).
        std::optional<SentArchive::Digest> checkedDigest() const {
            if (result.sending && result.sending->path() == filePath)
                return result.sending->digest();
            return std::nullopt;
        }
    };

    // Rows of the run that reached the server (accepted, refused, or sent
    // without a verdict) of the rows the run set out to send, and their bytes
    // (of the row under way, the part sent).
    struct Total {
        int sent = 0;
        int rows = 0;
        qint64 bytesSent = 0;
        qint64 bytes = 0;
    };

    const QList<Line>& lines() const { return m_lines; }
    Line& at(int index) { return m_lines[index]; }
    int size() const { return int(m_lines.size()); }
    // The line of a row in the database; -1 when none.
    int lineOf(qint64 rowId) const;

    // A line waiting for its file; returns its index.
    int addTaxpayer(const QString& ie);
    // Files, and the .ZIP and .PDF files of folders (subfolders included,
    // in name order), matched to taxpayers by the IE in their names
    // (FileMatching; `registered`: the IEs registered here): a file goes to
    // a line of its taxpayer waiting for a file, else gets a line of its
    // own; a file already in the plan is left out. Returns the lines added
    // or given a file, to check.
    QList<int> addFiles(const QStringList& paths, const QString& baseFolder,
                        const QSet<QString>& registered);
    // The file of a line not yet queued; false when the line is queued.
    bool setFile(int index, const QString& path);
    // Gives a line not yet queued to the taxpayer `ie`; its next check
    // proposes the months of that taxpayer's list when the list already
    // came. False for a queued line.
    bool assign(int index, const QString& ie);
    // Months the user gave ("01/2026, 02/2026") to a declaration not yet
    // queued; kept as typed when they cannot be read (the check says why).
    // False for an extract or a queued line.
    bool setReferences(int index, const QString& text);
    // Ticks again (or unticks) a line not yet queued that the archive holds
    // back. False for a queued line.
    bool toggleSendAgain(int index);
    // Removes the lines not yet queued among these; returns those removed,
    // highest first.
    QList<int> remove(const QList<int>& indexes);

    // The taxpayers' lists the proposals and checks wait for: every IE of
    // the lines not yet queued when one of them was never asked, else none.
    QStringList listsWanted() const;
    // The lists `wanted` (listsWanted) were asked; `asked`, those of them
    // whose taxpayer could be asked (registered here): their lines wait for
    // an answer not yet known.
    void listsAsked(const QStringList& wanted, const QStringList& asked);
    // A taxpayer's overview row once its answer (or failure) came; the next
    // check of each of its lines proposes the months from it (unless the
    // user gave them). Returns the lines of that taxpayer not yet queued, to
    // check again.
    QList<int> listAnswered(const QString& ie, const Overview::Row& row);
    bool waitingForList(const QString& ie) const { return m_waiting.contains(ie); }

    // Checks a line not yet queued again: the months proposed from its
    // taxpayer's list when that came and the user gave none (the working
    // years up to the day of `now`, the program's clock), then RowChecks
    // with the list answer (the file read again only when it may have
    // changed). Until its taxpayer's list comes, a line is not ready.
    // Throws DbError.
    void recheck(LocalDb& db, int index, const QDateTime& now);

    // The lines ready to be sent.
    QList<int> readyLines() const;
    // Makes a batch of `desk` of the ready lines, each with the kind and
    // months its check settled, and gives each line its row (matched by its
    // file). Returns the batch's id; 0 (nothing written) when none is ready.
    // Throws DbError.
    qint64 createBatch(LocalDb& db, const QString& desk, const QDateTime& at);
    // The batches holding queued lines, oldest first (what a pause, a stop
    // or "Enviar de novo" left to send).
    QList<qint64> queuedBatches() const;
    // A row read from the database: updates its line (clearing an
    // interruption), or adds a line for it. Returns the line's index.
    int take(const BatchRow& row);
    // An ended row the user may put back in the queue (requeueRow):
    // "Não consta na lista", "Não enviado" or "Cancelado".
    bool canRequeue(int index) const;

    // What the queue says of a row, each returning the row's line (-1 when
    // none, or when nothing shown changed): its sending started at `at`,
    // its request's percent, its end with the server's text (or why), and
    // what the list after sending said (state and protocol).
    int started(qint64 rowId, const QDateTime& at);
    int progressed(qint64 rowId, int percent);
    int ended(qint64 rowId, BatchRowState state, const QString& text, const QDateTime& at);
    int listedAs(qint64 rowId, BatchRowState state, const QString& protocol);
    // The line's row was put back in the queue (requeueRow).
    void requeued(int index);

    // The run about to start sends the lines queued now.
    void beginRun();
    Total total() const;
    // The queue stopped early: the run's lines still queued or being sent
    // are marked interrupted. Returns them.
    QList<int> interruptRun();

    // What "Situação" says of a line. `queueRuns`: a queue is sending now;
    // without one, no line reads "Enviando".
    static QString situation(const Line& line, bool queueRuns);
    // What "Verificação" says of a line not yet queued (empty once queued).
    static QString verification(const Line& line);

    // The question at start-up for a batch left unfinished: how many files
    // are still to be sent and how many were sent but await the server's
    // confirmation (its list).
    static QString resumeQuestion(const QList<BatchRow>& rows);

private:
    QList<Line> m_lines;
    QHash<QString, Overview::Row> m_answers; // final rows of the lists, by IE
    QSet<QString> m_waiting;                 // lists asked and not yet answered
    QSet<QString> m_asked;                   // lists ever asked
    QSet<qint64> m_runRows;                  // rows the run set out to send
};
