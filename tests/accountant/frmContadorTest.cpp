// The accountant window against the in-process server simulator and a
// temporary application folder: what the server receives, what is stored,
// which messages the user sees, and the window's states.
#include "accountant/frmContador.h"

#include "base/AppPaths.h"
#include "net/SoapTransport.h"
#include "platform/BusyIndicator.h"
#include "platform/MaskedEdit.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/LocalDb.h"
#include "support/AccessibilityCheck.h"
#include "support/FakePrompter.h"
#include "support/SimulatorFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QString kTitle = QStringLiteral("VAV-UVOD - RJ");

// The connection message as the user reads it, written out here on its own.
QString connectionText(int code) {
    return QStringLiteral("Falha de conexão - Cód ") + QString::number(code) +
           QStringLiteral(", \r\nfavor entrar em contato com seu administrador de redes para "
                          "verificação de regras no seu firewall ou proxy. \r\n\r\nVerifique "
                          "também suas configurações de antivírus.\r\n\r\nO sistema deverá se "
                          "comunicar com a URL http://www.valdoria.rj.gov.br/");
}

Message connectionBox(int code) {
    return {connectionText(code), kTitle, MsgIcon::Critical, MsgButtons::Ok};
}

const Message kSuccess{QStringLiteral("Contador cadastrado com sucesso"), kTitle,
                       MsgIcon::Information, MsgButtons::Ok};

// A company accountant the checks accept.
ContadorRow validRow() {
    return {QStringLiteral("11.222.333/0001-81"),
            QStringLiteral("RJ-012345/O-6"),
            QStringLiteral("Silva Contabilidade"),
            QStringLiteral("Rua São João"),
            QStringLiteral("100"),
            QStringLiteral("sala 2"),
            QStringLiteral("Centro"),
            QStringLiteral("Valdoria"),
            QStringLiteral("RJ"),
            QStringLiteral("2222-3333"),
            QStringLiteral("20000-000"),
            QStringLiteral("contato@silva.com.br")};
}

// A port on 127.0.0.1 where nobody listens.
quint16 closedPort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// What a screen reader does when its user activates a control's action.
void accessibleAction(QWidget* control, const QString& action) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(iface, nullptr);
    ASSERT_NE(iface->actionInterface(), nullptr);
    ASSERT_TRUE(iface->actionInterface()->actionNames().contains(action));
    iface->actionInterface()->doAction(action);
}

class AccountantWindow : public ::testing::Test {
protected:
    void SetUp() override {
        sim.useAsApplicationFolder();
        context.prompter = &prompter;
        context.soap = &soap;
        context.windows = &registry;
        registry.registerWindow<frmContador>();
    }

