// Test helpers for the token and browser sources: a real SoftHSM2 token in a
// temporary folder (steered through SOFTHSM2_CONF, so the system's tokens are
// never touched) with certificate objects written through PKCS#11, and a
// real NSS database made with certutil and pk12util. Each throws
// std::runtime_error naming what could not be started.
#pragma once

#include <QByteArray>
#include <QString>

namespace dadav::test {

// The SoftHSM2 module as Debian installs it.
inline const QString kSoftHsmModule = QStringLiteral("/usr/lib/softhsm/libsofthsm2.so");

class SoftHsm {
public:
    // Writes softhsm2.conf into folder and points SOFTHSM2_CONF at it for the
    // rest of the process (restored by the destructor).
    explicit SoftHsm(const QString& folder);
    ~SoftHsm();
    SoftHsm(const SoftHsm&) = delete;
    SoftHsm& operator=(const SoftHsm&) = delete;

    // Initialises a token with softhsm2-util (security officer PIN "0000").
    void initToken(const QString& label, const QString& pin);
    // Stores der as a certificate object on the token; a private object is
    // seen only after login.
    void addCertificate(const QString& tokenLabel, const QString& pin, const QByteArray& der,
                        bool privateObject);

private:
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// Makes an empty-password NSS database in folder holding the holder's
// certificate and key (from pkcs12 with password) and an authority's
// certificate without key.
void makeNssDatabase(const QString& folder, const QByteArray& pkcs12, const QString& password,
                     const QByteArray& authorityDer);

} // namespace dadav::test
