// The taxpayer windows against the in-process server simulator, a temporary
// application folder, scripted message boxes and scripted certificate picks:
// registering a company with its key, refusing duplicates, updating,
// selecting, deleting, and what each window looks like to the keyboard and
// to a screen reader.
#include "registry/frmtbl_CadastroContribuinte.h"
#include "registry/frmtbl_CriaContribuinte.h"
#include "registry/frmtbl_SelecionaContribuinte.h"
#include "registry/frmtbl_atualizarContribuinte.h"
#include "registry/frmtbl_exclusaoContribuinte.h"

#include "app/Principal.h"
#include "base/AppPaths.h"
#include "certificates/Certificate.h"
#include "certificates/CertificateDialog.h"
#include "certificates/CertificateMessages.h"
#include "certificates/NssSource.h"
#include "certificates/Pkcs11Source.h"
#include "certificates/StoreCertificatePicker.h"
#include "net/SoapTransport.h"
#include "platform/Clock.h"
#include "platform/MaskedEdit.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/AccessibilityCheck.h"
#include "support/FakeCertificatePicker.h"
#include "support/FakePinPrompter.h"
#include "support/FakePrompter.h"
#include "support/SimulatorFixture.h"
#include "support/TestCertificates.h"
#include "support/TestTokens.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QString kTitle = QStringLiteral("VAV-UVOD - RJ");

Message box(const QString& text, const QString& title = kTitle, MsgIcon icon = MsgIcon::Critical,
            MsgButtons buttons = MsgButtons::Ok) {
    return {text, title, icon, buttons};
}

// The simulator's first built-in company (Simples, key already issued).
const QString kIe = QStringLiteral("78045302");
const QString kCnpj = QStringLiteral("11.222.333/0001-81");
const QString kKey = QStringLiteral("A7K2M9QX");
// A second built-in company (not Simples).
const QString kIe2 = QStringLiteral("86123452");
const QString kCnpj2 = QStringLiteral("04.567.891/0001-13");
const QString kKey2 = QStringLiteral("Z3P8W1RT");
// The accountant on file, stored with punctuation.
const QString kAccountant = QStringLiteral("123.456.789-09");

Certificate certificate(const QString& commonName,
                        dadav::test::CrlPoint crl = dadav::test::CrlPoint::None,
                        QDateTime notAfter = QDateTime::currentDateTimeUtc().addDays(300)) {
    dadav::test::TestCertificateOptions options;
    options.commonName = commonName;
    options.crl = crl;
    options.notAfter = notAfter;
    return parseCertificateDer(dadav::test::makeCertificateDer(options));
}

quint16 closedPort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

void leave(QWidget* field, Qt::FocusReason reason = Qt::TabFocusReason) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(field, &out);
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

class TaxpayerWindows : public ::testing::Test {
protected:
    void SetUp() override {
        sim.useAsApplicationFolder();
        sim.writeFile(QStringLiteral("info.dip"), "1.16.01");
        context.prompter = &prompter;
        context.soap = &soap;
        context.windows = &registry;
        context.certificates = &picker;
        registry.registerWindow<Principal>();
        registry.registerWindow<frmtbl_CriaContribuinte>();
        registry.registerWindow<frmtbl_CadastroContribuinte>();
        registry.registerWindow<frmtbl_SelecionaContribuinte>();
        registry.registerWindow<frmtbl_atualizarContribuinte>();
        registry.registerWindow<frmtbl_exclusaoContribuinte>();
        LocalDb db;
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = kAccountant;
        accountant.cont_razao_nome = QStringLiteral("Silva Contabilidade");
        replaceContador(db, accountant);
    }

