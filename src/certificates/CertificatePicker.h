// The user's choice of a digital certificate: the program backs it with the
// per-user certificate store and its selection dialog, tests with a scripted
// fake. Core code and windows depend on this interface only.
#pragma once

#include "certificates/Certificate.h"

#include <QString>
#include <optional>

class CertificatePicker {
public:
    virtual ~CertificatePicker() = default;
    // Shows the selection with title and displayText and waits for the user.
    // Returns the chosen certificate, or nullopt when the user cancels (also
    // when the store is empty and the user closes the selection). Throws
    // RuntimeError when the store cannot be used; the caller then shows
    // CertificateMessages::componentFailure().
    virtual std::optional<Certificate> pick(const QString& title, const QString& displayText) = 0;
};
