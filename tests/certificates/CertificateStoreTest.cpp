// The certificate store over a temporary folder: import of DER, PEM and
// PKCS#12 files, what is (and is not) written, listing and removal.
#include "certificates/CertificateStore.h"
#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using dadav::test::makeCertificateDer;
using dadav::test::makePkcs12;
using dadav::test::TestCertificateOptions;
using Reason = CertificateImportError::Reason;

TestCertificateOptions holder(const QString& name, int daysLeft = 300) {
    TestCertificateOptions s;
    s.commonName = name;
    s.notBefore = QDateTime::currentDateTimeUtc().addDays(-10);
    s.notAfter = QDateTime::currentDateTimeUtc().addDays(daysLeft);
    return s;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class CertificateStoreTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString folder() const { return tmp.filePath(QStringLiteral("certificados")); }
    QString source(const QString& name) const { return tmp.filePath(name); }
};

TEST_F(CertificateStoreTest, ImportsEveryFormatAndKeepsOnlyTheCertificate) {
    CertificateStore store(folder());
    EXPECT_TRUE(store.list().isEmpty()); // no folder yet: an empty store

    QByteArray p12Der;
    const QByteArray p12 = makePkcs12(holder(QStringLiteral("PADARIA:11222333000181")),
                                      QStringLiteral("s3nh@"), &p12Der);
    QByteArray legacyDer;
    const QByteArray legacy =
        makePkcs12(holder(QStringLiteral("ANTIGA:27891543000100")), QStringLiteral("velha"),
                   &legacyDer, dadav::test::Pkcs12Encryption::Legacy);
    const QByteArray der = makeCertificateDer(holder(QStringLiteral("MARIA:12345678909")));
    const QByteArray pemDer = makeCertificateDer(holder(QStringLiteral("OFICINA:04567891000113")));
    // A PEM file may carry other blocks before the certificate.
    const QByteArray pem = "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n" +
                           dadav::test::derToPem(pemDer);

    struct Case {
        const char* file;
        QByteArray bytes;
        QString password;
        QByteArray expectedDer;
        bool needsPassword;
    };
    const Case cases[] = {
        {"empresa.pfx", p12, QStringLiteral("s3nh@"), p12Der, true},
        {"antiga.p12", legacy, QStringLiteral("velha"), legacyDer, true},
        {"contador.cer", der, QString(), der, false},
        {"oficina.pem", pem, QString(), pemDer, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.file);
        writeFile(source(QString::fromLatin1(k.file)), k.bytes);
        EXPECT_EQ(CertificateStore::needsPassword(k.bytes), k.needsPassword);
        const auto entry = store.importFile(source(QString::fromLatin1(k.file)), k.password);
        EXPECT_EQ(entry.certificate.der, k.expectedDer);
        const QByteArray stored =
            readAll(QDir(folder()).filePath(entry.id + QStringLiteral(".pem")));
        EXPECT_TRUE(stored.startsWith("-----BEGIN CERTIFICATE-----\n"));
        EXPECT_FALSE(stored.contains("PRIVATE KEY"));
    }

    // Nothing but the four certificates was written.
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 4);
    const auto listed = store.list();
    ASSERT_EQ(listed.size(), 4);
    EXPECT_EQ(listed[0].certificate.holderName, QStringLiteral("ANTIGA:27891543000100"));
    EXPECT_EQ(listed[1].certificate.holderName, QStringLiteral("MARIA:12345678909"));
    EXPECT_EQ(listed[2].certificate.holderName, QStringLiteral("OFICINA:04567891000113"));
    EXPECT_EQ(listed[3].certificate.holderName, QStringLiteral("PADARIA:11222333000181"));
    EXPECT_EQ(listed[3].certificate.der, p12Der);
}