    void TearDown() override {
        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <class W> W* open() {
        return qobject_cast<W*>(
            registry.show(QString::fromLatin1(W::staticMetaObject.className())));
    }
    template <class W> W* loaded() const {
        return qobject_cast<W*>(
            registry.loaded(QString::fromLatin1(W::staticMetaObject.className())));
    }

    static void fill(TaxpayerWindow* w, const QString& ie, const QString& name, const QString& cnpj,
                     const QString& cnae = QStringLiteral("1091-1/02")) {
        w->txtIE->setMaskedText(ie);
        w->txtRazaoSocial->setText(name);
        w->txtCNPJ->setMaskedText(cnpj);
        w->txtCNAE->setMaskedText(cnae);
    }

    static void store(const ContribuinteRow& row) {
        LocalDb db;
        insertContribuinte(db, row);
    }

    // Rows of tblContribuinte as stored, read past the functions under test.
    static QList<ContribuinteRow> storedRows() {
        LocalDb db;
        QList<ContribuinteRow> rows;
        QSqlQuery q = db.exec(QStringLiteral("SELECT * FROM tblContribuinte ORDER BY rowid"),
                              QStringLiteral("t"));
        while (q.next()) {
            ContribuinteRow r;
            r.IE = q.value(QStringLiteral("IE")).toString();
            r.RazaoSocial = q.value(QStringLiteral("RazaoSocial")).toString();
            r.Cnpj = q.value(QStringLiteral("Cnpj")).toString();
            r.Cnae = q.value(QStringLiteral("Cnae")).toString();
            r.Chave = q.value(QStringLiteral("Chave")).toString();
            r.CCM = q.value(QStringLiteral("CCM")).toString();
            const QVariant simples = q.value(QStringLiteral("OptanteSimples"));
            if (!simples.isNull())
                r.OptanteSimples = simples.toInt() != 0;
            rows << r;
        }
        return rows;
    }

    // A file at the database's place that is not a database: every open fails.
    void breakDatabase() { sim.writeFile(QStringLiteral("dadav.mdb"), QByteArray(4096, 'x')); }

    // The last request the server received; empty when none came.
    std::string lastRequest() {
        const std::vector<std::string> raw = sim.simulator().rawRequests();
        return raw.empty() ? std::string() : raw.back();
    }

    // How many "Transferencia.ecnpj" requests reached the server.
    int keyRequests() {
        int n = 0;
        for (const std::string& raw : sim.simulator().rawRequests())
            n += raw.find("Transferencia.ecnpj") != std::string::npos ? 1 : 0;
        return n;
    }

    static ContribuinteRow row(const QString& ie, const QString& name, const QString& cnpj,
                               const QString& key, const QString& ccm = QString(),
                               std::optional<bool> simples = false) {
        return {ie, name, cnpj, QStringLiteral("1091-1/02"), key, ccm, simples};
    }

    // The Principal of the registry, loaded and shown.
    Principal* principal() {
        return qobject_cast<Principal*>(registry.show(QStringLiteral("Principal")));
    }

    dadav::test::SimulatorFixture sim;
    FakePrompter prompter;
    FakeCertificatePicker picker;
    SoapTransport soap;
    AppContext context;
    WindowRegistry registry{context};
};

// ---- new taxpayer ---------------------------------------------------------

TEST_F(TaxpayerWindows, RegisterCompanyWithKeyFromServer) {
    auto* w = open<frmtbl_CriaContribuinte>();
    ASSERT_NE(w, nullptr);
    fill(w, kIe, QStringLiteral("Padaria São João Ltda"), kCnpj);
    w->txtInscMunicipal->setText(QStringLiteral("1.234.567-8"));
    picker.pickNext(certificate(QStringLiteral("PADARIA SAO JOAO LTDA:11222333000181")));

    w->Command1->click();

    prompter.expectNoMessages();
    ASSERT_EQ(picker.requests().size(), 1);
    EXPECT_EQ(picker.requests()[0].title,
              QStringLiteral("Selecione o Certificado Digital (e-CNPJ)"));
    EXPECT_EQ(picker.requests()[0].displayText,
              QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave"));
    EXPECT_EQ(w->accountantDocument(), QStringLiteral("12345678909"));
    EXPECT_EQ(w->Chave->text(), kKey);
    EXPECT_TRUE(w->flag_optantesimples->isChecked()) << "the server says Simples";
    const std::string request = lastRequest();
    EXPECT_NE(request.find("<ie>78045302</ie>"), std::string::npos) << request;
    EXPECT_NE(request.find("<cnpj>11.222.333/0001-81</cnpj>"), std::string::npos) << request;
    EXPECT_THAT(storedRows(), IsEmpty()) << "nothing is stored before OK";

    w->cmdOK->click();

    EXPECT_THAT(prompter.messages(), ElementsAre(box(QStringLiteral("O contribuinte foi criado!"),
                                                     QString(), MsgIcon::None)));
    EXPECT_THAT(storedRows(), ElementsAre(row(kIe, QStringLiteral("Padaria São João Ltda"), kCnpj,
                                              kKey, QStringLiteral("1.234.567-8"), true)));
    EXPECT_EQ(loaded<frmtbl_CriaContribuinte>(), nullptr) << "the window closes";
}

// A newcomer with the e-CNPJ on a token, or in a browser's database, and no
// file imported: the real selection dialog lists it and the key comes from
// the server.
TEST_F(TaxpayerWindows, RegisterCompanyWithCertificateFromTokenOrBrowser) {
    dadav::test::TestCertificateOptions options;
    options.commonName = QStringLiteral("PADARIA SAO JOAO LTDA:11222333000181");
    options.subjectAltName =
        QStringLiteral("otherName:2.16.76.1.3.3;PRINTABLESTRING:11222333000181");
    const dadav::test::TestChain chain =
        dadav::test::makeChain(options, QStringLiteral("AC Teste"));
    QTemporaryDir tmp;
    dadav::test::SoftHsm hsm(tmp.filePath(QStringLiteral("hsm")));
    hsm.initToken(QStringLiteral("e-CNPJ"), QStringLiteral("123456"));
    hsm.addCertificate(QStringLiteral("e-CNPJ"), QStringLiteral("123456"), chain.holderDer, false);
    dadav::test::makeNssDatabase(tmp.filePath(QStringLiteral("nssdb")), chain.holderPkcs12,
                                 QStringLiteral("1234"), chain.authorityDer);
    struct Case {
        const char* name;
        std::shared_ptr<const CertificateSource> source;
        QString origin;
    } cases[] = {
        {"token", std::make_shared<Pkcs11Source>(QStringList{dadav::test::kSoftHsmModule}),
         QStringLiteral("Token e-CNPJ (libsofthsm2.so)")},
        {"NSS",
         std::make_shared<NssSource>(QList<NssDatabase>{
             {tmp.filePath(QStringLiteral("nssdb")), QStringLiteral("Firefox (perfil x)")}}),
         QStringLiteral("Firefox (perfil x)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CertificateStore store(tmp.filePath(QStringLiteral("vazia")));
        dadav::test::FakePinPrompter pins;
        StoreCertificatePicker realPicker(store, prompter, pins, systemClock(), {c.source});
        context.certificates = &realPicker;
        QStringList origins;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<CertificateDialog*>(QApplication::activeModalWidget());
            if (!d || d->listing())
                return;
            answer.stop();
            for (int i = 0; i < d->lstCertificados->topLevelItemCount(); ++i)
                origins << d->lstCertificados->topLevelItem(i)->text(5);
            d->cmdOK->click();
        });
        answer.start(20);
        auto* w = open<frmtbl_CriaContribuinte>();
        ASSERT_NE(w, nullptr);
        fill(w, kIe, QStringLiteral("Padaria São João Ltda"), kCnpj);

        w->Command1->click();

        prompter.expectNoMessages();
        EXPECT_EQ(origins, QStringList{c.origin});
        EXPECT_EQ(w->Chave->text(), kKey);
        w->cmdOK->click();
        prompter.clearMessages();
        EXPECT_THAT(storedRows(), ElementsAre(row(kIe, QStringLiteral("Padaria São João Ltda"),
                                                  kCnpj, kKey, QString(), true)));
        LocalDb db;
        db.exec(QStringLiteral("DELETE FROM tblContribuinte"), QStringLiteral("t"));
    }
    context.certificates = &picker;
}

TEST_F(TaxpayerWindows, KeyStepOutcomes) {
    using dadav::test::CrlPoint;
    const QString companyCn = QStringLiteral("PADARIA:11222333000181");
    const QString connection =
        QStringLiteral("Detectamos que há um problema de comunicação com a URL http://127.0.0.1. "
                       "\r\n\r\nVerifique sua conectividade de Internet. \r\n\r\nObs: Recomendamos "
                       "solicitar assistência ao responsável pela manutenção da rede");
    struct Case {
        const char* what;
        std::function<void(frmtbl_CriaContribuinte*)> arrange;
        QList<Message> messages;
        QString key; // Chave afterwards ("old" when it must stay as it was)
        int requests;
    };
    const QString cdpPrefix =
        QStringLiteral("Could not retrieve the URLs from the CDP extension: 0x");
    const QList<Case> cases = {
        {"cancelled",
         [this](frmtbl_CriaContribuinte*) { picker.cancelNext(); },
         {},
         QStringLiteral("old"),
         0},
        {"store unusable",
         [this](frmtbl_CriaContribuinte*) { picker.failNext(); },
         {box(CertificateMessages::componentFailure(), QString(), MsgIcon::None)},
         QStringLiteral("old"),
         0},
        {"certificate of someone else",
         [this](frmtbl_CriaContribuinte*) {
             picker.pickNext(certificate(QStringLiteral("OUTRA:99888777000166")));
         },
         {box(QStringLiteral("O Certificado não possui informações da empresa selecionada ou "
                             "contador."),
              kTitle, MsgIcon::Information)},
         QStringLiteral("old"),
         0},
        {"accountant's certificate",
         [this](frmtbl_CriaContribuinte*) {
             picker.pickNext(certificate(QStringLiteral("JOSE DA SILVA:12345678909")));
         },
         {},
         kKey,
         1},
        {"well-formed distribution point",
         [this, companyCn](frmtbl_CriaContribuinte*) {
             picker.pickNext(certificate(companyCn, CrlPoint::Url));
         },
         {},
         kKey,
         1},
        {"unreadable distribution point goes on",
         [this, companyCn](frmtbl_CriaContribuinte*) {
             picker.pickNext(certificate(companyCn, CrlPoint::Malformed));
         },
         {}, // checked by prefix below
         kKey,
         1},
        {"expired on the server's date",
         [this, companyCn](frmtbl_CriaContribuinte*) {
             picker.pickNext(certificate(companyCn, CrlPoint::None,
                                         QDateTime::currentDateTimeUtc().addDays(-2)));
         },
         {box(QStringLiteral("Certificado expirado, contate seu fornecedor"), QString(),
              MsgIcon::None)},
         QStringLiteral("old"),
         1},
        {"server does not know the pair",
         [this](frmtbl_CriaContribuinte* w) {
             w->txtCNPJ->setMaskedText(kCnpj2);
             picker.pickNext(certificate(QStringLiteral("OUTRA:04567891000113")));
         },
         {box(QStringLiteral("Atenção, não foi encontrado cadastro para as informações "
                             "preenchidas.\r\n\r\nSolicitamos entrar em contato por E-MAIL com o "
                             "suporte, informando: CNPJ, IE e CNAE do contribuinte."))},
         QStringLiteral("old"),
         1},
        {"server unreachable",
         [this, companyCn](frmtbl_CriaContribuinte*) {
             sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(closedPort()));
             picker.pickNext(certificate(companyCn));
         },
         {box(connection, QString(), MsgIcon::None)},
         QStringLiteral("old"),
         0},
        {"a field check stops before the certificate",
         [](frmtbl_CriaContribuinte* w) { w->txtCNAE->setMaskedText(QStringLiteral("1091-1")); },
         {box(QStringLiteral("CNAE preenchido incorretamente"))},
         QStringLiteral("old"),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(sim.port()));
        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        prompter.clearMessages();
        const int before = keyRequests();

        auto* w = open<frmtbl_CriaContribuinte>();
        fill(w, kIe, QStringLiteral("Padaria"), kCnpj);
        w->Chave->setText(QStringLiteral("old"));
        w->flag_optantesimples->setChecked(false);
        c.arrange(w);
        w->Command1->click();

        if (QString::fromLatin1(c.what).startsWith(QStringLiteral("unreadable"))) {
            ASSERT_EQ(prompter.messages().size(), 1);
            EXPECT_TRUE(prompter.messages()[0].text.startsWith(cdpPrefix))
                << utf8(prompter.messages()[0].text);
            EXPECT_EQ(prompter.messages()[0].title, QString());
        } else {
            EXPECT_EQ(prompter.messages(), c.messages);
        }
        EXPECT_EQ(w->Chave->text(), c.key);
        EXPECT_EQ(w->flag_optantesimples->isChecked(), c.key == kKey) << "Simples follows the key";
        EXPECT_EQ(keyRequests() - before, c.requests);
        EXPECT_THAT(storedRows(), IsEmpty());
    }
}

TEST_F(TaxpayerWindows, AccountantLoaderFailureStillAllowsCompanyCertificate) {
    auto* w = open<frmtbl_CriaContribuinte>();
    fill(w, kIe2, QStringLiteral("Comércio"), kCnpj2);
    breakDatabase();
    picker.pickNext(certificate(QStringLiteral("COMERCIO:04567891000113")));
    w->Command1->click();
    ASSERT_EQ(prompter.messages().size(), 1) << "the error report, then the step goes on";
    EXPECT_TRUE(prompter.messages()[0].text.contains(
        QStringLiteral("não é um banco de dados deste programa")));
    EXPECT_EQ(w->accountantDocument(), QString());
    EXPECT_EQ(w->Chave->text(), kKey2);
    EXPECT_FALSE(w->flag_optantesimples->isChecked());
}

TEST_F(TaxpayerWindows, DuplicateIeRefusedOnLeavingAndOnOk) {
    store(row(kIe, QStringLiteral("Já cadastrada"), kCnpj, kKey));
    auto* w = open<frmtbl_CriaContribuinte>();
    fill(w, kIe, QStringLiteral("Padaria"), kCnpj);
    w->Chave->setText(kKey);

    // A box or another window taking the focus is not leaving the field.
    leave(w->txtIE, Qt::ActiveWindowFocusReason);
    leave(w->txtIE, Qt::PopupFocusReason);
    EXPECT_EQ(w->erroMsg->text(), QString());
    leave(w->txtIE);
    EXPECT_EQ(w->erroMsg->text(), QStringLiteral("Contribuinte já cadastrado."));
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("Corrija os erros antes de prosseguir"), QString(),
                                MsgIcon::None)));

    // A valid CNPJ left afterwards clears the label; OK counts again.
    leave(w->txtCNPJ);
    EXPECT_EQ(w->erroMsg->text(), QString());
    prompter.clearMessages();
    w->cmdOK->click();
    prompter.expectNoMessages();
    EXPECT_EQ(w->erroMsg->text(), QStringLiteral("Contribuinte já cadastrado."));
    EXPECT_EQ(storedRows().size(), 1);
    EXPECT_EQ(loaded<frmtbl_CriaContribuinte>(), w);

    // Another IE: the label clears on leaving the field.
    w->txtIE->setMaskedText(kIe2);
    leave(w->txtIE);
    EXPECT_EQ(w->erroMsg->text(), QString());
}

