// Wait cursor over every window while a call is in progress, and the dialog
// through which the user may cancel a call that lasts.
#include "platform/WaitCursor.h"

#include "platform/QtPrompter.h"

#include <QApplication>
#include <QCursor>
#include <QProgressDialog>

WaitCursor::~WaitCursor() {
    m_cancel = nullptr;
    delete m_dialog.data();
}

void WaitCursor::begin() {
    ++m_depth;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void WaitCursor::end() {
    if (m_dialog && m_depth == m_offerDepth)
        withdrawOffer();
    if (m_depth > 0)
        --m_depth;
    QGuiApplication::restoreOverrideCursor();
}

bool WaitCursor::offerCancel(std::function<void()> cancel) {
    withdrawOffer();
    m_cancel = std::move(cancel);
    m_offerDepth = m_depth;
    auto* dialog = new QProgressDialog(QStringLiteral("Aguardando a resposta do servidor..."),
                                       QStringLiteral("Cancelar"), 0, 0);
    dialog->setWindowTitle(QtPrompter::defaultTitle());
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    // Escape, the close box and the button all end in canceled().
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [this] {
        if (!m_cancel)
            return;
        // Called once: the offer is spent, whatever the callback does.
        const std::function<void()> cancelNow = std::move(m_cancel);
        m_cancel = nullptr;
        cancelNow();
    });
    m_dialog = dialog;
    // The button must not look busy while the rest of the program does.
    QGuiApplication::changeOverrideCursor(QCursor(Qt::BusyCursor));
    dialog->show();
    return true;
}

QProgressDialog* WaitCursor::dialog() const {
    return m_dialog;
}

void WaitCursor::withdrawOffer() {
    // The callback goes first: hiding the dialog must not cancel anything.
    m_cancel = nullptr;
    if (QProgressDialog* dialog = m_dialog) {
        m_dialog = nullptr;
        dialog->disconnect();
        dialog->hide();
        dialog->deleteLater();
    }
}
