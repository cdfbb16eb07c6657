// The Simples Nacional window against the in-process simulator: the extract
// that goes out, the server's verdict markers and their messages, the fixed
// pauses, the file test, a refused connection and a close during a pause.
#include "transmission/frmUploadSimples.h"

#include "archive/SentArchive.h"
#include "store/SendingRepository.h"
#include "support/AccessibilityCheck.h"
#include "support/TransmissionFixture.h"
#include "transmission/SendingCertificate.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QString kName = QStringLiteral("frmUploadSimples");
const QString kIe = QStringLiteral("78045302"); // simulator company in the Simples Nacional
const QString kKey = QStringLiteral("A7K2M9QX");

// An extract as the federal service writes it: a PDF naming PGDAS, one end marker.
const QByteArray kGoodPdf("%PDF-1.4\n1 0 obj << /Title (PGDAS-D Extrato) >> endobj\n%%EOF\n");

const QString kExtrato = QStringLiteral(
    "O arquivo que você enviou (Extrato) não é correto para esta operação, por favor, verifique o "
    "manual que está disponível no site.");
const QString kRecibo = QStringLiteral(
    "O arquivo que você enviou (Recibo) não é correto para esta operação, por favor, verifique o "
    "manual que está disponível no site.");
const QString kModificado = QStringLiteral(
    "O arquivo que você enviou foi modificado, você deverá fazer o download do arquivo original "
    "no site PGDAS. Se você decidir imprimir e salvar o resultado da impressão em PDF continuará "
    "dando erro, a maneira correta para isto é Salvar o arquivo.");

class SimplesWindow : public dadav::test::TransmissionFixture {
protected:
    void SetUp() override {
        TransmissionFixture::SetUp();
        registry.registerWindow<frmUploadSimples>();
        state().setTaxpayer(kIe, QStringLiteral("Padaria São João Ltda"), kKey);
    }

    frmUploadSimples* open() { return qobject_cast<frmUploadSimples*>(registry.show(kName)); }
    bool unloaded() const { return registry.loaded(kName) == nullptr; }

    // Chooses the file, picks the accountant's certificate, sends, and waits
    // for the window to unload.
    void send(frmUploadSimples* w, const QString& name, const QByteArray& bytes) {
        userFile(name, bytes);
        w->chooseFile(userFolder.path(), name);
        picker.pickNext(accountantCertificate());
        w->cmdUpload_Click();
        ASSERT_TRUE(waitFor([this] { return unloaded(); }));
    }
};

TEST_F(SimplesWindow, SendsTheExtractWithItsPausesAndRefreshesTheMainWindow) {
    frmUploadSimples* w = open();
    EXPECT_FALSE(w->cmdUpload->isEnabled());
    send(w, QStringLiteral("PGDAS-123.pdf"), kGoodPdf);

    prompter.expectNoMessages();
    EXPECT_THAT(pause.durations(), ElementsAre(50, 100, 1500));
    const auto up = sim.simulator().uploads();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].kind, "simples");
    EXPECT_EQ(up[0].ie, utf8(kIe));
    EXPECT_EQ(up[0].contador, utf8(accountantStored()));
    EXPECT_EQ(up[0].chave, utf8(kKey));
    EXPECT_EQ(up[0].gias, "");
    EXPECT_EQ(up[0].fileName, "PGDAS-123.pdf");
    EXPECT_EQ(up[0].size, kGoodPdf.size());
    EXPECT_EQ(up[0].verdict, "aceito");
    const std::string line =
        "POST /client/xt_upload_simples.php?contador=" + utf8(accountantStored()) +
        "&chave=A7K2M9QX&gias= HTTP/1.0\r\n";
    bool seen = false;
    for (const std::string& raw : sim.simulator().rawRequests())
        seen = seen || raw.rfind(line, 0) == 0;
    EXPECT_TRUE(seen) << line;
    EXPECT_TRUE(principal->isEnabled());
    EXPECT_GE(principal->GridTransmissoes->rowCount(), 1);

    // Kept in the archive; the same extract again is asked about first.
    const QList<SentArchive::Record> kept = SentArchive::list(kIe);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].kind, SentArchive::kSimples);
    EXPECT_EQ(kept[0].result, SentArchive::kAccepted);
    EXPECT_EQ(utf8(kept[0].sha256), up[0].sha256);
    state().setDataServidor(serverDate()); // the refresh brought the simulator's date
    w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("PGDAS-123.pdf"));
    picker.pickNext(accountantCertificate());
    prompter.answerNext(MsgAnswer::No,
                        QStringLiteral("Este arquivo já foi enviado pela estação %1 em "
                                       "15/03/2014 10:00. Transmitir novamente?")
                            .arg(thisDesk()));
    w->cmdUpload_Click();
    EXPECT_EQ(sim.simulator().uploads().size(), 1u);
}