TEST_F(TaxpayerWindows, LeavingCnpjShowsOnlyTheLastCheck) {
    store(row(kIe, QStringLiteral("Já cadastrada"), kCnpj, kKey));
    auto* w = open<frmtbl_CriaContribuinte>();
    w->txtIE->setMaskedText(kIe);
    leave(w->txtIE);
    w->txtCNPJ->setMaskedText(QStringLiteral("11.222.333/0001-80"));
    leave(w->txtCNPJ);
    EXPECT_EQ(w->erroMsg->text(), QStringLiteral("CNPJ Inválido"));
    prompter.expectNoMessages();
}

TEST_F(TaxpayerWindows, OkShowsFirstFieldErrorAndTypedKeyIsAccepted) {
    auto* w = open<frmtbl_CriaContribuinte>();
    // An untouched window: an IE without a digit is the first refusal, on
    // OK and on the key button alike.
    w->cmdOK->click();
    w->Command1->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("Inscrição Estadual inválida")),
                            box(QStringLiteral("Inscrição Estadual inválida"))));
    EXPECT_EQ(keyRequests(), 0);

    prompter.clearMessages();
    w->txtIE->setMaskedText(kIe);
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("Razão Social preenchida incorretamente"))));

    prompter.clearMessages();
    fill(w, kIe, QStringLiteral("D'Ávila Comércio"), kCnpj);
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(box(QStringLiteral("Chave não informada"))));

    prompter.clearMessages();
    w->Chave->setText(QStringLiteral("TYPED123")); // any key will do
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(box(QStringLiteral("O contribuinte foi criado!"),
                                                     QString(), MsgIcon::None)));
    EXPECT_THAT(storedRows(), ElementsAre(row(kIe, QStringLiteral("D'Ávila Comércio"), kCnpj,
                                              QStringLiteral("TYPED123"))));
}

