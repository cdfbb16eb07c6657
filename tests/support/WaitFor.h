// Waiting in a test for what the event loop brings about (a reply, a window
// unloaded, a listing answered). Each pass runs a short nested loop, so
// deferred deletions are carried out as in the program.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace dadav::test {

// Runs the event loop until done() holds; false once limitMs has passed.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 30000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limitMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace dadav::test
