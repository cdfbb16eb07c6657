// Test helpers for the token and browser sources: a real SoftHSM2 token in a
// temporary folder (steered through SOFTHSM2_CONF, so the system's tokens are
// never touched) with certificate objects written through PKCS#11, and a
// real NSS database made with certutil and pk12util. Each throws
// std::runtime_error naming what could not be started.
#pragma once

#include "certificates/CertificateSource.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <mutex>

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

// A source that stands for a module that hangs: list() returns (empty) only
// after release(). calls() counts the listings started.
class BlockingSource : public CertificateSource {
public:
    QString name() const override { return QStringLiteral("Módulo travado"); }
    CertificateListing list() const override {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_calls;
        m_released.wait(lock, [this] { return m_free; });
        return {};
    }
    void release() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_free = true;
        m_released.notify_all();
    }

    int calls() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    mutable int m_calls = 0;
    mutable std::condition_variable m_released;
    bool m_free = false;
};

} // namespace dadav::test
