// One round of the follow-up of sendings: picks the sendings still open in
// the memory every desk shares (FollowUp::isOpen, any desk, started within
// kFollowedDays), asks each of their taxpayers' lists (the main window's
// list call, at most SoapBatch::kCallsAtOnce at once) and writes each
// outcome the list settles (FollowUp::decide) in one transaction per
// answer. It only asks: nothing is ever sent. A call that fails leaves its
// sendings open for the next round. Asynchronous on the calling thread's
// event loop: nothing waits.
#pragma once

#include "net/SoapBatch.h"
#include "store/SendingRepository.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class Clock;
class LocalDb;
class ProxyAuth;

class SendingFollowUp : public QObject {
    Q_OBJECT
public:
    // Sendings older than this are no longer asked about.
    static constexpr int kFollowedDays = 60;

    struct Setup {
        const Clock* clock = nullptr;   // not owned; null: the system's clock
        ProxyAuth* proxyAuth = nullptr; // not owned, may be null
        // Opens the database; null: LocalDb() (the one the settings name).
        std::function<std::unique_ptr<LocalDb>()> openDatabase;
        std::chrono::milliseconds deadline = SoapBatch::kDefaultDeadline; // of one call
    };

    explicit SendingFollowUp(Setup setup, QObject* parent = nullptr);
    ~SendingFollowUp() override;

    // Starts a round unless one is under way (then nothing happens). Never
    // throws: a database failure ends the round with its text. finished
    // follows from the event loop, never before this returns.
    void run();
    bool running() const { return m_running; }

signals:
    // An outcome was written (a sending of `ie` settled); refused: the
    // entries refused after processing this answer settled.
    void outcomesWritten(const QList<SendingEntry>& refused);
    // The round ended: the taxpayers asked, those whose call failed (asked
    // again next round), and a database failure's text (empty when none).
    void finished(int asked, int failed, const QString& problem);

private:
    void onAnswered(int call, const QString& answer);
    void end();

    Setup m_setup;
    std::unique_ptr<SoapBatch> m_batch;
    QHash<int, QString> m_calls; // call → IE
    bool m_running = false;
    int m_asked = 0;
    int m_failed = 0;
    QString m_problem;
};
