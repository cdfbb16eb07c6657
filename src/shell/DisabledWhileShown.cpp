// Disabled while another window is on screen.
#include "shell/DisabledWhileShown.h"

#include <QEvent>
#include <QWidget>

DisabledWhileShown::DisabledWhileShown(QWidget* disabled)
    : QObject(disabled), m_disabled(disabled) {}

void DisabledWhileShown::watch(QWidget* shown) {
    release();
    if (!shown || !shown->isVisible())
        return;
    m_shown = shown;
    shown->installEventFilter(this);
    m_destroyed = connect(shown, &QObject::destroyed, this, [this] { release(); });
    m_disabled->setEnabled(false);
}

void DisabledWhileShown::release() {
    if (m_shown)
        m_shown->removeEventFilter(this);
    m_shown.clear();
    disconnect(m_destroyed);
    m_disabled->setEnabled(true);
}

bool DisabledWhileShown::eventFilter(QObject* watched, QEvent* event) {
    // A minimised window gets a hide event too but stays visible: only a
    // window really gone from the screen gives the main window back.
    if (watched == m_shown && event->type() == QEvent::Hide && !m_shown->isVisible())
        release();
    return QObject::eventFilter(watched, event);
}
