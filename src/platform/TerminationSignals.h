// Ending the program on a termination signal (the session's logout, `kill`,
// Ctrl+C or a closed terminal) as the user's "Sair" does, so that the exit
// path is the same: the event loop ends with status 0, the reader children
// are killed, files are closed. Without it such a signal ends the process on
// the spot, with a killed status and nothing of the exit path run.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

class TerminationSignals final : public QObject {
public:
    // Handles SIGTERM, SIGINT and SIGHUP from now on: each runs quit on this
    // object's thread, from its event loop (never inside the signal
    // handler). One instance per process; the destructor gives the signals
    // back their default action.
    explicit TerminationSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
};
