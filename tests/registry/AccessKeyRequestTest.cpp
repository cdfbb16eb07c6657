// The access-key answer read by position, and one request against the
// in-process simulator.
#include "registry/AccessKeyRequest.h"
#include "base/AppPaths.h"
#include "base/RuntimeError.h"
#include "net/NetworkError.h"
#include "net/SoapClient.h"
#include "net/SoapTransport.h"
#include "support/SimulatorFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

namespace {

// An answer envelope whose "return" text is record.
QString envelope(const QString& record) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">"
                          "<soap:Body><ns:Transferencia.ecnpjResponse xmlns:ns=\"urn:t\">"
                          "<return>") +
           record.toHtmlEscaped() +
           QStringLiteral("</return></ns:Transferencia.ecnpjResponse></soap:Body></soap:Envelope>");
}

// A record as the server lays it out: IE padded to 20, date, flag, key, CNPJ.
QString record(const QString& date, QChar flag, const QString& key) {
    return QStringLiteral("78045302").leftJustified(20) + date + QStringLiteral(" OPTANTE = ") +
           flag + QStringLiteral(" CHAVE = ") + key + QStringLiteral(" CNPJ = 11222333000181");
}

const QDateTime kDate(QDate(2026, 12, 7), QTime(10, 15, 0));

TEST(AccessKeyAnswer, ReadByPosition) {
    struct Case {
        const char* name;
        QString body;
        bool authorised;
        bool simples;
        QString key;
    };
    const QString full =
        record(QStringLiteral("2026-12-07 10:15:00"), u'S', QStringLiteral("A7K2M9QX"));
    const Case cases[] = {
        {"Simples", envelope(full), true, true, QStringLiteral("A7K2M9QX")},
        {"not Simples",
         envelope(record(QStringLiteral("2026-12-07 10:15:00"), u'N', QStringLiteral("Z3P8W1RT"))),
         true, false, QStringLiteral("Z3P8W1RT")},
        {"lower-case s is not Simples",
         envelope(record(QStringLiteral("2026-12-07 10:15:00"), u's', QStringLiteral("Z3P8W1RT"))),
         true, false, QStringLiteral("Z3P8W1RT")},
        {"Brazilian date form",
         envelope(record(QStringLiteral("07/12/2026 10:15:00"), u'S', QStringLiteral("A7K2M9QX"))),
         true, true, QStringLiteral("A7K2M9QX")},
        {"short record gives a short key", envelope(full.left(64)), true, true,
         QStringLiteral("A7K2")},
        {"record ending before the key", envelope(full.left(51)), true, true, QString()},
        {"NAO_AUTORIZADO", envelope(QStringLiteral("NAO_AUTORIZADO")), false, false, QString()},
        {"lower case anywhere", QStringLiteral("<html>erro: nao_autorizado</html>"), false, false,
         QString()},
        {"inside a full record", envelope(full + QStringLiteral(" Nao_Autorizado")), false, false,
         QString()},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const AccessKeyAnswer a = AccessKey::readAnswer(k.body);
        EXPECT_EQ(a.authorised, k.authorised);
        EXPECT_EQ(a.simples, k.simples);
        EXPECT_EQ(a.key, k.key);
        if (k.authorised)
            EXPECT_EQ(a.serverDate, kDate);
        else
            EXPECT_FALSE(a.serverDate.isValid());
    }
}

TEST(AccessKeyAnswer, UnreadableAnswersRaise) {
    const QString cases[] = {
        QString(),
        QStringLiteral("<html>Internal Server Error</html>"),
        envelope(QString()),
        envelope(QStringLiteral("78045302")),
        envelope(record(QStringLiteral("2026-13-07 10:15:00"), u'S', QStringLiteral("A7K2M9QX"))),
        envelope(record(QStringLiteral("07 dez 2026 10:15:0"), u'S', QStringLiteral("A7K2M9QX"))),
    };
    for (const auto& body : cases) {
        SCOPED_TRACE(body.toStdString());
        EXPECT_THROW(AccessKey::readAnswer(body), RuntimeError);
    }
}

// Records what is sent and answers with a fixed body.
class RecordingSoap : public SoapClient {
public:
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) override {
        m_path = path;
        m_operation = operation;
        m_params = params;
        return m_answer;
    }
    QString m_answer;
    QString m_path, m_operation;
    QList<Soap::SoapParam> m_params;
};

TEST(RequestAccessKey, SendsIeCnpjAndTheFixedKey) {
    RecordingSoap soap;
    soap.m_answer =
        envelope(record(QStringLiteral("2026-12-07 10:15:00"), u'N', QStringLiteral("Z3P8W1RT")));
    const AccessKeyAnswer a =
        requestAccessKey(soap, QStringLiteral("86123452"), QStringLiteral("04.567.891/0001-13"));
    EXPECT_EQ(soap.m_path, QStringLiteral("/orn/server/index.php?wsdl"));
    EXPECT_EQ(soap.m_operation, QStringLiteral("Transferencia.ecnpj"));
    ASSERT_EQ(soap.m_params.size(), 3);
    EXPECT_EQ(soap.m_params[0].name, QStringLiteral("ie"));
    EXPECT_EQ(soap.m_params[0].value, QStringLiteral("86123452"));
    EXPECT_EQ(soap.m_params[1].name, QStringLiteral("cnpj"));
    EXPECT_EQ(soap.m_params[1].value, QStringLiteral("04.567.891/0001-13"));
    EXPECT_EQ(soap.m_params[2].name, QStringLiteral("key"));
    EXPECT_EQ(soap.m_params[2].value, QStringLiteral("!KTRVWXNBQ!"));
    EXPECT_EQ(a.key, QStringLiteral("Z3P8W1RT"));
}

TEST(RequestAccessKey, AgainstTheSimulator) {
    valdoria::SimulatorOptions options;
    const QDateTime now(QDate(2026, 12, 7), QTime(10, 15, 30));
    const auto fixed =
        std::chrono::system_clock::time_point(std::chrono::seconds(now.toSecsSinceEpoch()));
    options.clock = [fixed] {
        return fixed;
    };
    dadav::test::SimulatorFixture server(options);
    server.useAsApplicationFolder();
    SoapTransport soap;

    // Known company with a key on record, punctuation as the window sends it.
    AccessKeyAnswer a =
        requestAccessKey(soap, QStringLiteral("78045302"), QStringLiteral("11.222.333/0001-81"));
    EXPECT_TRUE(a.authorised);
    EXPECT_EQ(a.serverDate, now);
    EXPECT_TRUE(a.simples);
    EXPECT_EQ(a.key, QStringLiteral("A7K2M9QX"));

    // A company without a key gets one, and the same one again.
    a = requestAccessKey(soap, QStringLiteral("84902764"), QStringLiteral("09.341.257/0002-62"));
    EXPECT_TRUE(a.authorised);
    EXPECT_FALSE(a.simples);
    EXPECT_EQ(a.key.size(), 8);
    EXPECT_EQ(
        requestAccessKey(soap, QStringLiteral("84902764"), QStringLiteral("09341257000262")).key,
        a.key);

    // IE and CNPJ that do not belong together.
    EXPECT_FALSE(
        requestAccessKey(soap, QStringLiteral("78045302"), QStringLiteral("04.567.891/0001-13"))
            .authorised);

    // Nobody listening.
    server.writeIni(QStringLiteral("127.0.0.1"), QStringLiteral("1"));
    EXPECT_THROW(
        requestAccessKey(soap, QStringLiteral("78045302"), QStringLiteral("11222333000181")),
        NetworkError);
}

} // namespace
