// The batch queue's engine: sends the queued rows of one batch one after
// another, each exactly as the transmission windows send a single file (the
// same address, request, verdict reading and archive record), and keeps
// every step in the local database so that a crash loses no row and sends
// none twice. No widget: a window or the command line shows its signals.
//
// Per row: claim it (queued → sending, only if still queued), check the file
// and the taxpayer, refuse a file the archive says the server may already
// hold, send, read the verdict, end the row, write the archive record. A
// failure ends its own row; the batch goes on with the next. A row whose
// whole request went out without a verdict ends "no reply" and is never sent
// again by the queue.
#pragma once

#include "archive/ArchivedSending.h"
#include "net/MultipartUpload.h"
#include "store/BatchRepository.h"

#include <QObject>
#include <QString>

#include <optional>

class Clock;
class ProxyAuth;

class BatchQueue : public QObject {
    Q_OBJECT
public:
    struct Setup {
        // The accountant's document as the windows send it (`contador`).
        QString accountantDocument;
        // Who claims the rows (BatchQueue::thisDesk() by default).
        QString desk;
        Clock* clock = nullptr; // not owned, required: the program's one clock
        ProxyAuth* proxyAuth = nullptr;
        MultipartUpload::Options uploadOptions;
    };

    BatchQueue(qint64 batchId, Setup setup, QObject* parent = nullptr);

    // The user and machine this program runs as, naming the desk that
    // claims rows.
    static QString thisDesk();

    // What a user reads for a state ("Na fila", "Sem resposta — verificar"...).
    static QString stateText(BatchRowState state);

    // The text of a row left without a verdict.
    static QString noReplyText();

    // Settles the rows a stopped sender left "sending" (see
    // recoverInterrupted). Call once before start() when no other process
    // sends this batch. Throws DbError.
    BatchRecovery recover();

    // Starts sending the queued rows; returns at once. finished() follows
    // when no row is left queued (or after stopAfterCurrent).
    void start();

    // The row under way ends as it would; the rows still queued are then
    // cancelled and the queue finishes.
    void stopAfterCurrent() { m_stopRequested = true; }

    bool isRunning() const { return m_running; }

signals:
    void rowStarted(qint64 rowId);
    void rowProgress(qint64 rowId, int percent);
    // The row's end state and its text (the server's, or why).
    void rowFinished(qint64 rowId, BatchRowState state, const QString& text);
    // Ended: `problem` is empty, or why the queue stopped early (the
    // database failed); rows not reached stay queued.
    void finished(const QString& problem);

private:
    void sendNext();
    // The row cannot be sent: ends it NotSent with `why`.
    void refuseRow(const QString& why);
    void onRequestReady();
    void onSent();
    void onReply(const QByteArray& reply);
    void onFailed(const QString& description, MultipartUpload::Failure kind);
    // Ends the current row, writes its archive record and goes on.
    void endRow(BatchRowState state, const QString& text, const QString& archiveResult,
                const QString& archiveReply);
    void stop(const QString& problem);
    QDateTime now() const;

    qint64 m_batchId;
    Setup m_setup;
    MultipartUpload* m_upload;
    bool m_running = false;
    bool m_stopRequested = false;
    std::optional<BatchRow> m_row;
    std::optional<SentArchive::ArchivedSending> m_sending;
};
