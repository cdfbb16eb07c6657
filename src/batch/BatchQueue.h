// The batch queue's engine: sends the queued rows of one batch one after
// another, each exactly as the transmission windows send a single file (the
// same address, request, verdict reading and archive record), and keeps
// every step in the local database so that a crash loses no row and sends
// none twice. No widget: a window or the command line shows its signals.
//
// Per row: claim it (queued → sending, only if still queued); ask the
// taxpayer's list (the main window's list call, made ahead for the run's
// taxpayers a few at a time; a network failure retries the list call, never
// the upload); judge the row (RowChecks, the list's answer included; the
// file's digest made once, reused while the file is unchanged); decide it
// again and write it "enviando" into the memory of sendings every desk
// shares, in one locked step (RowChecks::beginSending); send; while the
// reply is awaited, stage the archive's copy and digest the next row's
// file; read the verdict; end the row; write the archive record and the
// memory's entry. A failure ends its own row; the batch goes on with the
// next, and pauses after kNetworkFailuresToPause rows in a row failed for
// the network. A row whose request started without a verdict ends "no
// reply" and is never sent again by the queue.
//
// When no row is left to send, the queue asks the list of every taxpayer
// with an accepted row still without a protocol, or a "no reply" row: an
// accepted row gets its protocol or "Verificando"; a "no reply" row whose
// sending the list shows becomes accepted, else NotListed (the user may put
// it back in the queue: requeueRow). Then finished().
#pragma once

#include "archive/ArchivedSending.h"
#include "batch/RowChecks.h"
#include "batch/TaxpayerList.h"
#include "net/MultipartUpload.h"
#include "store/BatchRepository.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class LocalDb;
class ProxyAuth;
class SoapBatch;

class BatchQueue : public QObject {
    Q_OBJECT
public:
    struct Setup {
        // The desk whose rows these are (BatchQueue::thisDesk() by default);
        // rows are claimed as "desk #pid", the process under way.
        QString desk;
        Clock* clock = nullptr; // not owned, required: the program's one clock
        ProxyAuth* proxyAuth = nullptr;
        MultipartUpload::Options uploadOptions;
        // A list call that failed for the network is made again this many
        // times, retryDelay apart, before its row ends.
        int listRetries = 2;
        std::chrono::milliseconds retryDelay{2000};
        // List calls at once after sending, and the bound of one call.
        int listConnections = 4;
        std::chrono::milliseconds listDeadline{120000};
        // Digests of the rows' files that earlier checks made, by path, taken
        // over by the queue: a row's check before its upload reuses one while
        // it still stands for the file (SentArchive::stillCurrent), else
        // reads the file again.
        QHash<QString, SentArchive::Digest> digests;
    };

    // Rows that fail in a row for the network before the queue pauses.
    static constexpr int kNetworkFailuresToPause = 3;

    BatchQueue(qint64 batchId, Setup setup, QObject* parent = nullptr);
    ~BatchQueue() override;

    // The user and machine this program runs as, naming the desk that
    // claims rows.
    static QString thisDesk();

    // What a user reads for a state ("Na fila", "Sem resposta — verificar"...).
    static QString stateText(BatchRowState state);

    // The text of a row left without a verdict.
    static QString noReplyText();

    // Settles the rows a stopped sender of this desk left "sending" (see
    // recoverInterrupted): rows claimed by a process of this desk that no
    // longer runs on this machine (or by this desk before claims named the
    // process). Rows another process still sends are left alone, so two
    // processes may resume one batch. Call before start(). Throws DbError.
    BatchRecovery recover();

    // Who this queue claims rows as: "desk #pid".
    QString claimer() const;

    // Starts sending the queued rows; returns at once. finished() follows
    // when no row is left queued and the lists were asked (or after a stop).
    void start();

    // The row under way ends as it would; then the queue waits (paused())
    // until resume(). Nothing is claimed meanwhile.
    void pauseAfterCurrent();
    // Goes on after paused(); does nothing otherwise.
    void resume();
    bool isPaused() const { return m_paused; }

    // The row under way ends as it would; the rows still queued are then
    // cancelled, the lists asked and the queue finishes.
    void stopAfterCurrent();
    // As stopAfterCurrent, but the row under way is broken off now: it ends
    // "no reply" when its request had started (the server may hold it; the
    // list settles it), else Cancelled.
    void abortCurrent();

