// How long the certificate dialog waits for its sources: a SoftHSM2 token
// with one certificate and an NSS database with a user certificate and an
// authority, both made in a temporary folder, plus the own folder; the
// sources listed together as the dialog lists them, 20 times.
#include "certificates/CertificateSources.h"
#include "certificates/FolderSource.h"
#include "certificates/NssSource.h"
#include "certificates/Pkcs11Source.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    dadav::test::SoftHsm hsm(dir.filePath(QStringLiteral("hsm")));
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    const dadav::test::TestChain chain =
        dadav::test::makeChain(dadav::test::TestCertificateOptions{}, QStringLiteral("AC Teste"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), chain.holderDer, false);
    dadav::test::makeNssDatabase(dir.filePath(QStringLiteral("nssdb")), chain.holderPkcs12,
                                 QStringLiteral("1234"), chain.authorityDer);
    const CertificateSourceList sources = {
        std::make_shared<FolderSource>(dir.filePath(QStringLiteral("certificados"))),
        std::make_shared<Pkcs11Source>(),
        std::make_shared<NssSource>(QList<NssDatabase>{
            {dir.filePath(QStringLiteral("nssdb")), QStringLiteral("Firefox")}})};
    std::vector<qint64> times;
    qsizetype found = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        const CertificateListing listing = listCertificates(sources, std::chrono::seconds(10));
        times.push_back(t.nsecsElapsed() / 1000);
        found = listing.certificates.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("certificates found: %lld; listing (token + NSS + own folder): median %lld us, "
                "slowest %lld us\n",
                static_cast<long long>(found), static_cast<long long>(times[times.size() / 2]),
                static_cast<long long>(times.back()));
    return found == 2 ? 0 : 1;
}
