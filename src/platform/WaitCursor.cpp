// Wait cursor over every window while a call is in progress.
#include "platform/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

void WaitCursor::begin() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void WaitCursor::end() {
    QGuiApplication::restoreOverrideCursor();
}
