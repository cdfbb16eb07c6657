// The batch queue's engine: sends the queued rows of one batch one after
// another, each exactly as the transmission windows send a single file (the
// same address, request, verdict reading and archive record), and keeps
// every step in the local database so that a crash loses no row and sends
// none twice. No widget: a window or the command line shows its signals.
//
// Per row: claim it (queued → sending, only if still queued); get the
// taxpayer's list (TaxpayerLists: asked ahead for the run's taxpayers, or a
// call of the row's own; a network failure retries the list call, never the
// upload); judge the row (RowChecks, the list's answer included; the file's
// digest made once, reused while the file is unchanged); decide it again and
// write it "enviando" into the memory of sendings every desk shares, in one
// locked step (RowChecks::beginSending); send; while the reply is awaited,
// stage the archive's copy and digest the next row's file; read the
// verdict; end the row; write the archive record and the memory's entry. A
// failure ends its own row; the batch goes on with the next, and pauses
// after kNetworkFailuresToPause rows in a row failed for the network (only
// an answer of the server to the row under way breaks the run of failures).
// A request cut before its last byte left ends NotSent, whoever cut it; one
// that left whole without a verdict ends "no reply" and is never sent again
// by the queue.
//
// When no row is left to send, the queue asks the list of every taxpayer
// with an accepted row still without a protocol, or a "no reply" row, and
// settles them (TaxpayerList::settle): an accepted row gets its protocols or
// "Verificando"; a "no reply" row whose sending the list shows becomes
// accepted (and archived), one it does not show NotListed (the user may put
// it back in the queue: requeueRow), one the list leaves in doubt stays "no
// reply" with what the list shows. Then finished().
#pragma once

#include "archive/ArchivedSending.h"
#include "batch/RowChecks.h"
#include "batch/TaxpayerList.h"
#include "batch/TaxpayerLists.h"
#include "net/MultipartUpload.h"
#include "net/SoapBatch.h"
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

// Settles the rows of a batch that a stopped sender of `desk` left
// "sending" (see recoverInterrupted): rows claimed by a process of this desk
// that no longer runs on this machine (BatchClaims::judge: a reused process
// id or a reboot counts as stopped), by this process (left by a queue that
// stopped on a database failure), or by this desk before claims named the
// process. Rows another process still sends are left alone, so two
// processes may resume one batch. Call before the batch's queue starts
// (start() calls it too). Throws DbError.
BatchRecovery recoverBatch(qint64 batchId, const QString& desk, const QDateTime& at);

class BatchQueue : public QObject {
    Q_OBJECT
public:
    struct Setup {
        // The desk whose rows these are (BatchQueue::thisDesk() by default);
        // rows are claimed as BatchClaims::ownClaimer(desk) says.
        QString desk;
        Clock* clock = nullptr; // not owned, required: the program's one clock
        ProxyAuth* proxyAuth = nullptr;
        MultipartUpload::Options uploadOptions;
        // A list call that failed for the network is made again this many
        // times, retryDelay apart, before its row ends.
        int listRetries = 2;
        std::chrono::milliseconds retryDelay{2000};
        // List calls at once, and the bound of one call.
        int listConnections = SoapBatch::kCallsAtOnce;
        std::chrono::milliseconds listDeadline{SoapBatch::kDefaultDeadline};
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

    // Who this queue claims rows as (BatchClaims::ownClaimer).
    QString claimer() const;

    // Settles what a stopped sender left (recoverBatch), then starts sending
    // the queued rows; returns at once. finished() follows when no row is
    // left queued and the lists were asked (or after a stop).
    void start();

    // The row under way ends as it would; then the queue waits (paused())
    // until resume(). Nothing is claimed meanwhile.
    void pauseAfterCurrent();
    // Goes on after paused(); does nothing otherwise.
    void resume();
    bool isPaused() const { return m_state == State::Paused; }

    // The row under way ends as it would; the rows still queued are then
    // cancelled, the lists asked and the queue finishes.
    void stopAfterCurrent();
    // As stopAfterCurrent, but the row under way is broken off now: by the
    // rule of a request cut for any reason, "no reply" when its whole
    // request had left (the server may hold it; the list settles it),
    // NotSent when it had started but not wholly left, else Cancelled.
    void abortCurrent();

    // Started and not finished yet: sending, or paused.
    bool isRunning() const { return m_state != State::Idle; }

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
    // database failed), in Portuguese; rows not reached stay queued, and a
    // row left "sending" is settled when the batch starts again.
    void finished(const QString& problem);

private:
    // Where the queue stands; a row is under way in Listing, Uploading,
    // Sending and Sent only.
    enum class State {
        Idle,         // not started, or finished
        Between,      // running, no row under way: the next claim is scheduled
        Listing,      // the row's taxpayer's list is awaited
        Uploading,    // the row's upload is connecting: no byte has left
        Sending,      // the row's request is going out
        Sent,         // the whole request has left: the verdict is awaited
        Paused,       // waiting for resume(); nothing under way
        ListingAfter, // no row left: the lists after sending are awaited
    };
    // What the user asked for once the row under way ends.
    enum class Then { GoOn, Pause, Stop };
    // The row under way.
    struct Current {
        BatchRow row;
        QString chave; // its taxpayer's key
        qint64 bytes = 0;
        std::optional<SentArchive::ArchivedSending> sending;
    };

    void sendNext();
    void onRowList(const TaxpayerList::Facts& facts, bool fresh);
    void onRowListFailed(const QString& reason);
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
    void onRequestReady();
    void onSent();
    void onReply(const QByteArray& reply);
    void onFailed(const QString& description, MultipartUpload::Failure kind);
    // The row's request was cut (the network, the user): "no reply" when it
    // had wholly left, NotSent when it had started, else `before` (NotSent
    // for the network, Cancelled for the user).
    void endCut(const QString& why, bool network, BatchRowState before);
    // Ends the current row, writes its archive record and goes on.
    void endRow(BatchRowState state, const QString& text, const QString& archiveResult,
                const QString& archiveReply, bool network = false);
    // After kNetworkFailuresToPause rows failed for the network: the rows
    // of that run that never reached the server go back to the queue, and
    // the queue pauses.
    void pauseForNetwork();
    void emitProgress(int currentPercent);
    // The lists after sending.
    void listAfterSending();
    void settleListed(const QString& ie, const TaxpayerList::Facts& facts);
    // The archive record of a "no reply" row the list shows held by the
    // server: the empty text, or why it could not be written.
    QString archiveSettled(LocalDb& db, const BatchRow& row, const QString& protocol);
    // The database failed: the queue ends with `error` worded for the user.
    void stopOnError(const std::exception& error);
    void stop(const QString& problem);
    QDateTime now() const;

    qint64 m_batchId;
    Setup m_setup;
    MultipartUpload* m_upload;
    TaxpayerLists* m_lists;
    std::unique_ptr<LocalDb> m_db; // see rowDatabase()
    // Digests of the rows' files by path: Setup's, then those made here.
    QHash<QString, SentArchive::Digest> m_digests;
    State m_state = State::Idle;
    Then m_then = Then::GoOn;
    std::optional<Current> m_current;
    // Rows that failed in a row for the network, and those of them that
    // never reached the server.
    struct Unsent {
        qint64 rowId;
        bool sendAgain;
        qint64 bytes;
    };
    int m_networkFailures = 0;
    QList<Unsent> m_networkUnsent;
    QStringList m_upcoming; // files of the rows queued at start(), in order
    // Progress of this run.
    int m_rowsTotal = 0;
    int m_rowsDone = 0;
    qint64 m_bytesTotal = 0;
    qint64 m_bytesDone = 0;
};
