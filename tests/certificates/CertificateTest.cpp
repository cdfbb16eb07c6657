// Certificate parsing, the document match, validity on the server's date and
// the distribution-point routine, on certificates made at test time.
#include "certificates/Certificate.h"
#include "base/RuntimeError.h"
#include "certificates/CertificateMessages.h"
#include "support/TestCertificates.h"

#include <QTimeZone>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using dadav::test::CrlPoint;
using dadav::test::makeCertificateDer;
using dadav::test::TestCertificateOptions;

const QDateTime kFrom(QDate(2025, 3, 1), QTime(8, 30, 15), QTimeZone::utc());
const QDateTime kTo(QDate(2027, 2, 28), QTime(23, 59, 59), QTimeZone::utc());

TestCertificateOptions options(CrlPoint crl = CrlPoint::None) {
    TestCertificateOptions s;
    s.commonName = QStringLiteral("PADARIA SÃO JOÃO LTDA:11222333000181");
    s.issuerName = QStringLiteral("AC Teste de Valdoria");
    s.notBefore = kFrom;
    s.notAfter = kTo;
    s.crl = crl;
    s.crlUrl = QStringLiteral("http://127.0.0.1/lcr/ac-teste.crl");
    return s;
}

TEST(ParseCertificate, ReadsValidityNamesAndDer) {
    const QByteArray der = makeCertificateDer(options());
    const Certificate c = parseCertificateDer(der);
    EXPECT_EQ(c.der, der);
    EXPECT_EQ(c.validFrom, kFrom);
    EXPECT_EQ(c.validTo, kTo);
    EXPECT_EQ(c.validFrom.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(c.holderName, QStringLiteral("PADARIA SÃO JOÃO LTDA:11222333000181"));
    EXPECT_EQ(c.subject,
              QStringLiteral("O = ICP-Brasil, CN = PADARIA SÃO JOÃO LTDA:11222333000181"));
    EXPECT_EQ(c.issuer, QStringLiteral("O = ICP-Brasil, CN = AC Teste de Valdoria"));
    EXPECT_EQ(c.issuerName, QStringLiteral("AC Teste de Valdoria"));
}

TEST(ParseCertificate, DistributionPoints) {
    struct Case {
        CrlPoint crl;
        bool present;
        QStringList urls;
    };
    const Case cases[] = {
        {CrlPoint::None, false, {}},
        {CrlPoint::Url, true, {QStringLiteral("http://127.0.0.1/lcr/ac-teste.crl")}},
        {CrlPoint::Malformed, true, {}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.crl));
        const Certificate c = parseCertificateDer(makeCertificateDer(options(k.crl)));
        EXPECT_EQ(c.hasCrlDistributionPoints, k.present);
        EXPECT_EQ(c.crlUrls, k.urls);
    }
}

TEST(ParseCertificate, RefusesWhatIsNotOneCertificate) {
    const QByteArray der = makeCertificateDer(options());
    const QByteArray cases[] = {
        {},
        QByteArray("not a certificate"),
        der.left(der.size() - 1),   // cut short
        der + QByteArray(1, '\0'),  // trailing byte
        dadav::test::derToPem(der), // PEM is not DER
    };
    for (const auto& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        EXPECT_THROW(parseCertificateDer(bytes), RuntimeError);
    }
}