// Files exported with their chain keep the holder's certificate, whatever
// the order of the chain; a file with several holders asks which.
TEST_F(CertificateStoreTest, ChainsImportTheHoldersCertificate) {
    using dadav::test::derToPem;
    const dadav::test::TestChain chain = dadav::test::makeChain(
        holder(QStringLiteral("PADARIA:11222333000181")), QStringLiteral("AC Teste"));
    const QByteArray ca = chain.authorityDer, leaf = chain.holderDer;
    struct Case {
        const char* file;
        QByteArray bytes;
        QString password;
    };
    const Case cases[] = {
        {"cadeia.pem", derToPem(ca) + derToPem(leaf), QString()},
        {"cadeia-invertida.pem", derToPem(leaf) + derToPem(ca), QString()},
        {"cadeia.p7b", dadav::test::makePkcs7({ca, leaf}, true), QString()},
        {"cadeia-der.p7b", dadav::test::makePkcs7({ca, leaf}, false), QString()},
        {"sem-chave.pfx", dadav::test::makeKeylessPkcs12({ca, leaf}, QStringLiteral("1")),
         QStringLiteral("1")},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.file);
        CertificateStore store(
            tmp.filePath(QString::fromLatin1(k.file) + QStringLiteral(".store")));
        writeFile(source(QString::fromLatin1(k.file)), k.bytes);
        bool asked = false;
        const auto entry = store.importFile(source(QString::fromLatin1(k.file)), k.password,
                                            [&](const QList<Certificate>&) {
                                                asked = true;
                                                return std::optional<qsizetype>(0);
                                            });
        EXPECT_EQ(entry.certificate.der, leaf);
        EXPECT_FALSE(asked);
        EXPECT_EQ(store.list().size(), 1);
    }

    const QByteArray other = makeCertificateDer(holder(QStringLiteral("MARIA:12345678909")));
    const QByteArray two = derToPem(ca) + derToPem(leaf) + derToPem(other);
    CertificateStore store(folder());
    QStringList offered;
    const auto pickSecond = [&](const QList<Certificate>& candidates) {
        for (const Certificate& c : candidates)
            offered << c.holderName;
        return std::optional<qsizetype>(1);
    };
    EXPECT_EQ(store.importBytes(two, QString(), pickSecond).certificate.der, other);
    EXPECT_EQ(offered, (QStringList{QStringLiteral("PADARIA:11222333000181"),
                                    QStringLiteral("MARIA:12345678909")}));
    try {
        store.importBytes(two, QString(),
                          [](const QList<Certificate>&) { return std::optional<qsizetype>(); });
        ADD_FAILURE() << "a cancelled choice imported";
    } catch (const CertificateImportError& e) {
        EXPECT_EQ(e.reason(), Reason::Cancelled);
    }
    EXPECT_EQ(store.list().size(), 1);
}

TEST_F(CertificateStoreTest, RefusedImportsWriteNothing) {
    CertificateStore store(folder());
    const QByteArray p12 = makePkcs12(holder(QStringLiteral("PADARIA")), QStringLiteral("certa"));
    const QByteArray der = makeCertificateDer(holder(QStringLiteral("MARIA")));
    struct Case {
        const char* name;
        QByteArray bytes;
        QString password;
        Reason reason;
    };
    const Case cases[] = {
        {"wrong password", p12, QStringLiteral("errada"), Reason::WrongPassword},
        {"no password", p12, QString(), Reason::WrongPassword},
        {"text", QByteArray("isto não é um certificado"), QString(), Reason::NotACertificate},
        {"cut short", der.left(der.size() / 2), QString(), Reason::NotACertificate},
        {"empty PEM", QByteArray("-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n"),
         QString(), Reason::NotACertificate},
        {"empty", QByteArray(), QString(), Reason::NotACertificate},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        try {
            store.importBytes(k.bytes, k.password);
            ADD_FAILURE() << "imported";
        } catch (const CertificateImportError& e) {
            EXPECT_EQ(e.reason(), k.reason);
            EXPECT_FALSE(e.description().isEmpty());
        }
    }
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).isEmpty());

    // Missing and oversized files.
    EXPECT_THROW(store.importFile(source(QStringLiteral("nao-existe.cer"))),
                 CertificateImportError);
    writeFile(source(QStringLiteral("grande.cer")),
              QByteArray(CertificateStore::kMaxFileSize + 1, '0'));
    try {
        store.importFile(source(QStringLiteral("grande.cer")));
        ADD_FAILURE() << "imported";
    } catch (const CertificateImportError& e) {
        EXPECT_EQ(e.reason(), Reason::Unreadable);
    }
}

TEST_F(CertificateStoreTest, SameCertificateTwiceIsOneEntryAndRemoveDeletesIt) {
    CertificateStore store(folder());
    const QByteArray der = makeCertificateDer(holder(QStringLiteral("MARIA")));
    const auto first = store.importBytes(der);
    const auto second = store.importBytes(dadav::test::derToPem(der));
    EXPECT_EQ(first.id, second.id);
    ASSERT_EQ(store.list().size(), 1);

    // Damaged and foreign files in the folder are not certificates.
    writeFile(QDir(folder()).filePath(QStringLiteral("estragado.pem")),
              "-----BEGIN CERTIFICATE-----\nQUJD\n-----END CERTIFICATE-----\n");
    writeFile(QDir(folder()).filePath(QStringLiteral("leia-me.txt")), der);
    EXPECT_EQ(store.list().size(), 1);

    // A name that leads outside the store deletes nothing.
    writeFile(tmp.filePath(QStringLiteral("fora.pem")), "x");
    store.remove(QStringLiteral("../fora"));
    EXPECT_TRUE(QFile::exists(tmp.filePath(QStringLiteral("fora.pem"))));

    store.remove(first.id);
    EXPECT_TRUE(store.list().isEmpty());
    store.remove(first.id); // already gone: not an error
}

TEST_F(CertificateStoreTest, WriteFailureIsReported) {
    // The store's folder is a file: nothing can be written into it.
    writeFile(folder(), "not a folder");
    CertificateStore store(folder());
    try {
        store.importBytes(makeCertificateDer(holder(QStringLiteral("MARIA"))));
        ADD_FAILURE() << "imported";
    } catch (const CertificateImportError& e) {
        EXPECT_EQ(e.reason(), Reason::WriteFailed);
    }
}

} // namespace
