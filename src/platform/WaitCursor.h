// The program's busy indicator: the application-wide wait cursor, and, once a
// call offers to be cancelled, a small application-modal dialog with a
// "Cancelar" button.
#pragma once

#include "platform/BusyIndicator.h"

#include <QPointer>

#include <functional>

class QProgressDialog;

class WaitCursor : public BusyIndicator {
public:
    // Needs a QApplication to exist.
    WaitCursor() = default;
    ~WaitCursor() override;
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void begin() override;
    void end() override;
    // Shows the dialog (application-modal, so no other window takes input)
    // until the matching end. Always returns true.
    bool offerCancel(std::function<void()> cancel) override;

    // The dialog while an offer stands, else null (exposed for tests).
    QProgressDialog* dialog() const;

private:
    void withdrawOffer();

    int m_depth = 0;
    // The begin depth the offer belongs to; it goes with that begin's end.
    int m_offerDepth = 0;
    QPointer<QProgressDialog> m_dialog;
    std::function<void()> m_cancel;
};