TEST(CertificateMatches, SubstringOfTheDerText) {
    const QByteArray der = makeCertificateDer(options());
    // A certificate of the accountant, whose CPF sits in its name.
    TestCertificateOptions accountant = options();
    accountant.commonName = QStringLiteral("MARIA DA SILVA:12345678909");
    const QByteArray accountantDer = makeCertificateDer(accountant);
    // The alphanumeric CNPJ has letters: letter case is ignored.
    TestCertificateOptions letters = options();
    letters.commonName = QStringLiteral("EMPRESA NOVA:12ABC34501DE35");
    const QByteArray lettersDer = makeCertificateDer(letters);

    struct Case {
        const char* name;
        const QByteArray& der;
        QString taxpayer;
        QString accountant;
        bool expected;
    };
    const Case cases[] = {
        {"taxpayer digits", der, QStringLiteral("11222333000181"), QStringLiteral("99999999999"),
         true},
        {"accountant digits", accountantDer, QStringLiteral("11222333000181"),
         QStringLiteral("12345678909"), true},
        {"neither", der, QStringLiteral("04567891000113"), QStringLiteral("12345678909"), false},
        {"part of the digits", der, QStringLiteral("2233300"), QStringLiteral("00000000000"), true},
        {"empty taxpayer", der, QString(), QStringLiteral("12345678909"), true},
        {"empty accountant", der, QStringLiteral("04567891000113"), QString(), true},
        {"case ignored", lettersDer, QStringLiteral("12abc34501de35"), QStringLiteral("1"), true},
        {"punctuation not removed here", der, QStringLiteral("11.222.333/0001-81"),
         QStringLiteral("12.345.678/9"), false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(certificateMatches(k.der, k.taxpayer, k.accountant), k.expected);
    }
}

TEST(CertificateValidAt, BothEndsIncluded) {
    const Certificate c = parseCertificateDer(makeCertificateDer(options()));
    const QDateTime to = kTo.toLocalTime();
    const QDateTime from = kFrom.toLocalTime();
    struct Case {
        const char* name;
        QDateTime serverDate;
        bool expected;
    };
    const Case cases[] = {
        {"at the start", from, true},
        {"one second before the start", from.addSecs(-1), false},
        {"inside", from.addDays(100), true},
        {"at the end", to, true},
        {"one second after the end", to.addSecs(1), false},
        {"no server date", QDateTime(), false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(certificateValidAt(c, k.serverDate), k.expected);
    }
}

TEST(VerificarCDP, MessageOnlyWhenThePointsCannotBeRead) {
    EXPECT_EQ(VerificarCDP(parseCertificateDer(makeCertificateDer(options(CrlPoint::None)))),
              QString());
    EXPECT_EQ(VerificarCDP(parseCertificateDer(makeCertificateDer(options(CrlPoint::Url)))),
              QString());

    const QString failure =
        VerificarCDP(parseCertificateDer(makeCertificateDer(options(CrlPoint::Malformed))));
    const QString prefix = QStringLiteral("Could not retrieve the URLs from the CDP extension: 0x");
    ASSERT_TRUE(failure.startsWith(prefix)) << failure.toStdString();
    const QString code = failure.mid(prefix.size());
    EXPECT_THAT(code.toStdString(), ::testing::MatchesRegex("[1-9A-F][0-9A-F]*"));

    Certificate broken;
    broken.der = QByteArray("garbage");
    EXPECT_TRUE(VerificarCDP(broken).startsWith(prefix));
}

TEST(CertificateMessages, ComposedTexts) {
    EXPECT_EQ(CertificateMessages::cdpFailure(0x80092004u),
              QStringLiteral("Could not retrieve the URLs from the CDP extension: 0x80092004"));
    EXPECT_EQ(CertificateMessages::cdpFailure(0xabcu),
              QStringLiteral("Could not retrieve the URLs from the CDP extension: 0xABC"));
    EXPECT_EQ(CertificateMessages::connectionFailure(QStringLiteral("gia.valdoria.rj.gov.br")),
              QStringLiteral("Detectamos que há um problema de comunicação com a URL "
                             "http://gia.valdoria.rj.gov.br. \r\n\r\nVerifique sua conectividade "
                             "de Internet. \r\n\r\nObs: Recomendamos solicitar assistência ao "
                             "responsável pela manutenção da rede"));
    const QString component = CertificateMessages::componentFailure();
    EXPECT_TRUE(component.startsWith(
        QStringLiteral("O programa não pode inicializar os componentes necessários.\r\n")));
    EXPECT_TRUE(component.endsWith(
        QStringLiteral("\r\n\r\nMaiores informações sobre os componentes de certificado digital "
                       "em http://www.valdoria.rj.gov.br/certificado-digital")));
}

} // namespace