    void TearDown() override {
        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    frmContador* open() { return qobject_cast<frmContador*>(registry.show(kName)); }
    frmContador* loaded() const { return qobject_cast<frmContador*>(registry.loaded(kName)); }

    static void fill(frmContador* w, const ContadorRow& r) {
        if (w->txtCNPJCPF->isEnabled())
            w->txtCNPJCPF->setMaskedText(r.cont_cpf_cnpj);
        w->txtCRC->setText(r.cont_num_crc);
        w->txtRazaoSocial->setText(r.cont_razao_nome);
        w->txtLogradouro->setText(r.cont_nom_endereco);
        w->txtNumero->setText(r.cont_num_predial);
        w->txtComplemento->setText(r.cont_dsc_complemento);
        w->txtBairro->setText(r.cont_nom_bairro);
        w->txtCidade->setText(r.cont_nom_cidade);
        w->txtUF->setText(r.cont_nom_estado);
        w->txtTelefone->setMaskedText(r.cont_num_telefone);
        w->txtCEP->setMaskedText(r.cont_num_cep);
        w->txtEmail->setText(r.cont_email);
    }

    // Rows of tblContador as stored, read past the functions under test.
    static QList<ContadorRow> storedRows() {
        LocalDb db;
        QList<ContadorRow> rows;
        QSqlQuery q = db.exec(QStringLiteral("SELECT * FROM tblContador"), QStringLiteral("t"));
        while (q.next()) {
            ContadorRow r;
            r.cont_cpf_cnpj = q.value(QStringLiteral("cont_cpf_cnpj")).toString();
            r.cont_num_crc = q.value(QStringLiteral("cont_num_crc")).toString();
            r.cont_razao_nome = q.value(QStringLiteral("cont_razao_nome")).toString();
            r.cont_nom_endereco = q.value(QStringLiteral("cont_nom_endereco")).toString();
            r.cont_num_predial = q.value(QStringLiteral("cont_num_predial")).toString();
            r.cont_dsc_complemento = q.value(QStringLiteral("cont_dsc_complemento")).toString();
            r.cont_nom_bairro = q.value(QStringLiteral("cont_nom_bairro")).toString();
            r.cont_nom_cidade = q.value(QStringLiteral("cont_nom_cidade")).toString();
            r.cont_nom_estado = q.value(QStringLiteral("cont_nom_estado")).toString();
            r.cont_num_telefone = q.value(QStringLiteral("cont_num_telefone")).toString();
            r.cont_num_cep = q.value(QStringLiteral("cont_num_cep")).toString();
            r.cont_email = q.value(QStringLiteral("cont_email")).toString();
            rows << r;
        }
        return rows;
    }

    static void storeRow(const ContadorRow& r) {
        LocalDb db;
        replaceContador(db, r);
    }

    // A file at the database's place that is not a database: every open fails.
    void breakDatabase() { sim.writeFile(QStringLiteral("dadav.mdb"), QByteArray(4096, 'x')); }

    std::map<std::string, std::string> serverAccountant() { return sim.simulator().accountant(); }

    static std::string utf8(const QString& s) { return s.toStdString(); }

    const QString kName = QStringLiteral("frmContador");
    dadav::test::SimulatorFixture sim;
    FakePrompter prompter;
    SoapTransport soap;
    AppContext context;
    WindowRegistry registry{context};
};

TEST_F(AccountantWindow, NewAccountantIsRegisteredStoredAndWindowCloses) {
    frmContador* w = open();
    ASSERT_NE(w, nullptr);
    fill(w, validRow());
    // Rows appear behind the window's back: after OK only the new one remains.
    {
        LocalDb db;
        for (int i = 0; i < 2; ++i)
            db.exec(QStringLiteral("INSERT INTO tblContador (cont_cpf_cnpj) VALUES ('z')"),
                    QStringLiteral("t"));
    }

    w->btnOK->click();

    EXPECT_THAT(prompter.messages(), ElementsAre(kSuccess));
    EXPECT_THAT(storedRows(), ElementsAre(validRow()));
    EXPECT_EQ(loaded(), nullptr) << "the window closes after success";
    const auto server = serverAccountant();
    EXPECT_EQ(server.at("thisCont_cpf_cnpj"), "11.222.333/0001-81");
    EXPECT_EQ(server.at("thisCont_razao_nome"), "Silva Contabilidade");
    EXPECT_EQ(server.at("thisCont_num_endereco"), "100");
    EXPECT_EQ(server.at("thisCont_email"), "contato@silva.com.br");
}

TEST_F(AccountantWindow, ServerHearsFirstEvenWhenACheckRefuses) {
    struct Case {
        const char* what;
        void (*spoil)(ContadorRow&);
        QString erroMsg;
    };
    const Case cases[] = {
        {"wrong CNPJ",
         [](ContadorRow& r) { r.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-80"); },
         QStringLiteral("Documento CNPJ Informado incorretamente")},
        {"short e-mail", [](ContadorRow& r) { r.cont_email = QStringLiteral("a@b.c"); },
         QStringLiteral("Favor digitar um e-mail")},
        {"CEP incomplete", [](ContadorRow& r) { r.cont_num_cep = QStringLiteral("20000-00"); },
         QStringLiteral("Favor digitar o CEP corretamente")},
        {"state in lower case", [](ContadorRow& r) { r.cont_nom_estado = QStringLiteral("rj"); },
         QStringLiteral("Favor digitar o UF corretamente.  Ex: SP, RJ, PR, MG (em maiúsculo)")},
    };
    frmContador* w = open();
    for (const Case& c : cases) {
        ContadorRow row = validRow();
        c.spoil(row);
        row.cont_razao_nome = QString::fromLatin1(c.what);
        fill(w, row);
        w->btnOK->click();
        EXPECT_EQ(w->erroMsg->text(), c.erroMsg) << c.what;
        EXPECT_EQ(serverAccountant().at("thisCont_razao_nome"), c.what);
        EXPECT_EQ(serverAccountant().at("thisCont_cpf_cnpj"), utf8(w->txtCNPJCPF->maskedText()));
        EXPECT_EQ(loaded(), w) << c.what << ": the window stays open";
        EXPECT_TRUE(w->isVisible()) << c.what;
    }
    prompter.expectNoMessages();
    EXPECT_THAT(storedRows(), IsEmpty());
}

TEST_F(AccountantWindow, ApostrophesGoDoubledToServerAndOnceToTable) {
    frmContador* w = open();
    ContadorRow row = validRow();
    row.cont_razao_nome = QStringLiteral("D'Ávila & <Filhos>");
    row.cont_nom_bairro = QStringLiteral("Sant'Ana");
    fill(w, row);
    w->btnOK->click();

    EXPECT_THAT(prompter.messages(), ElementsAre(kSuccess));
    EXPECT_EQ(serverAccountant().at("thisCont_razao_nome"),
              utf8(QStringLiteral("D''Ávila & <Filhos>")));
    EXPECT_EQ(serverAccountant().at("thisCont_nom_bairro"), "Sant''Ana");
    const std::string raw = sim.simulator().rawRequests().back();
    EXPECT_NE(raw.find(utf8(QStringLiteral("<thisCont_razao_nome>D''Ávila &amp; &lt;Filhos&gt;"
                                           "</thisCont_razao_nome>"))),
              std::string::npos);
    EXPECT_NE(raw.find("/orn/server/index_dapi.php?wsdl"), std::string::npos);
    EXPECT_THAT(storedRows(), ElementsAre(row));
}

TEST_F(AccountantWindow, UntouchedTelephoneIsSentAndStoredWithPlaceholders) {
    frmContador* w = open();
    ContadorRow row = validRow();
    row.cont_num_telefone.clear();
    fill(w, row);
    EXPECT_EQ(w->txtTelefone->maskedText(), QStringLiteral("____-____"));
    w->btnOK->click();

    EXPECT_THAT(prompter.messages(), ElementsAre(kSuccess));
    EXPECT_EQ(serverAccountant().at("thisCont_num_telefone"), "____-____");
    const QList<ContadorRow> rows = storedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].cont_num_telefone, QStringLiteral("____-____"));
}

