// Which windows have one of their own event handlers on the stack, so that no
// window is destroyed under a running handler.
//
// Handlers spin local event loops (message boxes, server calls, pauses,
// dialogs). A window that closes and unloads itself from such a handler asks
// for its deferred deletion, and a nested loop of that same handler could
// carry it out; Qt's own item view, button and key code would then go on
// with a destroyed window once the handler returns. The program's
// Application (shell/Application.h) marks every event delivered to a window,
// or to anything inside it, with a Scope; a deferred deletion that arrives for
// a window while a Scope of it is open is held back and carried out once the
// last one has ended. Every window gets this, registered or not, however its
// deletion was asked for (registry unload, Qt::WA_DeleteOnClose, deleteLater).
#pragma once

class QEvent;
class QObject;
class QWidget;

class WindowActivity {
public:
    // The top-level window an object belongs to: the window itself, a widget
    // inside it, or an object owned by one of them. nullptr for an object
    // outside every window.
    static QWidget* windowOf(QObject* object);

    // Called for every event before it is delivered. True when the event is
    // the deferred deletion of a top-level window that is busy: the caller
    // must then not deliver it; the window is deleted from the event loop
    // once its last handler has ended.
    static bool holdDeletion(QObject* receiver, const QEvent* event);

    // Marks an event of `window` under way for the scope's lifetime (null:
    // nothing). Opened by Application::notify around every delivery.
    class Scope {
    public:
        explicit Scope(QWidget* window);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        const QWidget* m_window;
    };
};
