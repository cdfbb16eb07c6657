// Keeps a window disabled while another one is on screen, and enables it
// again whatever way that one goes: closed, hidden, unloaded or destroyed.
// The main window uses it for the windows it waits on (selection, new
// taxpayer, declaration transmission, About), so that it can never be left
// disabled with nothing on screen that would enable it.
#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

class DisabledWhileShown : public QObject {
public:
    // `disabled` is the window to keep disabled; it must outlive this object.
    explicit DisabledWhileShown(QWidget* disabled);

    // Disables the window until `shown` is hidden or destroyed. When `shown`
    // is null or not visible the window is enabled at once. A later call
    // replaces the earlier one.
    void watch(QWidget* shown);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Stops watching and enables the window.
    void release();

    QWidget* m_disabled;
    QPointer<QWidget> m_shown;
    QMetaObject::Connection m_destroyed;
};
