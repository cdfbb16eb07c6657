// The client's own certificate folder as a certificate source.
#pragma once

#include "certificates/CertificateSource.h"
#include "certificates/CertificateStore.h"

class FolderSource : public CertificateSource {
public:
    // Lists the folder of a store made for it (the store object is copied:
    // listing from a worker thread reads files only).
    explicit FolderSource(QString folder);
    QString name() const override;
    // Throws RuntimeError when the folder exists and cannot be listed.
    CertificateListing list() const override;

private:
    CertificateStore m_store;
};