// Every refusal is shown and archived as refused: the Simples markers with
// their own messages, a refusal of the request itself ("ERRO - ...") as the
// declaration window shows it.
TEST_F(SimplesWindow, ServerRefusalsShowTheirMessagesAndAreArchivedAsRefused) {
    const auto box = [](const QString& text) {
        return Message{text, QString(), MsgIcon::None, MsgButtons::Ok};
    };
    struct Case {
        const char* what;
        QByteArray pdf;
        QString key;
        QList<Message> messages;
    };
    const Case cases[] = {
        {"not a PDF", QByteArray("texto qualquer PGDAS %%EOF"), kKey, {box(kExtrato)}},
        {"PDF without PGDAS", QByteArray("%PDF-1.4\nrecibo\n%%EOF\n"), kKey, {box(kRecibo)}},
        {"saved again",
         QByteArray("%PDF-1.4\nPGDAS\n%%EOF\nmais\n%%EOF\n"),
         kKey,
         {box(kModificado)}},
        // Then the main window's list, asked with the same key, says so too.
        {"wrong access key",
         kGoodPdf,
         QStringLiteral("ERRADA99"),
         {Message{QStringLiteral("ERRO - CHAVE_INVALIDA"), QStringLiteral("ERROR"),
                  MsgIcon::Critical, MsgButtons::Ok},
          Message{QStringLiteral("Chave inválida"), QStringLiteral("VAV-UVOD - RJ"),
                  MsgIcon::Critical, MsgButtons::Ok}}},
    };
    for (const Case& c : cases) {
        prompter.clearMessages();
        // Each reply refreshed the main window, which took the server's own date.
        state().setDataServidor(serverDate());
        state().setTaxpayer(kIe, QStringLiteral("Padaria São João Ltda"), c.key);
        clock.set(clock.now().addSecs(60)); // each sending its own newest record
        send(open(), QStringLiteral("extrato.pdf"), c.pdf);
        EXPECT_EQ(prompter.messages(), c.messages) << c.what;
        const QList<SentArchive::Record> kept = SentArchive::list(kIe);
        ASSERT_FALSE(kept.isEmpty()) << c.what;
        EXPECT_EQ(kept.at(0).result, SentArchive::kRefused) << c.what;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(sim.simulator().transmissions().size(), 0u);
}

TEST_F(SimplesWindow, FileNameGoesOutInWindows1252OrIsRefusedBeforeSending) {
    frmUploadSimples* w = open();
    const QString refused = QStringLiteral("PGDAS\u2192123.pdf");
    userFile(refused, kGoodPdf);
    w->chooseFile(userFolder.path(), refused);
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages().at(0).title, QStringLiteral("ERROR"));
    EXPECT_EQ(prompter.messages().at(0).icon, MsgIcon::Critical);
    EXPECT_TRUE(prompter.messages().at(0).text.contains(QStringLiteral("Renomeie o arquivo")));
    EXPECT_FALSE(unloaded());
    EXPECT_TRUE(sim.simulator().uploads().empty());

    prompter.clearMessages();
    send(w, QStringLiteral("PGDAS\u2013123 \u201cmar\u00e7o\u201d.pdf"), kGoodPdf);
    prompter.expectNoMessages();
    bool seen = false;
    for (const std::string& raw : sim.simulator().rawRequests())
        seen = seen || raw.find("; filename=\"PGDAS\x96"
                                "123 \x93mar\xe7o\x94.pdf\"\r\n") != std::string::npos;
    EXPECT_TRUE(seen);
}

