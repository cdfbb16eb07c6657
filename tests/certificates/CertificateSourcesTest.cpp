// The certificate sources against real parts: a SoftHSM2 token in a
// temporary folder, NSS databases made with the NSS tools, the client's own
// folder; the ICP-Brasil documents; and a source that hangs.
#include "certificates/CertificateSources.h"
#include "base/RuntimeError.h"
#include "certificates/CertificateChild.h"
#include "certificates/CertificateFrames.h"
#include "certificates/CertificateStore.h"
#include "certificates/ExpiryWatch.h"
#include "certificates/FolderSource.h"
#include "certificates/NssSource.h"
#include "certificates/Pkcs11Source.h"
#include "childprocess/ChildRunner.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"
#include "support/WaitFor.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <future>

#include <csignal>
#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace dadav::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TestCertificateOptions company() {
    TestCertificateOptions o;
    o.commonName = QStringLiteral("EMPRESA TESTE LTDA:11222333000181");
    o.subjectAltName = QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:11222333000181");
    return o;
}

QStringList holders(const CertificateListing& listing) {
    QStringList out;
    for (const SourcedCertificate& c : listing.certificates)
        out.append(c.certificate.holderName + QStringLiteral(" @ ") + c.origin);
    return out;
}

TEST(HolderDocumentsTest, ReadsTheIcpBrasilOtherNames) {
    struct Case {
        const char* name;
        QString altName;
        QString cnpj, cpf, shown;
    } cases[] = {
        {"CNPJ as PrintableString",
         QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:11222333000181"),
         QStringLiteral("11222333000181"),
         {},
         QStringLiteral("11.222.333/0001-81")},
        {"CNPJ as OCTET STRING",
         QStringLiteral("otherName:2.16.76.1.3.3;OCTETSTRING:11222333000181"),
         QStringLiteral("11222333000181"),
         {},
         QStringLiteral("11.222.333/0001-81")},
        {"CPF after the birth date",
         QStringLiteral("otherName:2.16.76.1.3.1;PRINTABLESTRING:"
                        "0101198012345678909000000000000000000000000000"),
         {},
         QStringLiteral("12345678909"),
         QStringLiteral("123.456.789-09")},
        {"CPF beside the company's responsible person",
         QStringLiteral("otherName:2.16.76.1.3.4;PRINTABLESTRING:01011980987654321000000000000000,"
                        "otherName:2.16.76.1.3.3;PRINTABLESTRING:11222333000181,"
                        "email:a@b.com"),
         QStringLiteral("11222333000181"),
         {},
         QStringLiteral("11.222.333/0001-81")},
        {"CPF of zeros",
         QStringLiteral("otherName:2.16.76.1.3.1;PRINTABLESTRING:0101198000000000000"),
         {},
         {},
         {}},
        {"CNPJ too short",
         QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:1122233300018"),
         {},
         {},
         {}},
        {"no alternative name", QString(), {}, {}, {}},
    };
    for (const Case& c : cases) {
        TestCertificateOptions o;
        o.subjectAltName = c.altName;
        const HolderDocuments d = readHolderDocuments(makeCertificateDer(o));
        EXPECT_EQ(d.cnpj, c.cnpj) << c.name;
        EXPECT_EQ(d.cpf, c.cpf) << c.name;
        EXPECT_EQ(formattedDocument(d), c.shown) << c.name;
        EXPECT_FALSE(d.isAuthority) << c.name;
    }
    EXPECT_TRUE(
        readHolderDocuments(makeChain(company(), QStringLiteral("AC")).authorityDer).isAuthority);
}