// Takes the offer to cancel at once, as a user pressing "Cancelar" would.
class CancelAtOnce : public BusyIndicator {
public:
    void begin() override {}
    void end() override {}
    bool offerCancel(std::function<void()> cancel) override {
        cancel();
        return true;
    }
};

TEST_F(AccountantWindow, UnreachableServerShowsCode2AndACancelSaysSoAndNothingElse) {
    // A server that takes the request and never answers.
    QTcpServer held;
    ASSERT_TRUE(held.listen(QHostAddress::LocalHost, 0));
    CancelAtOnce cancelling;
    SoapTransport cancelled(&cancelling,
                            SoapTimeouts{std::chrono::seconds(30), std::chrono::seconds(30),
                                         std::chrono::seconds(60), std::chrono::milliseconds(0)});
    const struct {
        const char* label;
        quint16 port;
        SoapClient* soap;
        Message shown;
    } cases[] = {
        {"unreachable", closedPort(), &soap, connectionBox(2)},
        {"cancelled",
         held.serverPort(),
         &cancelled,
         {QStringLiteral("A chamada ao servidor foi cancelada."), kTitle, MsgIcon::Information,
          MsgButtons::Ok}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        prompter.clearMessages();
        context.soap = c.soap;
        sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(c.port));
        frmContador* w = open();
        ContadorRow row = validRow();
        row.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-80"); // no check may run
        fill(w, row);
        w->btnOK->click();

        EXPECT_THAT(prompter.messages(), ElementsAre(c.shown));
        EXPECT_EQ(w->erroMsg->text(), QString());
        EXPECT_THAT(storedRows(), IsEmpty());
        EXPECT_TRUE(serverAccountant().empty());
        EXPECT_EQ(loaded(), w);
        EXPECT_TRUE(w->isVisible());
    }
}