TEST_F(TaxpayerWindows, DatabaseFailureOnOkReportsAndKeepsWindow) {
    auto* w = open<frmtbl_CriaContribuinte>();
    fill(w, kIe, QStringLiteral("Padaria"), kCnpj);
    w->Chave->setText(kKey);
    breakDatabase();
    w->cmdOK->click();
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages()[0].text.contains(
        QStringLiteral("não é um banco de dados deste programa")))
        << utf8(prompter.messages()[0].text);
    EXPECT_EQ(prompter.messages()[0].title, QString());
    EXPECT_EQ(loaded<frmtbl_CriaContribuinte>(), w);
    EXPECT_EQ(w->txtRazaoSocial->text(), QStringLiteral("Padaria"));
    EXPECT_EQ(w->Chave->text(), kKey);
}

TEST_F(TaxpayerWindows, ImportButtonOpensImportAndCompletionCloses) {
    auto* w = open<frmtbl_CriaContribuinte>();
    w->Command2->click(); // no import window in this registry yet
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("Esta função ainda não está disponível nesta "
                                               "versão do programa."),
                                kTitle, MsgIcon::Information)));
    prompter.clearMessages();

    registry.registerWindow(QStringLiteral("ImportarEmpresas"), [](AppContext&) -> QWidget* {
        auto* stand = new QWidget;
        stand->setObjectName(QStringLiteral("ImportarEmpresas"));
        return stand;
    });
    w->Command2->click();
    QWidget* import = registry.loaded(QStringLiteral("ImportarEmpresas"));
    ASSERT_NE(import, nullptr);
    EXPECT_TRUE(import->isVisible());
    EXPECT_EQ(loaded<frmtbl_CriaContribuinte>(), w) << "stays open";

    w->ImportacaoConcluida();
    EXPECT_EQ(loaded<frmtbl_CriaContribuinte>(), nullptr);
    prompter.expectNoMessages();
}

// ---- closing gives the main window back ----------------------------------