// Each holder gets the matching certificate that lasts longest; the notice
// names those within 30 days or past their end, in one line.
// A company's certificate names its responsible person (2.16.76.1.3.4,
// often the accountant's CPF): that makes it neither the person's nor able to
// mask the person's own expiring certificate.
TEST(ExpiryWatchTest, MatchesHoldersAndWordsTheNotice) {
    const QDate today(2026, 3, 10);
    const auto cert = [today](const QString& cn, int days, const QString& altName = {}) {
        TestCertificateOptions o;
        o.commonName = cn;
        o.subjectAltName = altName;
        o.notBefore = QDateTime(today.addDays(-400), QTime(12, 0)).toUTC();
        o.notAfter = QDateTime(today.addDays(days), QTime(12, 0)).toUTC();
        const QByteArray der = makeCertificateDer(o);
        return SourcedCertificate{parseCertificateDer(der), readHolderDocuments(der),
                                  QStringLiteral("Pasta do programa"), QString()};
    };
    const QList<SourcedCertificate> seen = {
        cert(QStringLiteral("PADARIA:11222333000181"), 12),
        cert(QStringLiteral("PADARIA:11222333000181"), 5), // the older one of the same company
        cert(QStringLiteral("MARIA:12345678909"), -3),
        cert(QStringLiteral("OFICINA:04567891000113"), 200),
        // A client's e-CNPJ whose responsible person is Maria, lasting longer.
        cert(QStringLiteral("CLIENTE:99888777000166"), 400,
             QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:99888777000166,"
                            "otherName:2.16.76.1.3.4;PRINTABLESTRING:0101198012345678909"
                            "00000000000")),
        // The CNPJ field decides over a common name that says otherwise.
        cert(QStringLiteral("OUTRA:04567891000113"), 300,
             QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:11111111000191"))};
    const WatchedHolder padaria{QStringLiteral("Contribuinte"), QStringLiteral("Padaria"),
                                QStringLiteral("11.222.333/0001-81")};
    const WatchedHolder oficina{QStringLiteral("Contribuinte"), QStringLiteral("Oficina"),
                                QStringLiteral("04.567.891/0001-13")};
    const WatchedHolder semCertificado{QStringLiteral("Contribuinte"), QStringLiteral("Sem"),
                                       QStringLiteral("27.891.543/0001-00")};
    const WatchedHolder semDocumento{QStringLiteral("Contribuinte"), QStringLiteral("Vazio"),
                                     QString()};
    const WatchedHolder maria{QStringLiteral("Contador"), QStringLiteral("Maria"),
                              QStringLiteral("123.456.789-09")};
    const QList<WatchRow> rows =
        watchHolders({padaria, oficina, semCertificado, semDocumento, maria}, seen, today);
    QStringList got;
    for (const WatchRow& r : rows)
        got << r.holder.name + QLatin1Char('=') +
                   (r.certificate ? QString::number(r.daysLeft) : QStringLiteral("-"));
    EXPECT_THAT(got, ElementsAre(QStringLiteral("Padaria=12"), QStringLiteral("Oficina=200"),
                                 QStringLiteral("Sem=-"), QStringLiteral("Vazio=-"),
                                 QStringLiteral("Maria=-3")));

    WatchRow at30 = rows[1], at31 = rows[1];
    at30.daysLeft = 30;
    at31.daysLeft = 31;
    const struct {
        const char* name;
        QList<WatchRow> rows;
        QString notice;
    } cases[] = {
        {"nothing near its end", {rows[1], rows[2]}, QString()},
        {"31 days is not near", {at31, rows[3]}, QString()},
        {"30 days is",
         {at30},
         QStringLiteral("Certificado digital de Oficina vence em 30 dias. Veja Arquivo > "
                        "Certificados (F7).")},
        {"one",
         {rows[0], rows[1]},
         QStringLiteral("Certificado digital de Padaria vence em 12 dias. Veja Arquivo > "
                        "Certificados (F7).")},
        {"several", rows,
         QStringLiteral("Certificados digitais: Padaria vence em 12 dias; Maria expirou. Veja "
                        "Arquivo > Certificados (F7).")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expiryNotice(c.rows), c.notice) << c.name;
}

class TokenTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SoftHsm hsm{dir.path()};
};

TEST_F(TokenTest, ListsPublicCertificatesWithoutPinAndLeavesAuthoritiesOut) {
    const TestChain chain = makeChain(company(), QStringLiteral("AC Teste"));
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), chain.holderDer, false);
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), chain.authorityDer,
                       false);

    const CertificateListing listing = Pkcs11Source({kSoftHsmModule}).list();
    EXPECT_THAT(holders(listing),
                ElementsAre(QStringLiteral("EMPRESA TESTE LTDA:11222333000181 @ Token e-CNPJ "
                                           "(libsofthsm2.so)")));
    ASSERT_EQ(listing.certificates.size(), 1);
    EXPECT_EQ(listing.certificates[0].certificate.der, chain.holderDer);
    EXPECT_EQ(listing.certificates[0].documents.cnpj, QStringLiteral("11222333000181"));
    EXPECT_THAT(listing.loginTokens, IsEmpty());
    EXPECT_THAT(listing.failures, IsEmpty());

    // The same token through the modules registered with the system, where
    // the softhsm2 package registers its module.
    const CertificateListing registered = Pkcs11Source().list();
    ASSERT_EQ(registered.certificates.size(), 1) << registered.failures.join(u'\n').toStdString();
    EXPECT_EQ(registered.certificates[0].certificate.der, chain.holderDer);
}

