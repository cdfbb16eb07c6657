// The company import without its window: the consistency rule, and the
// import loop against scripted server answers and a temporary database.
#include "registry/CompanyImport.h"

#include "base/AppPaths.h"
#include "net/SoapClient.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/FakePrompter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

namespace {

using AccessExport::Company;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(CompanyImport, InconsistentRows) {
    struct Case {
        const char* what;
        Company company;
        bool inconsistent;
    };
    const auto c = [](const char* name, const char* cnpj) {
        return Company{QStringLiteral("78045302"), QString::fromUtf8(name),
                       QString::fromLatin1(cnpj), QStringLiteral("4721-1/02")};
    };
    const Case cases[] = {
        {"sound", c("Padaria ", "11.222.333/0001-81"), false},
        {"CNPJ digits without punctuation", c("Padaria ", "11222333000181"), false},
        {"wrong second check digit", c("Padaria ", "11.222.333/0001-82"), true},
        {"name of blanks only", c("    ", "11.222.333/0001-81"), true},
        {"missing name read as one blank", c(" ", "11.222.333/0001-81"), true},
        {"name of one letter", c(" X ", "11.222.333/0001-81"), false},
        {"blank name and wrong CNPJ", c(" ", "36.720.915/0001-10"), true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(CompanyImport::isInconsistent(k.company), k.inconsistent);
    }
}

// Answers each call from a script and records the IE of every request.
class ScriptedSoap : public SoapClient {
public:
    void answer(const QString& body) { m_script.push_back(body); }
    QString call(const QString&, const QString&, const QList<Soap::SoapParam>& params) override {
        m_asked << (params.isEmpty() ? QString() : params.first().value);
        if (m_script.empty()) {
            ADD_FAILURE() << "unexpected key request";
            return QString();
        }
        const QString body = m_script.front();
        m_script.pop_front();
        return body;
    }
    const QStringList& asked() const { return m_asked; }

private:
    std::deque<QString> m_script;
    QStringList m_asked;
};

QString keyAnswer(const QString& key) {
    const QString record = QStringLiteral("78045302").leftJustified(20) +
                           QStringLiteral("2026-12-07 10:15:00 OPTANTE = N CHAVE = ") + key;
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">"
                          "<soap:Body><ns:Transferencia.ecnpjResponse xmlns:ns=\"urn:t\">"
                          "<return>") +
           record +
           QStringLiteral("</return></ns:Transferencia.ecnpjResponse></soap:Body>"
                          "</soap:Envelope>");
}

class ImportLoop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        AppPaths::setApplicationFolder(folder.path());
        QFile ini(AppPaths::IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[servidor]\nhost=gia.valdoria.test\nport=8080\n");
        // Valid all through December 2026.
        certificate.validFrom = QDateTime(QDate(2026, 1, 1), QTime(0, 0));
        certificate.validTo = QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59));
    }

    static Company company(const QString& ie, const QString& name) {
        return {ie, name, QStringLiteral("11.222.333/0001-81"), QStringLiteral("4721-1/02")};
    }

    QTemporaryDir folder;
    Certificate certificate;
    ScriptedSoap soap;
    FakePrompter prompter;
};

TEST_F(ImportLoop, UnreadableAnswerStopsWithTheCommunicationMessage) {
    soap.answer(keyAnswer(QStringLiteral("A7K2M9QX")));
    soap.answer(QStringLiteral("<html>502 Bad Gateway</html>"));
    LocalDb db;
    const auto outcome =
        CompanyImport::run({company(QStringLiteral("78045302"), QStringLiteral("Padaria ")),
                            company(QStringLiteral("86123452"), QStringLiteral("Loja ")),
                            company(QStringLiteral("77310088"), QStringLiteral("Bar "))},
                           certificate, soap, db, prompter);

    EXPECT_EQ(outcome, CompanyImport::Outcome::CommunicationStop);
    EXPECT_EQ(prompter.texts(),
              QStringList{QStringLiteral(
                  "Detectamos que há um problema de comunicação com a URL "
                  "http://gia.valdoria.test. \r\n\r\nVerifique sua conectividade de Internet. "
                  "\r\n\r\nObs: Recomendamos solicitar assistência ao responsável pela "
                  "manutenção da rede")});
    EXPECT_THAT(soap.asked(), ElementsAre("78045302", "86123452"));
    const QList<ContribuinteRow> rows = listContribuintes(db);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].Chave, QStringLiteral("A7K2M9QX"));
}

TEST_F(ImportLoop, DatabaseFailureStopsWithTheErrorReport) {
    soap.answer(keyAnswer(QStringLiteral("A7K2M9QX")));
    LocalDb db;
    db.exec(QStringLiteral("DROP TABLE tblContribuinte"), QStringLiteral("t"));
    const auto outcome =
        CompanyImport::run({company(QStringLiteral("78045302"), QStringLiteral("Padaria ")),
                            company(QStringLiteral("86123452"), QStringLiteral("Loja "))},
                           certificate, soap, db, prompter);

    EXPECT_EQ(outcome, CompanyImport::Outcome::DatabaseStop);
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_THAT(prompter.texts()[0].toStdString(), ::testing::HasSubstr("tblContribuinte"));
    EXPECT_THAT(soap.asked(), ElementsAre("78045302")) << "no company after the failure is asked";
}

TEST_F(ImportLoop, QuotesInAnyValueAreStoredAsRead) {
    soap.answer(keyAnswer(QStringLiteral("Z3P8W1RT")));
    LocalDb db;
    const Company quoted{QStringLiteral("86'123452"), QStringLiteral("D'Ávila "),
                         QStringLiteral("04.567.891/0001-13'"), QStringLiteral("4781-4/00'")};
    int progressCalls = 0;
    const auto outcome = CompanyImport::run({quoted}, certificate, soap, db, prompter,
                                            [&](int index, int count, const Company& c) {
                                                EXPECT_EQ(index, progressCalls);
                                                EXPECT_EQ(count, 1);
                                                EXPECT_EQ(c, quoted);
                                                ++progressCalls;
                                            });

    EXPECT_EQ(outcome, CompanyImport::Outcome::Completed);
    EXPECT_EQ(progressCalls, 1);
    EXPECT_EQ(prompter.texts(), QStringList{QStringLiteral("Importação Concluída")});
    const QList<ContribuinteRow> rows = listContribuintes(db);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].IE, quoted.IE);
    EXPECT_EQ(rows[0].RazaoSocial, quoted.RazaoSocial);
    EXPECT_EQ(rows[0].Cnpj, quoted.Cnpj);
    EXPECT_EQ(rows[0].Cnae, quoted.Cnae);
}

TEST_F(ImportLoop, ValidityIsJudgedOnTheServerDateNotTheLocalClock) {
    // The server says 2026-12-07; a certificate that ended the day before stops
    // the import whatever the machine's own clock says.
    certificate.validTo = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59));
    soap.answer(keyAnswer(QStringLiteral("A7K2M9QX")));
    LocalDb db;
    const auto outcome =
        CompanyImport::run({company(QStringLiteral("78045302"), QStringLiteral("Padaria ")),
                            company(QStringLiteral("86123452"), QStringLiteral("Loja "))},
                           certificate, soap, db, prompter);

    EXPECT_EQ(outcome, CompanyImport::Outcome::CertificateStop);
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{QStringLiteral("Certificado expirado, contate seu fornecedor"),
                                    QString(), MsgIcon::None, MsgButtons::Ok}));
    EXPECT_THAT(listContribuintes(db), IsEmpty());
}

} // namespace