TEST_F(TaxpayerWindows, EveryCloseLeavesMainWindowEnabled) {
    Principal* main = principal();
    const QStringList names{QStringLiteral("frmtbl_CriaContribuinte"),
                            QStringLiteral("frmtbl_CadastroContribuinte"),
                            QStringLiteral("frmtbl_SelecionaContribuinte"),
                            QStringLiteral("frmtbl_atualizarContribuinte"),
                            QStringLiteral("frmtbl_exclusaoContribuinte")};
    for (const QString& name : names) {
        for (int way = 0; way < 2; ++way) {
            main->setEnabled(false);
            QWidget* w = registry.show(name);
            ASSERT_NE(w, nullptr) << utf8(name);
            if (way == 0)
                w->findChild<QPushButton*>(QStringLiteral("cmdCancelar"))->click();
            else
                w->close(); // the close box
            EXPECT_TRUE(main->isEnabled()) << utf8(name) << " way " << way;
            EXPECT_EQ(registry.loaded(name), nullptr) << utf8(name);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    EXPECT_THAT(storedRows(), IsEmpty());
    prompter.expectNoMessages();
}

// ---- update ----------------------------------------------------------------

TEST_F(TaxpayerWindows, ImportedRowOpensUpdateWithEmptyCcmAndUpdateKeepsCnpjAndKey) {
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey, QStringLiteral("CCM-1"), true));
    {
        LocalDb db;
        insertImportedContribuinte(db,
                                   row(kIe2, QStringLiteral("Comércio Importado"), kCnpj2, kKey2));
    }
    auto* chooser = open<frmtbl_atualizarContribuinte>();
    ASSERT_EQ(chooser->GridSelContribuinte->rowCount(), 2);
    chooser->GridSelContribuinte->setCurrentCell(1, 0);
    chooser->cmdOK->click();

    prompter.expectNoMessages();
    EXPECT_EQ(loaded<frmtbl_atualizarContribuinte>(), nullptr) << "the chooser closes";
    auto* w = loaded<frmtbl_CadastroContribuinte>();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->fields().ie, kIe2);
    EXPECT_EQ(w->fields().razaoSocial, QStringLiteral("Comércio Importado"));
    EXPECT_EQ(w->fields().cnpj, kCnpj2);
    EXPECT_EQ(w->fields().cnae, QStringLiteral("1091-1/02"));
    EXPECT_EQ(w->fields().chave, kKey2);
    EXPECT_EQ(w->fields().ccm, QString());
    EXPECT_FALSE(w->fields().optanteSimples);

    w->txtRazaoSocial->setText(QStringLiteral("Comércio D'Oeste"));
    w->txtCNAE->setMaskedText(QStringLiteral("4711-3/02"));
    w->txtInscMunicipal->setText(QStringLiteral("CCM-2"));
    w->flag_optantesimples->setChecked(true);
    w->txtCNPJ->setMaskedText(QStringLiteral("27.891.543/0001-00")); // checked, never written
    w->Chave->setText(QStringLiteral("NEWKEY00"));
    w->cmdOK->click();

    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("O dados cadastrais do contribuinte foram "
                                               "atualizados"),
                                kTitle, MsgIcon::None)));
    const QList<ContribuinteRow> rows = storedRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0],
              row(kIe, QStringLiteral("Padaria"), kCnpj, kKey, QStringLiteral("CCM-1"), true))
        << "the other taxpayer is untouched";
    ContribuinteRow expected{kIe2,   QStringLiteral("Comércio D'Oeste"),
                             kCnpj2, QStringLiteral("4711-3/02"),
                             kKey2,  QStringLiteral("CCM-2"),
                             true};
    EXPECT_EQ(rows[1], expected);
    EXPECT_EQ(loaded<frmtbl_CadastroContribuinte>(), nullptr);
}

TEST_F(TaxpayerWindows, StoredRowFillsUpdateWindow) {
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey, QStringLiteral("CCM-1"), true));
    auto* chooser = open<frmtbl_atualizarContribuinte>();
    chooser->cmdOK->click(); // the first taxpayer is current when the window opens
    auto* w = loaded<frmtbl_CadastroContribuinte>();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->fields().ccm, QStringLiteral("CCM-1"));
    EXPECT_TRUE(w->fields().optanteSimples);
    EXPECT_TRUE(w->Chave->isReadOnly());
    prompter.expectNoMessages();
}

TEST_F(TaxpayerWindows, UpdateIeChecks) {
    // A row stored with a wrong check digit (imported), and a row deleted
    // while its update window was open.
    store(row(QStringLiteral("78045303"), QStringLiteral("Padaria"), kCnpj, kKey));
    auto* w = open<frmtbl_CadastroContribuinte>();
    w->fillFromRow(row(QStringLiteral("78045303"), QStringLiteral("Padaria"), kCnpj, kKey));
    leave(w->txtIE);
    EXPECT_EQ(w->erroMsg->text(), QStringLiteral("Inscrição Estadual inválida."));
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("Inscrição Estadual inválida"))));

    prompter.clearMessages();
    w->fillFromRow(row(kIe2, QStringLiteral("Comércio"), kCnpj2, kKey2));
    leave(w->txtIE);
    EXPECT_EQ(w->erroMsg->text(), QString());
    w->cmdOK->click();
    prompter.expectNoMessages();
    EXPECT_EQ(w->erroMsg->text(), QStringLiteral("Contribuinte não cadastrado."));
    EXPECT_THAT(storedRows(), ElementsAre(row(QStringLiteral("78045303"), QStringLiteral("Padaria"),
                                              kCnpj, kKey)));

    // Deleted by another desk after the window's check, before its write (a
    // trigger stands in for that desk): nothing is written and the window
    // says so instead of "atualizados".
    store(row(kIe, QStringLiteral("Comércio"), kCnpj, kKey));
    {
        LocalDb db;
        db.exec(QStringLiteral("CREATE TRIGGER gone BEFORE UPDATE ON tblContribuinte "
                               "BEGIN SELECT RAISE(IGNORE); END"),
                QStringLiteral("test"));
    }
    w->fillFromRow(row(kIe, QStringLiteral("Comércio"), kCnpj, kKey));
    w->txtRazaoSocial->setText(QStringLiteral("Comércio Novo"));
    leave(w->txtIE);
    w->cmdOK->click();
    prompter.expectNoMessages();
    EXPECT_EQ(w->erroMsg->text(), QStringLiteral("Contribuinte não cadastrado."));
    EXPECT_EQ(loaded<frmtbl_CadastroContribuinte>(), w);
}

// The IE names the row the update writes: the row the window was filled
// with, whatever the field holds when OK is pressed.
TEST_F(TaxpayerWindows, UpdateShowsAStoredValueItsMaskCannotHoldAndRewritesNothing) {
    ContribuinteRow stored = row(kIe, QStringLiteral("Padaria"), kCnpj, kKey);
    stored.Cnae = QStringLiteral("47113"); // imported without its literals
    store(stored);
    auto* w = open<frmtbl_CadastroContribuinte>();
    w->fillFromRow(stored);
    EXPECT_EQ(w->txtCNAE->maskedText(), QStringLiteral("47113"));
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("O campo CNAE traz o valor gravado \"47113\", que "
                                               "não cabe no formato ____-_/__. Corrija o campo "
                                               "antes de continuar."),
                                kTitle, MsgIcon::Warning)));
    EXPECT_THAT(storedRows(), ElementsAre(stored));
}

