// Pause in a local event loop without user input.
#include "platform/EventLoopPause.h"

#include <QEventLoop>
#include <QTimer>

void EventLoopPause::wait(int milliseconds) {
    if (milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(milliseconds);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
