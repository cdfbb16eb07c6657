// Every SOAP question the client asks, sent through the real transport to the
// in-process simulator, with the answer read the way the client reads it and
// the request checked byte for byte in the simulator's raw log.
#include "WireFixture.h"

#include "accountant/AccountantForm.h"
#include "history/TransmissionList.h"
#include "history/VersionAnswer.h"
#include "store/ContadorRepository.h"

namespace dadav::e2e {
namespace {

const QString kVer2 = QStringLiteral("Transferencia.ver2");
const QString kEcnpj = QStringLiteral("Transferencia.ecnpj");
const QString kContador = QStringLiteral("Transferencia.contador");

class SoapRoundTrip : public WireTest {
protected:
    void SetUp() override { startSimulator(); }
};

TEST_F(SoapRoundTrip, VersionCallGivesDateYearsVersionAndListOrRejectsTheKey) {
    struct Case {
        const char* ie;
        const char* key;
        bool known;
    };
    const Case cases[] = {
        {"78045302", "A7K2M9QX", true},
        {"78045302", "Z3P8W1RT", false}, // key of another taxpayer
        {"12345678", "A7K2M9QX", false}, // IE the server does not know
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ie + std::string("/") + c.key);
        const QString answer = ver2(QString::fromLatin1(c.ie), QString::fromLatin1(c.key));
        expectSoapRequest(QStringLiteral("/orn/server/index.php?wsdl"), kVer2,
                          kEnvelopeHead +
                              QStringLiteral("<Transferencia.ver2 xmlns=\"\">"
                                             "<strNome>%1</strNome>"
                                             "<strDiretorioDestino>vbs"
                                             "</strDiretorioDestino>"
                                             "<Chave>%2</Chave>"
                                             "</Transferencia.ver2>")
                                  .arg(QString::fromLatin1(c.ie), QString::fromLatin1(c.key)) +
                              kEnvelopeTail);

        // Read as the update notice and the list read it.
        const QString ret = Soap::GetResult(answer, QStringLiteral("return"));
        const History::ListAnswer list = History::readTransmissionList(ret);
        if (!c.known) {
            EXPECT_TRUE(History::keyRejected(answer));
            EXPECT_EQ(list.kind, History::ListAnswerKind::InvalidKey);
            continue;
        }
        EXPECT_FALSE(History::keyRejected(answer));
        const History::VersionFields fields = History::readVersionFields(ret);
        EXPECT_EQ(fields.dataServidor, simulatorNow());
        EXPECT_EQ(fields.anoTrabalho, QStringLiteral("2025/2026"));
        EXPECT_EQ(fields.novaVersao, QStringLiteral("1.16.01").leftJustified(20));
        EXPECT_EQ(list.kind, History::ListAnswerKind::Transmissions) << list.reason.toStdString();
        EXPECT_TRUE(list.rows.isEmpty());
    }
}

TEST_F(SoapRoundTrip, AccessKeyRequestGivesDateSimplesFlagAndKeyOrRefuses) {
    // The new-taxpayer window sends the CNPJ with its punctuation.
    const auto ecnpj = [this](const QString& ie, const QString& cnpj) {
        return call(Soap::ServicePath, kEcnpj,
                    {{QStringLiteral("ie"), ie},
                     {QStringLiteral("cnpj"), cnpj},
                     {QStringLiteral("key"), QStringLiteral("!KTRVWXNBQ!")}});
    };

    const QString answer = ecnpj(QStringLiteral("77310088"), QStringLiteral("27.891.543/0001-00"));
    expectSoapRequest(QStringLiteral("/orn/server/index.php?wsdl"), kEcnpj,
                      kEnvelopeHead +
                          QStringLiteral("<Transferencia.ecnpj xmlns=\"\"><ie>77310088</ie>"
                                         "<cnpj>27.891.543/0001-00</cnpj><key>!KTRVWXNBQ!</key>"
                                         "</Transferencia.ecnpj>") +
                          kEnvelopeTail);
    ASSERT_FALSE(answer.contains(QStringLiteral("NAO_AUTORIZADO"), Qt::CaseInsensitive));
    const QString ret = Soap::GetResult(answer, QStringLiteral("return"));
    EXPECT_EQ(History::parseServerDateTime(chars(ret, 21, 39)), simulatorNow());
    EXPECT_EQ(chars(ret, 51, 51), QStringLiteral("S"));
    const QString key = chars(ret, 61, 68);
    ASSERT_EQ(key.size(), 8);
    EXPECT_EQ(key.toStdString(), sim().company("77310088")->chave);

    // The key just issued opens the taxpayer's list.
    EXPECT_FALSE(History::keyRejected(ver2(QStringLiteral("77310088"), key)));

    const QString refused = ecnpj(QStringLiteral("77310088"), QStringLiteral("11.222.333/0001-81"));
    EXPECT_TRUE(refused.contains(QStringLiteral("NAO_AUTORIZADO"), Qt::CaseInsensitive));
}

TEST_F(SoapRoundTrip, AccountantRegistrationReachesTheServerWithEveryField) {
    ContadorRow row;
    row.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    row.cont_num_crc = QStringLiteral("RJ-012345/O-6");
    row.cont_razao_nome = QStringLiteral("D'Ávila & Filhos <Contábil>");
    row.cont_nom_endereco = QStringLiteral("Rua São José");
    row.cont_num_predial = QStringLiteral("12");
    row.cont_dsc_complemento = QString();
    row.cont_nom_bairro = QStringLiteral("Centro");
    row.cont_nom_cidade = QStringLiteral("Valdoria");
    row.cont_nom_estado = QStringLiteral("RJ");
    row.cont_num_telefone = QStringLiteral("2555-____");
    row.cont_num_cep = QStringLiteral("22410-002");
    row.cont_email = QStringLiteral("escritorio@example.com");
    const auto params = AccountantForm::registrationParams(row);

    call(Soap::AccountantServicePath, kContador, params);

    // Each parameter as it must appear in the envelope and as the server keeps it.
    struct Field {
        const char* name;
        const char* onTheWire;
        const char* stored;
    };
    const Field fields[] = {
        {"thisCont_cpf_cnpj", "123.456.789-09", "123.456.789-09"},
        {"thisCont_num_crc", "RJ-012345/O-6", "RJ-012345/O-6"},
        {"thisCont_razao_nome", "D''Ávila &amp; Filhos &lt;Contábil&gt;",
         "D''Ávila & Filhos <Contábil>"},
        {"thisCont_nom_endereco", "Rua São José", "Rua São José"},
        {"thisCont_num_endereco", "12", "12"},
        {"thisCont_complemento", "", ""},
        {"thisCont_nom_bairro", "Centro", "Centro"},
        {"thisCont_nom_cidade", "Valdoria", "Valdoria"},
        {"thisCont_nom_estado", "RJ", "RJ"},
        {"thisCont_num_telefone", "2555-____", "2555-____"},
        {"thisCont_num_cep", "22410-002", "22410-002"},
        {"thisCont_email", "escritorio@example.com", "escritorio@example.com"},
    };
    QString envelope = kEnvelopeHead + QStringLiteral("<Transferencia.contador xmlns=\"\">");
    std::map<std::string, std::string> expected;
    for (const Field& f : fields) {
        envelope += QStringLiteral("<%1>%2</%1>")
                        .arg(QString::fromUtf8(f.name), QString::fromUtf8(f.onTheWire));
        expected[f.name] = f.stored;
    }
    envelope += QStringLiteral("</Transferencia.contador>") + kEnvelopeTail;
    expectSoapRequest(QStringLiteral("/orn/server/index_dapi.php?wsdl"), kContador, envelope);
    EXPECT_EQ(sim().accountant(), expected);
}

} // namespace
} // namespace dadav::e2e