TEST_F(AccountantWindow, BrokenDatabaseReportsOnLoadThenCode1AndCode2OnOk) {
    breakDatabase();
    frmContador* w = open();
    ASSERT_NE(w, nullptr);
    // Load: the program knows what is wrong and says it alone, then an
    // empty, usable window.
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{QStringLiteral("O arquivo %1 não é um banco de dados deste "
                                                   "programa. Ele não foi alterado.")
                                        .arg(AppPaths::databasePath()),
                                    QString(), MsgIcon::Critical, MsgButtons::Ok}));
    EXPECT_TRUE(w->txtCNPJCPF->isEnabled());
    EXPECT_EQ(w->txtRazaoSocial->text(), QString());
    prompter.clearMessages();

    fill(w, validRow());
    w->btnOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(connectionBox(1), connectionBox(2)));
    EXPECT_EQ(serverAccountant().at("thisCont_razao_nome"), "Silva Contabilidade");
    EXPECT_EQ(loaded(), w);
    EXPECT_TRUE(w->isVisible());
    QFile file(AppPaths::databasePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(4096, 'x')) << "the foreign file is left as it was";
}

TEST_F(AccountantWindow, CrcQuestionNoStopsYesStoresEmptyCrc) {
    const Message question{QStringLiteral("Deseja prosseguir sem o CRC?"), kTitle, MsgIcon::None,
                           MsgButtons::YesNo};
    frmContador* w = open();
    ContadorRow row = validRow();
    row.cont_num_crc = QStringLiteral("   ");
    fill(w, row);

    prompter.answerNext(MsgAnswer::No);
    w->btnOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(question));
    EXPECT_EQ(w->erroMsg->text(),
              QStringLiteral("Você optou por não prosseguir sem o CRC, favor digitar e clicar em "
                             "OK novamente"));
    EXPECT_THAT(storedRows(), IsEmpty());
    EXPECT_EQ(loaded(), w);

    prompter.clearMessages();
    prompter.answerNext(MsgAnswer::Yes);
    w->btnOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(question, kSuccess));
    row.cont_num_crc.clear();
    EXPECT_THAT(storedRows(), ElementsAre(row));
    EXPECT_EQ(loaded(), nullptr);
}

TEST_F(AccountantWindow, StoredDocumentChoosesMaskAndLocksDocument) {
    struct Case {
        QString document;
        QString mask;
    };
    const Case cases[] = {
        {QStringLiteral("123.456.789-09"), QStringLiteral("###.###.###-##")},
        {QStringLiteral("11.222.333/0001-81"), QStringLiteral("##.###.###/####-##")},
    };
    for (const Case& c : cases) {
        ContadorRow row = validRow();
        row.cont_cpf_cnpj = c.document;
        row.cont_num_telefone = QStringLiteral("____-____");
        storeRow(row);
        registry.unloadAll();
        frmContador* w = open();
        EXPECT_EQ(w->txtCNPJCPF->mask(), c.mask);
        EXPECT_EQ(w->txtCNPJCPF->maskedText(), c.document);
        EXPECT_FALSE(w->txtCNPJCPF->isEnabled());
        EXPECT_FALSE(w->opt_fisica->isEnabled());
        EXPECT_FALSE(w->opt_juridica->isEnabled());
        EXPECT_EQ(w->fields().values, row) << utf8(c.document);
        EXPECT_EQ(w->fields().cpfMask, c.mask == QStringLiteral("###.###.###-##"));
    }
    prompter.expectNoMessages();
}