TEST_F(TokenTest, LoginOnlyTokenListsAfterThePin) {
    const QByteArray der = makeCertificateDer(company());
    hsm.initToken(QStringLiteral("cartao"), QStringLiteral("654321"));
    hsm.addCertificate(QStringLiteral("cartao"), QStringLiteral("654321"), der, true);

    const CertificateListing listing = Pkcs11Source({kSoftHsmModule}).list();
    EXPECT_THAT(listing.certificates, IsEmpty());
    ASSERT_EQ(listing.loginTokens.size(), 1);
    const LoginToken token = listing.loginTokens[0];
    EXPECT_EQ(token.label, QStringLiteral("cartao"));

    try {
        Pkcs11Source::listAfterLogin(token, QStringLiteral("000000"));
        ADD_FAILURE() << "a wrong PIN was accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.description(), QStringLiteral("PIN incorreto para o token cartao."));
    }
    const QList<SourcedCertificate> after =
        Pkcs11Source::listAfterLogin(token, QStringLiteral("654321"));
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(after[0].certificate.der, der);
    EXPECT_EQ(after[0].origin, QStringLiteral("Token cartao (libsofthsm2.so)"));
}

TEST_F(TokenTest, ModuleThatFailsIsNamedAndTheOthersStillList) {
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"),
                       makeCertificateDer(company()), false);
    const QString broken = dir.filePath(QStringLiteral("libquebrado.so"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a shared object");
    file.close();

    const CertificateListing listing = Pkcs11Source({broken, kSoftHsmModule}).list();
    EXPECT_EQ(listing.certificates.size(), 1);
    EXPECT_THAT(listing.failures,
                ElementsAre(QStringLiteral("Módulo PKCS#11 libquebrado.so: não foi possível "
                                           "carregar o arquivo ") +
                            broken + QLatin1Char('.')));
}

// A module registered for the program alone that hangs in one call, beside
// the SoftHSM2 module the system registers: the token still lists, and the
// line names the module that hung.
TEST_F(TokenTest, HungModuleIsNamedAndTheRegisteredTokenStillLists) {
    const QByteArray der = makeCertificateDer(company());
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), der, false);
    const std::chrono::seconds timeout(2);
    const struct {
        const char* call;
        int stage;
    } cases[] = {{"C_Initialize", 1}, {"C_GetSlotList", 2}, {"C_Login", 3}};
    for (const auto& c : cases) {
        QTemporaryDir modules;
        const QString file =
            QStringLiteral(DADAV_HANGING_MODULE_DIR "/libpendente-%1.so").arg(c.stage);
        QFile config(modules.filePath(QStringLiteral("pendente.module")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("# a driver whose daemon is stuck\nmodule: " + QFile::encodeName(file) + "\n");
        config.close();
        const QString hung = QStringLiteral("Módulo travado: pendente (") + file +
                             QStringLiteral(") não respondeu em 2 s.");

        QElapsedTimer elapsed;
        elapsed.start();
        const CertificateListing listing = Pkcs11Source({}, timeout, modules.path()).list();
        // Bounded by the time-out, not by the module (generously).
        EXPECT_LT(elapsed.elapsed(), 20000) << c.call;
        ASSERT_EQ(listing.certificates.size(), 1) << c.call;
        EXPECT_EQ(listing.certificates[0].certificate.der, der) << c.call;
        if (c.stage != 3) {
            EXPECT_THAT(listing.failures, ElementsAre(hung)) << c.call;
            continue;
        }
        EXPECT_THAT(listing.failures, IsEmpty());
        ASSERT_EQ(listing.loginTokens.size(), 1);
        try {
            Pkcs11Source::listAfterLogin(listing.loginTokens[0], QStringLiteral("1234"), timeout);
            ADD_FAILURE() << "a login that hangs returned";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.description(), hung);
        }
    }
}