TEST_F(TaxpayerWindows, UpdateWritesOnlyTheRowItWasOpenedWith) {
    const ContribuinteRow other =
        row(kIe, QStringLiteral("Padaria"), kCnpj, kKey, QStringLiteral("CCM-1"), true);
    store(other);
    store(row(kIe2, QStringLiteral("Comércio"), kCnpj2, kKey2, QStringLiteral("CCM-2"), false));
    auto* chooser = open<frmtbl_atualizarContribuinte>();
    chooser->GridSelContribuinte->setCurrentCell(1, 0);
    chooser->cmdOK->click();
    auto* w = loaded<frmtbl_CadastroContribuinte>();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->fields().ie, kIe2);
    EXPECT_TRUE(w->txtIE->isReadOnly());

    QApplication::setActiveWindow(w);
    w->txtIE->setFocus();
    QTest::keyClick(w->txtIE, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w->txtIE, kIe);
    QTest::keyClick(w->txtIE, Qt::Key_Backspace);
    EXPECT_EQ(w->fields().ie, kIe2);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(w->txtIE);
    ASSERT_NE(reader, nullptr);
    EXPECT_TRUE(reader->state().readOnly);
    reader->setText(QAccessible::Value, kIe); // Qt lets this through a read-only field

    w->txtRazaoSocial->setText(QStringLiteral("Comércio Novo"));
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("O dados cadastrais do contribuinte foram "
                                               "atualizados"),
                                kTitle, MsgIcon::None)));
    EXPECT_THAT(storedRows(), ElementsAre(other, row(kIe2, QStringLiteral("Comércio Novo"), kCnpj2,
                                                     kKey2, QStringLiteral("CCM-2"), false)));
}

TEST_F(TaxpayerWindows, UpdateChooserNoChoiceAndFailure) {
    auto* chooser = open<frmtbl_atualizarContribuinte>();
    EXPECT_EQ(chooser->GridSelContribuinte->rowCount(), 0) << "an empty table: only the header";
    chooser->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("É necessário selecionar a empresa"), QString(),
                                MsgIcon::None)));
    EXPECT_EQ(loaded<frmtbl_atualizarContribuinte>(), chooser);

    // Listed, then the database goes away before OK.
    registry.unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    prompter.clearMessages();
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
    chooser = open<frmtbl_atualizarContribuinte>();
    breakDatabase();
    chooser->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("É necessário cadastrar empresa"), kTitle,
                                MsgIcon::Information)));
    EXPECT_EQ(loaded<frmtbl_atualizarContribuinte>(), chooser);
    EXPECT_EQ(registry.loaded(QStringLiteral("frmtbl_CadastroContribuinte")), nullptr)
        << "no half-filled update window";
}

// ---- selection -------------------------------------------------------------

TEST_F(TaxpayerWindows, SelectionMakesTaxpayerCurrentAndRefreshesList) {
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
    store(row(kIe2, QStringLiteral("Comércio"), kCnpj2, kKey2));
    Principal* main = principal();
    main->mnContribuinteSelecionar_Click(); // disables the main window, opens the selection
    EXPECT_FALSE(main->isEnabled());
    auto* w = loaded<frmtbl_SelecionaContribuinte>();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->GridSelContribuinte->rowCount(), 2);
    EXPECT_EQ(w->GridSelContribuinte->item(1, 1)->text(), QStringLiteral("Comércio"));
    w->GridSelContribuinte->setCurrentCell(1, 0);
    w->cmdOK->click();

    prompter.expectNoMessages();
    EXPECT_EQ(main->state().IE(), kIe2);
    EXPECT_EQ(main->IESel->text(), kIe2);
    EXPECT_EQ(main->RSSel->text(), QStringLiteral("Comércio"));
    EXPECT_EQ(main->lblChave->text(), kKey2);
    EXPECT_TRUE(main->frmImportacao->isVisible());
    EXPECT_TRUE(main->Command1->isVisible());
    EXPECT_TRUE(main->isEnabled());
    EXPECT_EQ(loaded<frmtbl_SelecionaContribuinte>(), nullptr);
    // The list was asked for with the chosen taxpayer.
    const std::string last = lastRequest();
    EXPECT_NE(last.find("Transferencia.ver2"), std::string::npos) << last;
    EXPECT_NE(last.find("86123452"), std::string::npos) << last;
    EXPECT_NE(last.find("Z3P8W1RT"), std::string::npos) << last;
}

TEST_F(TaxpayerWindows, SelectingTaxpayerWithoutKeyLeavesKeyLabelEmpty) {
    {
        LocalDb db;
        insertImportedContribuinte(db, row(kIe, QStringLiteral("Sem Chave"), kCnpj, QString()));
    }
    Principal* main = principal();
    main->state().setTaxpayer(kIe2, QStringLiteral("Antes"), kKey2);
    // The list refresh fails and changes nothing, so the labels show what the
    // selection wrote.
    sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(closedPort()));
    auto* w = open<frmtbl_SelecionaContribuinte>();
    EXPECT_EQ(w->GridSelContribuinte->item(0, 4), nullptr) << "no key, nothing written";
    w->cmdOK->click();
    EXPECT_EQ(main->IESel->text(), kIe);
    EXPECT_EQ(main->RSSel->text(), QStringLiteral("Sem Chave"));
    EXPECT_EQ(main->lblChave->text(), QString());
}