TEST_F(AccountantWindow, StoredValueItsMaskCannotHoldIsShownAsStoredAndNeverRewritten) {
    struct Case {
        const char* label;
        void (*spoil)(ContadorRow&);
        MaskedEdit* frmContador::*field;
        const char* format;
    };
    const Case cases[] = {
        {"Telefone", [](ContadorRow& r) { r.cont_num_telefone = QStringLiteral("(21) 2512-3344"); },
         &frmContador::txtTelefone, "____-____"},
        {"CEP", [](ContadorRow& r) { r.cont_num_cep = QStringLiteral("20000000"); },
         &frmContador::txtCEP, "_____-___"},
        {"CNPJ / CPF", [](ContadorRow& r) { r.cont_cpf_cnpj = QStringLiteral("11222333000181"); },
         &frmContador::txtCNPJCPF, "___.___.___-__"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ContadorRow row = validRow();
        c.spoil(row);
        storeRow(row);
        registry.unloadAll();
        frmContador* w = open();
        MaskedEdit* field = w->*c.field;
        EXPECT_TRUE(field->holdsUnfitValue());
        EXPECT_TRUE(field->isEnabled()) << "the user must be able to correct it";
        EXPECT_EQ(w->fields().values, row) << "an untouched field reads as stored";

        w->btnOK->click();
        const QString message =
            QStringLiteral("O campo %1 traz o valor gravado \"%2\", que não "
                           "cabe no formato %3. Corrija o campo antes de "
                           "continuar.")
                .arg(QString::fromUtf8(c.label), field->text(), QString::fromLatin1(c.format));
        EXPECT_THAT(prompter.messages(),
                    ElementsAre(Message{message, kTitle, MsgIcon::Warning, MsgButtons::Ok}));
        prompter.clearMessages();
        EXPECT_EQ(w->erroMsg->text(), message);
        EXPECT_TRUE(serverAccountant().empty()) << "nothing is sent before the user corrects it";
        EXPECT_THAT(storedRows(), ElementsAre(row));
    }

    // The user chooses the person type: the mask comes back over what the
    // field shows, and the corrected value goes out.
    frmContador* w = loaded();
    w->opt_juridica->click();
    EXPECT_FALSE(w->txtCNPJCPF->holdsUnfitValue());
    w->btnOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(kSuccess));
    EXPECT_EQ(serverAccountant().at("thisCont_cpf_cnpj"), "11.222.333/0001-81");
}

TEST_F(AccountantWindow, StoredCpfAccountantUpdatedThroughOk) {
    ContadorRow row = validRow();
    row.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    storeRow(row);
    frmContador* w = open();
    w->txtCidade->setText(QStringLiteral("Nova Valdoria"));
    w->btnOK->click();
    row.cont_nom_cidade = QStringLiteral("Nova Valdoria");
    EXPECT_THAT(prompter.messages(), ElementsAre(kSuccess));
    EXPECT_THAT(storedRows(), ElementsAre(row));
    EXPECT_EQ(serverAccountant().at("thisCont_cpf_cnpj"), "123.456.789-09");
}

TEST_F(AccountantWindow, RemoverEmptiesTableAndReopensEmptyAndEnabled) {
    storeRow(validRow());
    frmContador* before = open();
    EXPECT_FALSE(before->txtCNPJCPF->isEnabled());
    before->Command2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    frmContador* after = loaded();
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(after->isVisible());
    EXPECT_TRUE(after->txtCNPJCPF->isEnabled());
    EXPECT_TRUE(after->opt_fisica->isEnabled());
    EXPECT_TRUE(after->opt_juridica->isEnabled());
    EXPECT_FALSE(after->opt_fisica->isChecked());
    EXPECT_FALSE(after->opt_juridica->isChecked());
    EXPECT_EQ(after->txtCNPJCPF->maskedText(), QStringLiteral("__.___.___/____-__"));
    EXPECT_EQ(after->txtRazaoSocial->text(), QString());
    EXPECT_EQ(after->txtCEP->maskedText(), QStringLiteral("_____-___"));
    EXPECT_THAT(storedRows(), IsEmpty());
    EXPECT_TRUE(serverAccountant().empty()) << "the server is not told";
    prompter.expectNoMessages();
}