// True once pid is gone or left only to be reaped.
bool ended(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

// Drivers that misbehave in the child: one prints on standard output (its
// listing still comes, and the object it claims at 100 MiB is named), one
// forks a helper and hangs (the helper goes with the child at the time-out).
TEST(CertificateChildTest, AHostileDriverCostsItsChildAndNothingMore) {
    QTemporaryDir dir;
    const QByteArray pidFile = QFile::encodeName(dir.filePath(QStringLiteral("helper.pid")));
    ASSERT_EQ(::setenv("PENDENTE_HELPER_PID", pidFile.constData(), 1), 0);
    const struct {
        const char* what;
        int variant;
        qsizetype loginTokens;
        QString failure;
    } cases[] = {
        {"prints on stdout, claims 100 MiB", 4, 1,
         QStringLiteral("Token pendente (libpendente-4.so): certificado de 100 MB deixado de fora "
                        "(o limite é 1 MB).")},
        {"forks a helper and hangs", 5, 0,
         QStringLiteral("Módulo travado: libpendente-5.so (" DADAV_HANGING_MODULE_DIR
                        "/libpendente-5.so) não respondeu em 2 s.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file =
            QStringLiteral(DADAV_HANGING_MODULE_DIR "/libpendente-%1.so").arg(c.variant);
        const CertificateListing listing = Pkcs11Source({file}, std::chrono::seconds(2)).list();
        EXPECT_THAT(listing.failures, ElementsAre(c.failure));
        EXPECT_EQ(listing.loginTokens.size(), c.loginTokens);
    }
    ::unsetenv("PENDENTE_HELPER_PID");
    QFile written(QFile::decodeName(pidFile));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << "the helper was never forked";
    const pid_t helper = written.readAll().trimmed().toInt();
    ASSERT_GT(helper, 0);
    EXPECT_TRUE(waitFor([helper] { return ended(helper); }))
        << "the driver's helper outlived its child";
    if (!ended(helper))
        ::kill(helper, SIGKILL);
}

// A reader child that answers nonsense, too much, or dies: one clear line
// naming the module, and the client stops reading at its bound.
TEST(CertificateChildTest, BadAnswersGiveOneLineNamingTheModule) {
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray script;
        QString line;
    } cases[] = {
        {"garbage", "echo garbage", QStringLiteral("resposta ilegível (unknown record).")},
        {"too much", "exec head -c 100000000 /dev/zero",
         QStringLiteral("resposta grande demais; leitura interrompida.")},
        {"crash", "kill -SEGV $$", QStringLiteral("terminou de forma anormal.")},
    };
    struct Restore {
        ~Restore() { CertificateChild::setProgram(QStringLiteral(DADAV_CERT_HELPER)); }
    } restore;
    for (const auto& c : cases) {
        const QString program = dir.filePath(QString::fromLatin1(c.name).replace(u' ', u'-'));
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + c.script + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        CertificateChild::setProgram(program);
        const CertificateListing listing =
            Pkcs11Source({QStringLiteral("/opt/leitor/libleitor.so")}).list();
        EXPECT_THAT(
            listing.failures,
            ElementsAre(QStringLiteral("libleitor.so (/opt/leitor/libleitor.so): ") + c.line))
            << c.name;
    }
}

TEST(CertificateChildTest, RecordsAreCheckedBeforeUse) {
    using CertificateFrames::append;
    std::string good;
    append(good, 'V', CertificateFrames::kVersion);
    append(good, 'C', "der");
    append(good, 'E', {});
    const struct {
        const char* name;
        std::string output;
        bool ok;
    } cases[] = {
        {"complete", good, true},
        {"truncated", good.substr(0, good.size() - 3), false},
        {"bytes after the end", good + "x", false},
        {"no version", good.substr(5 + CertificateFrames::kVersion.size()), false},
        {"overlong record", std::string("V\x7f\xff\xff\xff", 5), false},
        {"empty", std::string(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CertificateFrames::parse(c.output).ok, c.ok) << c.name;
    EXPECT_EQ(CertificateFrames::parse(good).records,
              (std::vector<CertificateFrames::Record>{{'C', "der"}, {'E', ""}}));
}

// The program's exit kills a child that hangs at once: the run ends without
// waiting for its time-out.
TEST(CertificateChildTest, StopAllEndsAHungChildAtOnce) {
    const QString file = QStringLiteral(DADAV_HANGING_MODULE_DIR "/libpendente-1.so");
    auto listing = std::async(std::launch::async,
                              [&] { return Pkcs11Source({file}, std::chrono::minutes(5)).list(); });
    const auto childRunning = [] {
        QDirIterator tasks(QStringLiteral("/proc/self/task"), QDir::Dirs | QDir::NoDotAndDotDot);
        while (tasks.hasNext()) {
            QFile children(tasks.next() + QStringLiteral("/children"));
            if (children.open(QIODevice::ReadOnly) && !children.readAll().trimmed().isEmpty())
                return true;
        }
        return false;
    };
    ASSERT_TRUE(waitFor(childRunning));
    // The child shows from its fork, a moment before its run registers it: a
    // stopAll in that moment has nothing to kill yet, so it is said again
    // until the run ends (long before the module's five minutes).
    ASSERT_TRUE(waitFor(
        [&] {
            ChildRunner::stopAll();
            return listing.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        },
        60000));
    EXPECT_THAT(listing.get().failures,
                ElementsAre(QStringLiteral("libpendente-1.so (") + file +
                            QStringLiteral("): terminou de forma anormal.")));
}

TEST(NssSourceTest, ListsOnlyTheUserCertificateOfADatabase) {
    QTemporaryDir dir;
    const TestChain chain = makeChain(company(), QStringLiteral("AC Teste"));
    makeNssDatabase(dir.filePath(QStringLiteral("nssdb")), chain.holderPkcs12,
                    QStringLiteral("1234"), chain.authorityDer);

    const CertificateListing listing =
        NssSource({{dir.filePath(QStringLiteral("nssdb")), QStringLiteral("Firefox (perfil x)")},
                   {dir.filePath(QStringLiteral("ausente")), QStringLiteral("Quebrado")}})
            .list();
    ASSERT_EQ(listing.certificates.size(), 1);
    EXPECT_EQ(listing.certificates[0].certificate.der, chain.holderDer);
    EXPECT_EQ(listing.certificates[0].origin, QStringLiteral("Firefox (perfil x)"));
    ASSERT_EQ(listing.failures.size(), 1);
    EXPECT_THAT(listing.failures[0].toStdString(), HasSubstr("Quebrado: não foi possível abrir"));
}

TEST(NssSourceTest, FindsTheUsersDatabasesFromProfilesIni) {
    QTemporaryDir home;
    const auto touch = [&](const QString& folder) {
        QDir().mkpath(home.filePath(folder));
        QFile f(home.filePath(folder + QStringLiteral("/cert9.db")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    touch(QStringLiteral(".pki/nssdb"));
    touch(QStringLiteral(".mozilla/firefox/abc.default-release"));
    touch(QStringLiteral("outro/perfil"));
    QFile ini(home.filePath(QStringLiteral(".mozilla/firefox/profiles.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nStartWithLastProfile=1\n\n"
              "[Profile0]\nName=default-release\nIsRelative=1\nPath=abc.default-release\n\n"
              "[Profile1]\nName=trabalho\nIsRelative=0\nPath=" +
              QFile::encodeName(home.filePath(QStringLiteral("outro/perfil"))) +
              "\n\n[Profile2]\nName=vazio\nIsRelative=1\nPath=nao-existe\n");
    ini.close();
    QStringList labels;
    for (const NssDatabase& db : NssSource::userDatabases(home.path()))
        labels.append(db.label);
    EXPECT_THAT(labels, ElementsAre(QStringLiteral("Banco NSS do usuário (Chrome)"),
                                    QStringLiteral("Firefox (perfil default-release)"),
                                    QStringLiteral("Firefox (perfil trabalho)")));
}

TEST(CertificateSourcesTest, SourceThatHangsIsNamedAndTheOthersStillList) {
    QTemporaryDir dir;
    CertificateStore store(dir.filePath(QStringLiteral("certificados")));
    store.importBytes(makeCertificateDer(company()));
    auto hanging = std::make_shared<BlockingSource>();
    const CertificateListing listing = listCertificates(
        {hanging, std::make_shared<FolderSource>(store.folder())}, std::chrono::milliseconds(300));
    hanging->release();
    EXPECT_THAT(holders(listing), ElementsAre(QStringLiteral(
                                      "EMPRESA TESTE LTDA:11222333000181 @ Pasta do programa")));
    EXPECT_THAT(listing.failures,
                ElementsAre(QStringLiteral("Módulo travado: não respondeu em 1 s.")));
}

// A second request while a listing runs starts none and gets the same answer.
TEST(CertificateSourcesTest, OneListingAtATime) {
    auto hanging = std::make_shared<BlockingSource>();
    const CertificateSourceList sources{hanging};
    QObject first, second;
    QStringList answers;
    for (QObject* receiver : {&first, &second})
        listCertificatesAsync(sources, std::chrono::seconds(30), receiver,
                              [&answers](const CertificateListing& listing) {
                                  answers.append(QString::number(listing.failures.size()));
                              });
    ASSERT_TRUE(waitFor([&] { return hanging->calls() > 0; }));
    hanging->release();
    ASSERT_TRUE(waitFor([&] { return answers.size() == 2; }));
    EXPECT_EQ(hanging->calls(), 1);
    EXPECT_THAT(answers, ElementsAre(QStringLiteral("0"), QStringLiteral("0")));
}

TEST(CertificateSourcesTest, NamesTheSourcesFound) {
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral(".pki/nssdb")));
    QFile f(home.filePath(QStringLiteral(".pki/nssdb/cert9.db")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QStringList names = certificateSourceNames(home.path());
    EXPECT_EQ(names.first(), QStringLiteral("Pasta do programa"));
    EXPECT_TRUE(names.contains(QStringLiteral("Token: softhsm2")))
        << names.join(u',').toStdString();
    EXPECT_EQ(names.last(), QStringLiteral("Banco NSS do usuário (Chrome)"));
}

} // namespace
