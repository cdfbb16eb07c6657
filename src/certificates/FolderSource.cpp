// The client's own folder as a source: every certificate it holds.
#include "certificates/FolderSource.h"

FolderSource::FolderSource(QString folder) : m_store(std::move(folder)) {}

QString FolderSource::name() const {
    return QStringLiteral("Pasta do programa");
}

CertificateListing FolderSource::list() const {
    CertificateListing listing;
    for (const CertificateStore::Entry& e : m_store.list())
        listing.certificates.append(
            {e.certificate, readHolderDocuments(e.certificate.der), name(), e.id});
    return listing;
}