TEST_F(AccountantWindow, RemoverFailureKeepsWindowAsItWas) {
    frmContador* w = open();
    fill(w, validRow());
    breakDatabase();
    w->Command2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{QStringLiteral("Não foi possível excluir o contador. Tente "
                                                   "novamente mais tarde."),
                                    kTitle, MsgIcon::None, MsgButtons::Ok}));
    EXPECT_EQ(loaded(), w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->fields().values, validRow());
}

TEST_F(AccountantWindow, CancelarClosesWithoutSendingOrStoring) {
    frmContador* w = open();
    fill(w, validRow());
    w->Command1->click();
    EXPECT_EQ(loaded(), nullptr);
    EXPECT_TRUE(serverAccountant().empty());
    EXPECT_THAT(storedRows(), IsEmpty());
    prompter.expectNoMessages();
}

TEST_F(AccountantWindow, OptionsSwitchMaskAndFocusLossChecksDocument) {
    frmContador* w = open();
    EXPECT_EQ(w->txtCNPJCPF->mask(), QStringLiteral("##.###.###/####-##"));
    w->opt_fisica->click();
    EXPECT_EQ(w->txtCNPJCPF->mask(), QStringLiteral("###.###.###-##"));
    EXPECT_TRUE(w->fields().cpfMask);

    struct Case {
        QString document;
        QString erroMsg;
    };
    const Case cpfCases[] = {
        {QStringLiteral("123.456.789-08"),
         QStringLiteral("Documento CPF Informado incorretamente")},
        {QStringLiteral("123.456.789-09"), QString()},
    };
    for (const Case& c : cpfCases) {
        w->txtCNPJCPF->setMaskedText(c.document);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(w->txtCNPJCPF, &out);
        EXPECT_EQ(w->erroMsg->text(), c.erroMsg) << utf8(c.document);
    }

    w->opt_juridica->click();
    EXPECT_EQ(w->txtCNPJCPF->mask(), QStringLiteral("##.###.###/####-##"));
    EXPECT_FALSE(w->fields().cpfMask);
    const Case cnpjCases[] = {
        {QStringLiteral("11.222.333/0001-80"),
         QStringLiteral("Documento CNPJ Informado incorretamente")},
        {QStringLiteral("11.222.333/0001-81"), QString()},
    };
    for (const Case& c : cnpjCases) {
        w->txtCNPJCPF->setMaskedText(c.document);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(w->txtCNPJCPF, &out);
        EXPECT_EQ(w->erroMsg->text(), c.erroMsg) << utf8(c.document);
    }
    prompter.expectNoMessages();
}