TEST_F(SimplesWindow, OnlyPdfFilesMayBeSent) {
    frmUploadSimples* w = open();
    userFile(QStringLiteral("extrato.pdf.txt"), kGoodPdf);
    userFile(QStringLiteral("EXTRATO.PDF"), kGoodPdf);

    w->chooseFile(userFolder.path(), QStringLiteral("extrato.pdf.txt"));
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{QStringLiteral("Arquivo Inválido"), QString(), MsgIcon::None,
                                    MsgButtons::Ok}));
    EXPECT_FALSE(w->cmdUpload->isEnabled());

    prompter.clearMessages();
    w->chooseFile(userFolder.path(), QStringLiteral("EXTRATO.PDF"));
    prompter.expectNoMessages();
    EXPECT_TRUE(w->cmdUpload->isEnabled());
    EXPECT_EQ(w->txtUploadFile->text(),
              QDir::toNativeSeparators(userFolder.filePath(QStringLiteral("EXTRATO.PDF"))));
}

TEST_F(SimplesWindow, RefusedConnectionIsReportedAndClosesTheWindow) {
    sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(closedPort()));
    send(open(), QStringLiteral("extrato.pdf"), kGoodPdf);
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages().at(0).title, QStringLiteral("ERROR"));
    EXPECT_EQ(prompter.messages().at(0).icon, MsgIcon::Warning);
    EXPECT_FALSE(prompter.messages().at(0).text.isEmpty());
    EXPECT_TRUE(sim.simulator().uploads().empty());
}

TEST_F(SimplesWindow, CloseBoxDuringThePauseIsHeldUntilTheVerdictIsShown) {
    frmUploadSimples* w = open();
    const QPointer<frmUploadSimples> alive(w);
    userFile(QStringLiteral("extrato.pdf"), QByteArray("sem cabecalho PGDAS %%EOF"));
    w->chooseFile(userFolder.path(), QStringLiteral("extrato.pdf"));
    // The close box is used while the window waits before reading the reply:
    // the window outlives the pause, shows the verdict, then unloads once.
    pause.duringNext(
        [this, w] {
            w->close();
            EXPECT_EQ(registry.loaded(kName), w) << "unloaded during the pause";
        },
        frmUploadSimples::kPauseBeforeVerdict);
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return unloaded(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(alive.isNull());
    EXPECT_THAT(pause.durations(), ElementsAre(50, 100, 1500));
    EXPECT_EQ(prompter.texts(), QStringList{kExtrato});
    EXPECT_TRUE(principal->isEnabled());
}

TEST_F(SimplesWindow, RefusedCertificateCarriesTheSimplesTitle) {
    frmUploadSimples* w = open();
    userFile(QStringLiteral("extrato.pdf"), kGoodPdf);
    w->chooseFile(userFolder.path(), QStringLiteral("extrato.pdf"));
    picker.pickNext(accountantCertificate({}, serverDate().addDays(-1)));
    w->cmdUpload_Click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{SendingCertificate::kInvalid,
                                    QStringLiteral("VAV-UVOD - RJ - Certificado Inválido"),
                                    MsgIcon::Critical, MsgButtons::Ok}));
    EXPECT_FALSE(unloaded());
    EXPECT_TRUE(sim.simulator().rawRequests().empty());
}

TEST_F(SimplesWindow, LabelsTextsAndKeyboardAccess) {
    frmUploadSimples* w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Selecione o arquivo PDF - Declaração - SIMPLES "
                                               "NACIONAL - Prefeitura Municipal de Valdoria"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("Transmissão de Declaração - Simples Nacional"));
    EXPECT_EQ(w->Label2->text(),
              QStringLiteral("Selecione o arquivo que deseja enviar.  Para contribuintes inscritos "
                             "no Simples Nacional o arquivo a ser enviado é o PGDAS-_____.pdf"));
    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
    if (!qEnvironmentVariableIsEmpty("DADAV_GRAB"))
        w->grab().save(qEnvironmentVariable("DADAV_GRAB") +
                       QStringLiteral("/frmUploadSimples.png"));
}

} // namespace