TEST_F(TaxpayerWindows, SelectionWithoutChoiceTellsAndCloses) {
    // Empty table, and a listed table whose current row is the header.
    for (int listed = 0; listed < 2; ++listed) {
        SCOPED_TRACE(listed);
        if (listed)
            store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
        Principal* main = principal();
        main->state().clearTaxpayer();
        main->setEnabled(false);
        auto* w = open<frmtbl_SelecionaContribuinte>();
        w->GridSelContribuinte->setCurrentCell(-1, -1);
        prompter.clearMessages();
        w->cmdOK->click();
        EXPECT_THAT(prompter.messages(),
                    ElementsAre(box(QStringLiteral("É necessário cadastrar empresa"), QString(),
                                    MsgIcon::None)));
        EXPECT_EQ(loaded<frmtbl_SelecionaContribuinte>(), nullptr);
        EXPECT_TRUE(main->isEnabled());
        EXPECT_EQ(main->IESel->text(), QString());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// ---- double-click, Enter and OK in the list windows -------------------------

enum class Gesture { DoubleClick, Enter, OkButton };

// Confirms a row of a list window the way a user does, through real input
// events: a double-click (press, release, the press the platform reports as a
// double click, release), a click then Enter, or a click then "&OK".
void confirmRow(TaxpayerListWindow* w, int row, Gesture how) {
    QTableWidget* grid = w->GridSelContribuinte;
    QWidget* viewport = grid->viewport();
    const QPoint at = grid->visualItemRect(grid->item(row, 1)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    switch (how) {
    case Gesture::DoubleClick:
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        break;
    case Gesture::Enter:
        QTest::keyClick(grid, Qt::Key_Return);
        break;
    case Gesture::OkButton:
        QTest::mouseClick(w->cmdOK, Qt::LeftButton);
        break;
    }
}

// Each gesture confirms the row in each list window and the window goes away
// under its own handler: with boxes that run event loops, as real ones do,
// the window used to be destroyed while its double-click was still being
// handled. Double-clicks are repeated 20 times in a row.
TEST_F(TaxpayerWindows, ListWindowsConfirmByDoubleClickEnterAndOk) {
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
    store(row(kIe2, QStringLiteral("Comércio"), kCnpj2, kKey2));
    prompter.spinEventLoop(true);
    Principal* main = principal();
    const QString rowIes[] = {kIe, kIe2};
    const QString spare = QStringLiteral("11111119"); // stored, then deleted, each round

    for (const Gesture how : {Gesture::DoubleClick, Gesture::Enter, Gesture::OkButton}) {
        const int rounds = how == Gesture::DoubleClick ? 20 : 2;
        for (int round = 0; round < rounds; ++round) {
            SCOPED_TRACE(testing::Message()
                         << "gesture " << static_cast<int>(how) << " round " << round);
            const int r = round % 2;

            // Selection: the taxpayer becomes current and its list is fetched
            // (a server call, which runs an event loop under the handler).
            main->mnContribuinteSelecionar_Click();
            auto* select = loaded<frmtbl_SelecionaContribuinte>();
            ASSERT_NE(select, nullptr);
            confirmRow(select, r, how);
            EXPECT_EQ(main->state().IE(), rowIes[r]);
            EXPECT_TRUE(main->isEnabled());
            EXPECT_EQ(loaded<frmtbl_SelecionaContribuinte>(), nullptr);

            // Update chooser: the update window opens with the row.
            auto* chooser = open<frmtbl_atualizarContribuinte>();
            confirmRow(chooser, r, how);
            EXPECT_EQ(loaded<frmtbl_atualizarContribuinte>(), nullptr);
            auto* update = loaded<frmtbl_CadastroContribuinte>();
            ASSERT_NE(update, nullptr);
            EXPECT_EQ(update->txtIE->maskedText(), rowIes[r]);
            update->close();

            // Deletion: asked, deleted, told.
            store(row(spare, QStringLiteral("Descartável"), kCnpj2, QString()));
            auto* deletion = open<frmtbl_exclusaoContribuinte>();
            prompter.answerNext(MsgAnswer::Yes);
            confirmRow(deletion, 2, how);
            EXPECT_EQ(storedRows().size(), 2);
            EXPECT_EQ(loaded<frmtbl_exclusaoContribuinte>(), nullptr);
        }
    }
    EXPECT_EQ(prompter.pendingAnswers(), 0U);
}

// ---- deletion --------------------------------------------------------------

TEST_F(TaxpayerWindows, DeletionAsksAndRemovesEveryRowOfThatIe) {
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
    store(row(kIe2, QStringLiteral("Comércio"), kCnpj2, kKey2));
    {
        // A repeated IE left by an earlier installation: the client itself
        // refuses to write one.
        LocalDb db;
        db.exec(QStringLiteral("INSERT INTO tblContribuinte (IE, RazaoSocial, Cnpj, Cnae, Chave, "
                               "CCM, OptanteSimples) SELECT IE, 'Padaria (repetida)', Cnpj, "
                               "Cnae, Chave, CCM, OptanteSimples FROM tblContribuinte WHERE IE = "
                               "'%1'")
                    .arg(kIe),
                QStringLiteral("test"));
    }
    const Message question{QStringLiteral("Deseja realmente excluir este contribuinte"), kTitle,
                           MsgIcon::None, MsgButtons::YesNo};
    auto* w = open<frmtbl_exclusaoContribuinte>();
    ASSERT_EQ(w->GridSelContribuinte->rowCount(), 3);
    w->GridSelContribuinte->setCurrentCell(2, 1);

    prompter.answerNext(MsgAnswer::No);
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(question));
    EXPECT_EQ(storedRows().size(), 3);
    EXPECT_EQ(loaded<frmtbl_exclusaoContribuinte>(), w);

    prompter.clearMessages();
    prompter.answerNext(MsgAnswer::Yes);
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(question, box(QStringLiteral("Contribuinte Excluído"), kTitle,
                                          MsgIcon::Information)));
    EXPECT_THAT(storedRows(), ElementsAre(row(kIe2, QStringLiteral("Comércio"), kCnpj2, kKey2)));
    EXPECT_EQ(loaded<frmtbl_exclusaoContribuinte>(), nullptr);
}

TEST_F(TaxpayerWindows, DeletionNoChoiceAndFailureKeepWindow) {
    auto* w = open<frmtbl_exclusaoContribuinte>();
    w->cmdOK->click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(box(QStringLiteral("É necessário selecionar a empresa"), QString(),
                                MsgIcon::None)));
    EXPECT_EQ(loaded<frmtbl_exclusaoContribuinte>(), w);

    registry.unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    prompter.clearMessages();
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
    w = open<frmtbl_exclusaoContribuinte>();
    breakDatabase();
    prompter.answerNext(MsgAnswer::Yes);
    w->cmdOK->click();
    ASSERT_EQ(prompter.messages().size(), 2);
    EXPECT_EQ(prompter.messages()[1],
              box(QStringLiteral("É necessário cadastrar empresa"), kTitle, MsgIcon::Information));
    EXPECT_EQ(loaded<frmtbl_exclusaoContribuinte>(), w);
}

