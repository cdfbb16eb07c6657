// The rules both transmission windows apply before sending: the accountant's
// certificate and the upload addresses as the upload engine splits them.
#include "net/url_helper.h"
#include "support/TestCertificates.h"
#include "transmission/SendingCertificate.h"
#include "transmission/UploadAddress.h"

#include <gtest/gtest.h>

namespace {

using dadav::test::makeCertificateDer;
using dadav::test::TestCertificateOptions;

Certificate certificate(const QString& commonName, const QDateTime& from, const QDateTime& to) {
    TestCertificateOptions options;
    options.commonName = commonName;
    options.notBefore = from;
    options.notAfter = to;
    return parseCertificateDer(makeCertificateDer(options));
}

TEST(SendingCertificate, NeedsTheAccountantsDocumentAndValidityOnTheDate) {
    const QDateTime from(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime to(QDate(2026, 12, 31), QTime(23, 59, 59), Qt::UTC);
    const Certificate office =
        certificate(QStringLiteral("SILVA CONTABILIDADE:11222333000181"), from, to);
    const QString doc = QStringLiteral("11222333000181");
    const QDateTime inside(QDate(2026, 6, 1), QTime(12, 0), Qt::UTC);

    struct Case {
        const char* what;
        QString document;
        QDateTime date;
        bool accepted;
    };
    const Case cases[] = {
        {"document and date fit", doc, inside, true},
        {"last second of validity", doc, to, true},
        {"first second of validity", doc, from, true},
        {"server date after the end", doc, to.addSecs(1), false},
        {"server date before the start", doc, from.addSecs(-1), false},
        {"another accountant", QStringLiteral("98765432000198"), inside, false},
        {"no accountant on file: any certificate", QString(), inside, true},
        {"no accountant on file: still expired", QString(), to.addDays(1), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SendingCertificate::accepted(office, c.document, c.date), c.accepted) << c.what;
}

TEST(SendingCertificate, JudgesOnTheServerDateWhenKnown) {
    const QDateTime server(QDate(2014, 3, 1), QTime(9, 0));
    const QDateTime now(QDate(2026, 12, 7), QTime(10, 0));
    EXPECT_EQ(SendingCertificate::judgingDate(server, now), server);
    EXPECT_EQ(SendingCertificate::judgingDate(QDateTime(), now), now);
}

TEST(UploadAddress, DeclarationAddressSplitsIntoItsParts) {
    const QString url =
        UploadAddress::declaration(QStringLiteral("127.0.0.1"), QStringLiteral("8080"),
                                   QStringLiteral("86123452"), QStringLiteral("11.222.333/0001-81"),
                                   QStringLiteral("Z3P8W1RT"), QStringLiteral("1_2014,2_2014"));
    EXPECT_EQ(url,
              QStringLiteral("http://127.0.0.1:8080/client/xt_upload_1_15_01.php?ie=86123452"
                             "&contador=11.222.333/0001-81&chave=Z3P8W1RT&gias=1_2014,2_2014"));
    const UrlParts parts = url_helper::ExtractUrl(url);
    EXPECT_EQ(parts.Host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(parts.Port, 8080);
    EXPECT_EQ(parts.URI, QStringLiteral("/client/xt_upload_1_15_01.php"));
    EXPECT_EQ(parts.Query, QStringLiteral("ie=86123452&contador=11.222.333/0001-81&chave=Z3P8W1RT"
                                          "&gias=1_2014,2_2014"));
}

TEST(UploadAddress, SimplesAddressKeepsItsBlankAndEndsWithEmptyGias) {
    const QString url =
        UploadAddress::simples(QStringLiteral("127.0.0.1"), QStringLiteral("8080"),
                               QStringLiteral("123.456.789-09"), QStringLiteral("A7K2M9QX"));
    EXPECT_EQ(url, QStringLiteral("http://127.0.0.1:8080 /client/xt_upload_simples.php?"
                                  "contador=123.456.789-09&chave=A7K2M9QX&gias="));
    const UrlParts parts = url_helper::ExtractUrl(url);
    EXPECT_EQ(parts.Host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(parts.Port, 8080);
    EXPECT_EQ(parts.URI, QStringLiteral("/client/xt_upload_simples.php"));
    EXPECT_EQ(parts.Query, QStringLiteral("contador=123.456.789-09&chave=A7K2M9QX&gias="));

    // A port beyond the URL's 16-bit field reads as none: the upload then
    // falls back to the port setting.
    EXPECT_EQ(url_helper::ExtractUrl(
                  UploadAddress::simples(QStringLiteral("h"), QStringLiteral("40000"), {}, {}))
                  .Port,
              0);
}

} // namespace
