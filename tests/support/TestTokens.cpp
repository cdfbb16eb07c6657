// SoftHSM2 tokens and NSS databases for tests (see TestTokens.h).
#include "TestTokens.h"

#include <p11-kit/p11-kit.h>

#include <openssl/x509.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace dadav::test {
namespace {

void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

void run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(10000))
        fail(program + QStringLiteral(" could not be started (is it installed? scripts/setup)"));
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        fail(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) +
             QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll()));
}

QByteArray subjectDer(const QByteArray& der) {
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!x)
        fail(QStringLiteral("not a certificate"));
    unsigned char* out = nullptr;
    const int len = i2d_X509_NAME(X509_get_subject_name(x), &out);
    QByteArray subject(reinterpret_cast<const char*>(out), len);
    OPENSSL_free(out);
    X509_free(x);
    return subject;
}

} // namespace

SoftHsm::SoftHsm(const QString& folder) {
    m_hadPrevious = qEnvironmentVariableIsSet("SOFTHSM2_CONF");
    m_previous = qgetenv("SOFTHSM2_CONF");
    if (!QFile::exists(kSoftHsmModule))
        fail(kSoftHsmModule + QStringLiteral(" is missing (package softhsm2, scripts/setup)"));
    const QString tokens = folder + QStringLiteral("/tokens");
    QDir().mkpath(tokens);
    QFile conf(folder + QStringLiteral("/softhsm2.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write softhsm2.conf"));
    conf.write("directories.tokendir = " + QFile::encodeName(tokens) +
               "\nobjectstore.backend = file\nlog.level = ERROR\n");
    conf.close();
    qputenv("SOFTHSM2_CONF", QFile::encodeName(conf.fileName()));
}

SoftHsm::~SoftHsm() {
    if (m_hadPrevious)
        qputenv("SOFTHSM2_CONF", m_previous);
    else
        qunsetenv("SOFTHSM2_CONF");
}

void SoftHsm::initToken(const QString& label, const QString& pin) {
    run(QStringLiteral("softhsm2-util"),
        {QStringLiteral("--init-token"), QStringLiteral("--free"), QStringLiteral("--label"), label,
         QStringLiteral("--so-pin"), QStringLiteral("0000"), QStringLiteral("--pin"), pin});
}

void SoftHsm::addCertificate(const QString& tokenLabel, const QString& pin, const QByteArray& der,
                             bool privateObject) {
    CK_FUNCTION_LIST* f = p11_kit_module_load(QFile::encodeName(kSoftHsmModule).constData(), 0);
    if (!f || p11_kit_module_initialize(f) != CKR_OK)
        fail(QStringLiteral("SoftHSM2 could not be started"));
    CK_ULONG count = 0;
    f->C_GetSlotList(CK_TRUE, nullptr, &count);
    std::vector<CK_SLOT_ID> ids(count);
    f->C_GetSlotList(CK_TRUE, ids.data(), &count);
    bool written = false;
    for (CK_ULONG i = 0; i < count && !written; ++i) {
        CK_TOKEN_INFO info{};
        f->C_GetTokenInfo(ids[i], &info);
        char* label = p11_kit_space_strdup(info.label, sizeof info.label);
        const bool match = QString::fromUtf8(label) == tokenLabel;
        std::free(label);
        if (!match)
            continue;
        CK_SESSION_HANDLE session = 0;
        QByteArray secret = pin.toUtf8();
        if (f->C_OpenSession(ids[i], CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr,
                             &session) != CKR_OK ||
            f->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(secret.data()),
                       static_cast<CK_ULONG>(secret.size())) != CKR_OK)
            fail(QStringLiteral("cannot log into the SoftHSM2 token ") + tokenLabel);
        CK_OBJECT_CLASS klass = CKO_CERTIFICATE;
        CK_CERTIFICATE_TYPE type = CKC_X_509;
        CK_BBOOL yes = CK_TRUE;
        CK_BBOOL isPrivate = privateObject ? CK_TRUE : CK_FALSE;
        QByteArray value = der;
        QByteArray subject = subjectDer(der);
        char objectLabel[] = "certificado";
        CK_ATTRIBUTE attributes[] = {
            {CKA_CLASS, &klass, sizeof klass},
            {CKA_CERTIFICATE_TYPE, &type, sizeof type},
            {CKA_TOKEN, &yes, sizeof yes},
            {CKA_PRIVATE, &isPrivate, sizeof isPrivate},
            {CKA_LABEL, objectLabel, sizeof objectLabel - 1},
            {CKA_SUBJECT, subject.data(), static_cast<CK_ULONG>(subject.size())},
            {CKA_VALUE, value.data(), static_cast<CK_ULONG>(value.size())}};
        CK_OBJECT_HANDLE object = 0;
        const CK_RV rv = f->C_CreateObject(session, attributes, 7, &object);
        f->C_Logout(session);
        f->C_CloseSession(session);
        if (rv != CKR_OK)
            fail(QStringLiteral("C_CreateObject failed: ") +
                 QString::fromUtf8(p11_kit_strerror(rv)));
        written = true;
    }
    p11_kit_module_finalize(f);
    p11_kit_module_release(f);
    if (!written)
        fail(QStringLiteral("no SoftHSM2 token labelled ") + tokenLabel);
}

void makeNssDatabase(const QString& folder, const QByteArray& pkcs12, const QString& password,
                     const QByteArray& authorityDer) {
    QDir().mkpath(folder);
    const QString db = QStringLiteral("sql:") + folder;
    run(QStringLiteral("certutil"),
        {QStringLiteral("-N"), QStringLiteral("-d"), db, QStringLiteral("--empty-password")});
    const QString p12Path = folder + QStringLiteral("/../titular.p12");
    const QString caPath = folder + QStringLiteral("/../ac.der");
    QFile p12(p12Path), ca(caPath);
    if (!p12.open(QIODevice::WriteOnly) || p12.write(pkcs12) != pkcs12.size() ||
        !ca.open(QIODevice::WriteOnly) || ca.write(authorityDer) != authorityDer.size())
        fail(QStringLiteral("cannot write the files for the NSS database"));
    p12.close();
    ca.close();
    run(QStringLiteral("pk12util"),
        {QStringLiteral("-i"), p12Path, QStringLiteral("-d"), db, QStringLiteral("-W"), password});
    run(QStringLiteral("certutil"),
        {QStringLiteral("-A"), QStringLiteral("-d"), db, QStringLiteral("-n"),
         QStringLiteral("AC Teste"), QStringLiteral("-t"), QStringLiteral("C,,"),
         QStringLiteral("-i"), caPath});
}

} // namespace dadav::test
