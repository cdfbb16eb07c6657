// The program's certificate picker: the user's certificate store, and the
// tokens and browsers' databases when sources are given, shown in the
// certificate selection dialog, with the desktop's file dialog and masked
// password and PIN questions.
#pragma once

#include "certificates/CertificatePicker.h"
#include "certificates/CertificateSources.h"

#include <QList>

class QWidget;

class CertificateStore;
class Clock;
class PinPrompter;
class Prompter;

class StoreCertificatePicker : public CertificatePicker {
public:
    // store, prompter, pins (the PIN question) and clock (today's date) are
    // not owned and must outlive the picker.
    // sources empty: the store alone, listed before the dialog opens; else
    // the dialog lists sources (the store's folder among them) while it is
    // open, waiting at most timeout for each.
    StoreCertificatePicker(CertificateStore& store, Prompter& prompter, PinPrompter& pins,
                           const Clock& clock, CertificateSourceList sources = {},
                           std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Shows the dialog modal over the active window and returns the chosen
    // certificate, or nullopt when the user cancels. Without sources, throws
    // RuntimeError when the store cannot be read; with them, a source that
    // cannot be read is named in the dialog.
    std::optional<Certificate> pick(const QString& title, const QString& displayText) override;

    // The question asked when a file holds several certificates: a modal list
    // of holder and end of validity over parent. Returns the place of the one
    // chosen in certificates, or nullopt when the user cancels.
    static std::optional<qsizetype> askWhichCertificate(QWidget* parent,
                                                        const QList<Certificate>& certificates);

private:
    CertificateStore& m_store;
    Prompter& m_prompter;
    PinPrompter& m_pins;
    const Clock& m_clock;
    CertificateSourceList m_sources;
    std::chrono::milliseconds m_timeout;
};