    bool isRunning() const { return m_running; }

signals:
    void rowStarted(qint64 rowId);
    void rowProgress(qint64 rowId, int percent);
    // Rows ended of those this run started with, and the bytes of their
    // files: of a row under way, the part sent; of an ended row, all of it.
    void progress(int rowsDone, int rowsTotal, qint64 bytesDone, qint64 bytesTotal);
    // The row's end state and its text (the server's, or why).
    void rowFinished(qint64 rowId, BatchRowState state, const QString& text);
    // After sending, what the taxpayer's list says of a row: its state (a
    // "no reply" row may have become Accepted or NotListed) and its
    // protocol, "Verificando", or empty.
    void rowListed(qint64 rowId, BatchRowState state, const QString& protocol);
    // Waiting for resume(): `reason` is empty after pauseAfterCurrent, else
    // why the queue paused by itself (the network).
    void paused(const QString& reason);
    // Ended: `problem` is empty, or why the queue stopped early (the
    // database failed); rows not reached stay queued.
    void finished(const QString& problem);

private:
    void sendNext();
    void askList(int attempt);
    void onListAnswer(const QString& answer);
    void onListFailure(const QString& reason);
    void upload(const std::optional<TaxpayerList::Facts>& facts);
    // The database of the rows' steps, opened at the first and kept while
    // the queue runs: opening it for each step (the file's checks, a
    // server's connection) cost a row more than some of its commits. A
    // failed step drops it, so the next opens it afresh.
    LocalDb& rowDatabase();
    // The checks' input for the current row, with the digest known of its file.
    RowChecks::Input checksInput() const;
    // While a reply is awaited: the archive's copy of the row under way,
    // then the digest of the next queued row's file, so neither waits
    // after the reply.
    void useReplyWait();
    // The row cannot be sent: ends it NotSent with `why`.
    void refuseRow(const QString& why, bool network = false);
    void onRequestReady();
    void onSent();
    void onReply(const QByteArray& reply);
    void onFailed(const QString& description, MultipartUpload::Failure kind);
    // Ends the current row, writes its archive record and goes on.
    void endRow(BatchRowState state, const QString& text, const QString& archiveResult,
                const QString& archiveReply, bool network = false);
    void emitProgress(int currentPercent);
    // The lists after sending.
    void listAfterSending();
    void onAfterListAnswer(int call, const QString& answer);
    void onAfterListFailure(int call, const QString& reason);
    void settleListed(const QString& ie, const TaxpayerList::Facts& facts);
    void stop(const QString& problem);
    QDateTime now() const;

    enum class Phase { Idle, WaitingAhead, Listing, Uploading, AfterList };

    // The lists of the run's taxpayers, asked ahead a few at a time while
    // rows are sent, so a row rarely waits for its own list call.
    void askListsAhead();
    void onAheadAnswer(int call, const QString& answer);
    void onAheadFailure(int call);

    qint64 m_batchId;
    Setup m_setup;
    MultipartUpload* m_upload;
    std::unique_ptr<SoapBatch> m_lists;
    std::unique_ptr<SoapBatch> m_ahead;
    std::unique_ptr<LocalDb> m_db; // see rowDatabase()
    // Digests of the rows' files by path: Setup's, then those made here.
    QHash<QString, SentArchive::Digest> m_digests;
    QHash<QString, TaxpayerList::Facts> m_known; // lists answered ahead, by IE
    QHash<int, QString> m_aheadCalls;            // in flight: call → IE
    Phase m_phase = Phase::Idle;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_pauseRequested = false;
    bool m_paused = false;
    bool m_requestStarted = false;
    int m_networkFailures = 0; // rows in a row
    std::optional<BatchRow> m_row;
    QString m_chave; // the current row's taxpayer's key
    std::optional<SentArchive::ArchivedSending> m_sending;
    QStringList m_upcoming; // files of the rows queued at start(), in order
    // Progress of this run.
    int m_rowsTotal = 0;
    int m_rowsDone = 0;
    qint64 m_bytesTotal = 0;
    qint64 m_bytesDone = 0;
    qint64 m_rowBytes = 0;
    // After sending: per call, the taxpayer asked and the retries left.
    struct AfterCall {
        QString ie;
        QString chave;
        int retriesLeft = 0;
    };
    QHash<int, AfterCall> m_afterCalls;
    int m_nextCall = 1;
};
