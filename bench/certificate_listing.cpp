// How long the certificate dialog waits for its sources: a SoftHSM2 token
// with one certificate, the user's NSS database (~/.pki/nssdb) and a Firefox
// profile named in profiles.ini, each holding a user certificate and an
// authority, all made in a temporary home, plus the own folder; the
// program's sources (defaultCertificateSources, each module and database in
// its reader child) listed together as the dialog lists them, 20 times.
#include "certificates/CertificateChild.h"
#include "certificates/CertificateSources.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CertificateChild::setProgram(QStringLiteral(DADAV_CERT_HELPER));
    QTemporaryDir dir;
    dadav::test::SoftHsm hsm(dir.filePath(QStringLiteral("hsm")));
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    const dadav::test::TestChain chain =
        dadav::test::makeChain(dadav::test::TestCertificateOptions{}, QStringLiteral("AC Teste"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), chain.holderDer, false);
    const QString home = dir.filePath(QStringLiteral("home"));
    dadav::test::makeNssDatabase(home + QStringLiteral("/.pki/nssdb"), chain.holderPkcs12,
                                 QStringLiteral("1234"), chain.authorityDer);
    const QString firefox = home + QStringLiteral("/.mozilla/firefox");
    dadav::test::makeNssDatabase(firefox + QStringLiteral("/abc.default-release"),
                                 chain.holderPkcs12, QStringLiteral("1234"), chain.authorityDer);
    QFile ini(firefox + QStringLiteral("/profiles.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 2;
    ini.write("[Profile0]\nName=default-release\nIsRelative=1\nPath=abc.default-release\n");
    ini.close();
    const CertificateSourceList sources = defaultCertificateSources(
        dir.filePath(QStringLiteral("certificados")), home, std::chrono::seconds(10));
    std::vector<qint64> times;
    qsizetype found = 0;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        const CertificateListing listing = listCertificates(sources, std::chrono::seconds(10));
        times.push_back(t.nsecsElapsed() / 1000);
        found = listing.certificates.size();
        for (const QString& failure : listing.failures)
            std::printf("%s\n", qPrintable(failure));
    }
    std::sort(times.begin(), times.end());
    std::printf("certificates found: %lld; listing (token + NSS + Firefox profile + own "
                "folder): median %lld us, slowest %lld us\n",
                static_cast<long long>(found), static_cast<long long>(times[times.size() / 2]),
                static_cast<long long>(times.back()));
    return found == 3 ? 0 : 1;
}