// However the radio gets checked, the document field takes its mask: a
// screen reader's toggle must not leave a CPF typed through the CNPJ mask.
TEST_F(AccountantWindow, EveryWayOfChoosingThePersonTypeSwitchesTheMask) {
    using Choose = void (*)(QRadioButton * target, QRadioButton * other);
    const struct {
        const char* way;
        Choose choose;
    } ways[] = {
        {"mouse",
         [](QRadioButton* target, QRadioButton*) {
             QTest::mouseClick(target, Qt::LeftButton);
         }},
        {"Space",
         [](QRadioButton* target, QRadioButton*) {
             target->setFocus();
             QTest::keyClick(target, Qt::Key_Space);
         }},
        {"arrow keys",
         [](QRadioButton* target, QRadioButton* other) {
             other->setFocus();
             if (!other->isChecked())
                 QTest::keyClick(other, Qt::Key_Space);
             QTest::keyClick(other, target->x() < other->x() ? Qt::Key_Left : Qt::Key_Right);
         }},
        {"accessibility toggle",
         [](QRadioButton* target, QRadioButton*) {
             accessibleAction(target, QAccessibleActionInterface::toggleAction());
         }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        frmContador* window = open();
        QApplication::setActiveWindow(window);
        const auto typeDocument = [window](const QString& digits) {
            window->txtCNPJCPF->clear();
            window->txtCNPJCPF->setFocus();
            window->txtCNPJCPF->setCursorPosition(0);
            QTest::keyClicks(window->txtCNPJCPF, digits);
            return window->txtCNPJCPF->maskedText();
        };

        w.choose(window->opt_fisica, window->opt_juridica);
        EXPECT_TRUE(window->opt_fisica->isChecked());
        EXPECT_EQ(utf8(typeDocument(QStringLiteral("12345678909"))), "123.456.789-09");
        w.choose(window->opt_juridica, window->opt_fisica);
        EXPECT_TRUE(window->opt_juridica->isChecked());
        EXPECT_EQ(utf8(typeDocument(QStringLiteral("11222333000181"))), "11.222.333/0001-81");
        w.choose(window->opt_fisica, window->opt_juridica);
        EXPECT_EQ(utf8(window->txtCNPJCPF->mask()), "###.###.###-##");

        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_THAT(storedRows(), IsEmpty());
    prompter.expectNoMessages();
}

TEST_F(AccountantWindow, LoadingEnablesMainWindow) {
    registry.registerWindow(QStringLiteral("Principal"),
                            [](AppContext&) -> QWidget* { return new QWidget; });
    QWidget* principal = registry.window(QStringLiteral("Principal"));
    principal->setEnabled(false);
    open();
    EXPECT_TRUE(principal->isEnabled());
}

TEST_F(AccountantWindow, CaptionsAndAccessibility) {
    frmContador* w = open();
    EXPECT_EQ(w->windowTitle(),
              QStringLiteral("Dados do Contador - Prefeitura Municipal de Valdoria"));
    EXPECT_EQ(w->fraContador->title(), QStringLiteral("Dados do Contador"));
    EXPECT_EQ(w->lblAtencao->text(),
              QStringLiteral("Atenção: Para a transmissão dos documentos será utilizado o "
                             "certificado dos dados cadastrados do contador responsável."));
    EXPECT_EQ(w->opt_fisica->text(), QStringLiteral("Física"));
    EXPECT_EQ(w->opt_juridica->text(), QStringLiteral("Jurídica"));
    EXPECT_EQ(w->btnOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(w->Command1->text(), QStringLiteral("Cancelar"));
    EXPECT_EQ(w->Command2->text(), QStringLiteral("Remover"));

    const struct {
        QLabel* label;
        QWidget* field;
        const char* text;
    } labels[] = {
        {w->lblTipoPessoa, w->opt_fisica, "Tipo de Pessoa"},
        {w->lblCNPJCPF, w->txtCNPJCPF, "CNPJ / CPF"},
        {w->lblCRC, w->txtCRC, "CRC"},
        {w->lblRazaoSocial, w->txtRazaoSocial, "Razão Social"},
        {w->lblLogradouro, w->txtLogradouro, "Endereço"},
        {w->lblNumero, w->txtNumero, "Número"},
        {w->lblComplemento, w->txtComplemento, "Complemento"},
        {w->lblBairro, w->txtBairro, "Bairro"},
        {w->lblCidade, w->txtCidade, "Cidade"},
        {w->lblUF, w->txtUF, "Estado"},
        {w->lblTelefone, w->txtTelefone, "Telefone"},
        {w->lblCEP, w->txtCEP, "CEP"},
        {w->lblEmail, w->txtEmail, "E-mail"},
    };
    for (const auto& l : labels) {
        EXPECT_EQ(l.label->text(), QString::fromUtf8(l.text));
        EXPECT_EQ(l.label->buddy(), l.field) << l.text;
    }

    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::tabOrder(w),
                ElementsAre("opt_fisica", "opt_juridica", "txtCNPJCPF", "txtCRC", "txtRazaoSocial",
                            "txtLogradouro", "txtNumero", "txtComplemento", "txtBairro",
                            "txtCidade", "txtUF", "txtTelefone", "txtCEP", "txtEmail", "btnOK",
                            "Command1", "Command2"));
}

} // namespace
