// The program's certificate picker: the user's certificate store shown in the
// certificate selection dialog, with the desktop's file dialog and a masked
// password question for imports.
#pragma once

#include "certificates/CertificatePicker.h"

class CertificateStore;
class Prompter;

class StoreCertificatePicker : public CertificatePicker {
public:
    // store and prompter are not owned and must outlive the picker.
    StoreCertificatePicker(CertificateStore& store, Prompter& prompter);

    // Lists the store (throws RuntimeError when it cannot be read), then shows
    // the dialog modal over the active window and returns the chosen
    // certificate, or nullopt when the user cancels.
    std::optional<Certificate> pick(const QString& title, const QString& displayText) override;

private:
    CertificateStore& m_store;
    Prompter& m_prompter;
};
