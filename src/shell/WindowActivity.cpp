// Handler depth per window and the deletions held back by it.
#include "shell/WindowActivity.h"

#include <QEvent>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace {

struct Activity {
    int depth = 0;
    bool deletionHeld = false;
    QPointer<QWidget> window; // set with deletionHeld: is it still there at the end?
};

// Windows with a handler under way (GUI thread only). An entry goes when its
// depth falls back to 0, so the table holds only the windows busy right now.
QHash<const QWidget*, Activity>& activities() {
    static QHash<const QWidget*, Activity> table;
    return table;
}

// Deletes the window from the event loop, where none of its handlers is on
// the stack, through a stand-in whose own deferred deletion carries it out
// (a window whose deferred deletion was held back may not take a second
// one: newer Qt versions ignore a repeated deleteLater). A window busy again
// by then waits for its handlers once more.
void deleteFromEventLoop(QWidget* window) {
    auto* standIn = new QObject;
    QObject::connect(standIn, &QObject::destroyed, [target = QPointer<QWidget>(window)] {
        if (!target)
            return;
        const auto it = activities().find(target.data());
        if (it != activities().end()) {
            it->deletionHeld = true;
            it->window = target;
        } else {
            delete target.data();
        }
    });
    standIn->deleteLater();
}

} // namespace

QWidget* WindowActivity::windowOf(QObject* object) {
    for (QObject* o = object; o; o = o->parent()) {
        if (o->isWidgetType())
            return static_cast<QWidget*>(o)->window();
    }
    return nullptr;
}

bool WindowActivity::holdDeletion(QObject* receiver, const QEvent* event) {
    if (event->type() != QEvent::DeferredDelete || !receiver || !receiver->isWidgetType())
        return false;
    const auto it = activities().find(static_cast<QWidget*>(receiver));
    if (it == activities().end())
        return false;
    it->deletionHeld = true;
    it->window = static_cast<QWidget*>(receiver);
    return true;
}

WindowActivity::Scope::Scope(QWidget* window) : m_window(window) {
    if (window)
        ++activities()[window].depth;
}

WindowActivity::Scope::~Scope() {
    if (!m_window)
        return;
    const auto it = activities().find(m_window);
    if (it == activities().end() || --it->depth > 0)
        return;
    const Activity ended = *it;
    activities().erase(it);
    if (ended.deletionHeld && ended.window)
        deleteFromEventLoop(ended.window.data());
}
