// Event delivery with the window activity marked.
#include "shell/Application.h"

#include "shell/WindowActivity.h"

#include <QThread>

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    // Windows live on the GUI thread only; other threads' objects are not
    // looked at (their parents may change under us).
    if (!receiver || QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    if (WindowActivity::holdDeletion(receiver, event))
        return true;
    const WindowActivity::Scope scope(WindowActivity::windowOf(receiver));
    return QApplication::notify(receiver, event);
}