// ---- captions and accessibility -------------------------------------------

TEST_F(TaxpayerWindows, DataWindowsCaptionsAndAccessibility) {
    auto* w = open<frmtbl_CriaContribuinte>();
    EXPECT_EQ(w->windowTitle(),
              QStringLiteral("Cadastro de Contribuinte - Prefeitura Municipal de Valdoria"));
    EXPECT_EQ(w->fraContribuinte->title(), QStringLiteral(" Contribuinte "));
    EXPECT_EQ(w->Command1->text(), QStringLiteral("Gerar chave através do Cert. Digital"));
    EXPECT_EQ(w->lblCertificado->text(),
              QStringLiteral("Utilize o certificado da Empresa ou Contador"));
    EXPECT_EQ(w->Command2->text(), QStringLiteral("Importação de Empresas"));
    EXPECT_EQ(w->txtIE->maskedText(), QStringLiteral("________"));
    EXPECT_EQ(w->txtCNPJ->maskedText(), QStringLiteral("__.___.___/____-__"));
    EXPECT_EQ(w->txtCNAE->maskedText(), QStringLiteral("____-_/__"));
    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::tabOrder(w),
                ElementsAre("txtIE", "txtRazaoSocial", "txtCNPJ", "txtCNAE", "txtInscMunicipal",
                            "Chave", "Command1", "flag_optantesimples", "cmdOK", "cmdCancelar",
                            "Command2"));

    auto* u = open<frmtbl_CadastroContribuinte>();
    EXPECT_EQ(u->windowTitle(),
              QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdoria"));
    EXPECT_EQ(u->lblRegime->text(), QStringLiteral("Regime: Débito e Crédito"));
    EXPECT_EQ(u->findChild<QPushButton*>(QStringLiteral("Command1")), nullptr);
    EXPECT_THAT(AccessibilityCheck::unnamedControls(u), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(u), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::tabOrder(u),
                ElementsAre("txtIE", "txtRazaoSocial", "txtCNPJ", "txtCNAE", "txtInscMunicipal",
                            "Chave", "flag_optantesimples", "cmdOK", "cmdCancelar"));

    const struct {
        QLabel* label;
        QWidget* field;
        const char* text;
    } labels[] = {
        {u->lblIE, u->txtIE, "Inscrição Estadual"},
        {u->lblRazaoSocial, u->txtRazaoSocial, "Razão Social"},
        {u->lblCNPJ, u->txtCNPJ, "CNPJ"},
        {u->lblCNAE, u->txtCNAE, "CNAE"},
        {u->lblInscMunicipal, u->txtInscMunicipal, "Insc. Municipal"},
        {u->lblChave, u->Chave, "Chave de Acesso"},
    };
    for (const auto& l : labels) {
        EXPECT_EQ(l.label->text(), QString::fromUtf8(l.text));
        EXPECT_EQ(l.label->buddy(), l.field) << l.text;
    }
    EXPECT_EQ(u->flag_optantesimples->text(),
              QStringLiteral("Contribuinte Optante do Simples Nacional"));
    EXPECT_EQ(u->cmdOK->text(), QStringLiteral("&OK"));
    EXPECT_EQ(u->cmdCancelar->text(), QStringLiteral("&Cancelar"));
}

TEST_F(TaxpayerWindows, ListWindowsCaptionsGridAndAccessibility) {
    store(row(kIe, QStringLiteral("Padaria"), kCnpj, kKey));
    const struct {
        const char* name;
        const char* caption;
        const char* prompt;
    } windows[] = {
        {"frmtbl_SelecionaContribuinte",
         "Seleção de Contribuinte - Prefeitura Municipal de Valdoria",
         "Selecione o Contribuinte que deseja abrir:"},
        {"frmtbl_atualizarContribuinte",
         "Atualização de Contribuinte - Prefeitura Municipal de Valdoria",
         "Selecione o Contribuinte que deseja atualizar:"},
        {"frmtbl_exclusaoContribuinte",
         "Exclusão de Contribuinte - Prefeitura Municipal de Valdoria",
         "Selecione o Contribuinte que deseja excluir:"},
    };
    for (const auto& d : windows) {
        SCOPED_TRACE(d.name);
        auto* w = qobject_cast<TaxpayerListWindow*>(registry.show(QString::fromLatin1(d.name)));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), QString::fromUtf8(d.caption));
        EXPECT_EQ(w->lblPrompt->text(), QString::fromUtf8(d.prompt));
        QTableWidget* grid = w->GridSelContribuinte;
        QStringList headers;
        for (int c = 0; c < grid->columnCount(); ++c)
            headers << grid->horizontalHeaderItem(c)->text();
        EXPECT_EQ(headers,
                  (QStringList{QStringLiteral("IE"), QStringLiteral("RAZÃO SOCIAL"),
                               QStringLiteral("CNPJ"), QStringLiteral("CNAE"), QString()}));
        ASSERT_EQ(grid->rowCount(), 1);
        EXPECT_EQ(grid->item(0, 0)->text(), kIe);
        EXPECT_EQ(grid->item(0, 2)->text(), kCnpj);
        EXPECT_EQ(grid->item(0, 3)->text(), QStringLiteral("1091-1/02"));
        EXPECT_EQ(grid->item(0, 4)->text(), kKey);
        EXPECT_TRUE(grid->isColumnHidden(4)) << "the key is not shown";
        EXPECT_EQ(w->chosenRow().value(0), kIe) << "the first taxpayer is current";
        EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
        EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
        EXPECT_THAT(AccessibilityCheck::tabOrder(w),
                    ElementsAre("GridSelContribuinte", "cmdOK", "cmdCancelar"));
    }
    prompter.expectNoMessages();
}

} // namespace
