// The declaration window against the in-process simulator: what the server
// receives, the reference months offered, the messages the user sees, the
// certificate refusals, the archive unpacking and the window's ways out.
#include "transmission/frmUpload.h"

#include "archive/SentArchive.h"
#include "base/ReadWrite.h"
#include "certificates/CertificateMessages.h"
#include "platform/FileBrowser.h"
#include "sendings/SendingRule.h"
#include "store/BatchRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/SendingRepository.h"
#include "support/AccessibilityCheck.h"
#include "support/TransmissionFixture.h"
#include "support/ZipWriter.h"
#include "transmission/SendingCertificate.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTreeView>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const QString kName = QStringLiteral("frmUpload");
const QString kIe = QStringLiteral("86123452"); // simulator company, not Simples Nacional
const QString kKey = QStringLiteral("Z3P8W1RT");

class DeclarationWindow : public dadav::test::TransmissionFixture {
protected:
    void SetUp() override {
        TransmissionFixture::SetUp();
        registry.registerWindow<frmUpload>();
        state().setTaxpayer(kIe, QStringLiteral("Empresa Declarante"), kKey);
    }

    // Opens the window as the transmit command does: the main window disabled.
    frmUpload* open() {
        principal->setEnabled(false);
        return qobject_cast<frmUpload*>(registry.show(kName));
    }
    bool unloaded() const { return registry.loaded(kName) == nullptr; }

    QString archive(const dadav::test::ZipEntries& entries,
                    const QString& name = QStringLiteral("backup.zip")) {
        const QString path = userFolder.filePath(name);
        dadav::test::writeZip(path, entries);
        return path;
    }

    static QStringList gridColumn(const frmUpload* w, int column) {
        QStringList out;
        for (int r = 0; r < w->GridRefencias->rowCount(); ++r)
            out << w->GridRefencias->item(r, column)->text();
        return out;
    }

    // Selects grid rows from `from` to `to` as a drag would (to = where it ended).
    static void selectRows(frmUpload* w, int from, int to) {
        QTableWidget* g = w->GridRefencias;
        g->selectionModel()->select(QItemSelection(g->model()->index(qMin(from, to), 0),
                                                   g->model()->index(qMax(from, to), 2)),
                                    QItemSelectionModel::ClearAndSelect);
        g->selectionModel()->setCurrentIndex(g->model()->index(to, 1),
                                             QItemSelectionModel::NoUpdate);
    }

    std::vector<valdoria::UploadRecord> uploads() { return sim.simulator().uploads(); }
};

TEST_F(DeclarationWindow, SendsTheArchiveForTwoReferencesAndHandsOverToTheMainWindow) {
    QByteArray bytes;
    const QString zip = archive(
        {{"dbdef.bkp", QByteArray("definicoes")}, {"dados/gia.mdb", QByteArray(5000, 'g')}});
    {
        QFile f(zip);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll();
    }
    frmUpload* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->cmdUpload->isEnabled());

    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    EXPECT_EQ(w->txtUploadFile->text(), QDir::toNativeSeparators(zip));
    EXPECT_TRUE(w->cmdUpload->isEnabled());
    EXPECT_TRUE(QFile::exists(AppPaths::tempFolder() + QStringLiteral("/dados/gia.mdb")));
    ASSERT_EQ(w->GridRefencias->rowCount(), 14);

    selectRows(w, 12, 13); // 1 / 2014 and 2 / 2014
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return unloaded(); }));

    prompter.expectNoMessages();
    ASSERT_EQ(picker.requests().size(), 1);
    EXPECT_EQ(picker.requests().at(0).title, SendingCertificate::kDialogTitle);
    EXPECT_EQ(picker.requests().at(0).displayText, SendingCertificate::kDialogText);

    const auto up = uploads();
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].kind, "declaracao");
    EXPECT_EQ(up[0].ie, utf8(kIe));
    EXPECT_EQ(up[0].contador, utf8(accountantStored()));
    EXPECT_EQ(up[0].chave, utf8(kKey));
    EXPECT_EQ(up[0].gias, "1_2014,2_2014");
    EXPECT_EQ(up[0].fileName, "backup.zip");
    EXPECT_EQ(up[0].fieldName, "objArquivo");
    EXPECT_EQ(up[0].size, bytes.size());
    EXPECT_EQ(up[0].verdict, "aceito");
    const std::string expectedLine =
        "POST /client/xt_upload_1_15_01.php?ie=86123452&contador=" + utf8(accountantStored()) +
        "&chave=Z3P8W1RT&gias=1_2014,2_2014 HTTP/1.0\r\n";
    bool seen = false;
    for (const std::string& raw : sim.simulator().rawRequests())
        seen = seen || raw.rfind(expectedLine, 0) == 0;
    EXPECT_TRUE(seen) << "no request began with " << expectedLine;

    // The main window is back, with its list refreshed from the server: one
    // transmission per month, newest first.
    EXPECT_TRUE(principal->isEnabled());
    ASSERT_GE(principal->GridTransmissoes->rowCount(), 2);
    EXPECT_EQ(principal->GridTransmissoes->item(0, Principal::ColReferencia)->text(),
              QStringLiteral("02/2014"));
    EXPECT_EQ(principal->GridTransmissoes->item(1, Principal::ColReferencia)->text(),
              QStringLiteral("01/2014"));
    // Unloading removed the unpacked definitions file.
    EXPECT_FALSE(QFile::exists(AppPaths::tempFolder() + QStringLiteral("/dbdef.bkp")));
}

TEST_F(DeclarationWindow, ARefusalFromTheServerIsShownBeforeTheWindowCloses) {
    state().setTaxpayer(kIe, QStringLiteral("Empresa Declarante"), QStringLiteral("ERRADA99"));
    archive({{"dbdef.bkp", QByteArray("x")}});
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    selectRows(w, 12, 12);
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return unloaded(); }));

    // The page's markup is gone; the main window is back as after any reply.
    ASSERT_FALSE(prompter.messages().isEmpty());
    EXPECT_EQ(prompter.messages().at(0),
              (Message{QStringLiteral("ERRO - CHAVE_INVALIDA"), QStringLiteral("ERROR"),
                       MsgIcon::Critical, MsgButtons::Ok}));
    EXPECT_TRUE(principal->isEnabled());
    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_EQ(uploads()[0].verdict, "CHAVE_INVALIDA");
    EXPECT_TRUE(sim.simulator().transmissions().empty());
}

// A server that takes a request and closes without answering: after
// `cutAfter` bytes (a sending broken off), or once the whole request is in.
class SilentServer : public QObject {
public:
    explicit SilentServer(qint64 cutAfter) : m_cutAfter(cutAfter) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = m_server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void read(QTcpSocket* s) {
        m_buffer += s->readAll();
        if (m_cutAfter >= 0 && m_buffer.size() >= m_cutAfter) {
            s->abort();
            return;
        }
        const qsizetype head = m_buffer.indexOf("\r\n\r\n");
        static const QRegularExpression kLength(QStringLiteral("Content-Length: *(\\d+)"),
                                                QRegularExpression::CaseInsensitiveOption);
        const qint64 length =
            kLength.match(QString::fromLatin1(m_buffer.left(head))).captured(1).toLongLong();
        if (m_cutAfter < 0 && head >= 0 && m_buffer.size() >= head + 4 + length)
            s->disconnectFromHost();
    }

    qint64 m_cutAfter;
    QTcpServer m_server;
    QByteArray m_buffer;
};

// A sending without a reply is recorded with how far its request got: only
// a whole one keeps a copy and makes the same file a question next time
// (the question itself: tests/archive).
TEST_F(DeclarationWindow, ASendingWithoutAReplyIsRecordedWithHowFarItGot) {
    struct Case {
        const char* what;
        qint64 cutAfter; // -1: the whole request is read
        qint64 fileSize;
        bool whole;
    };
    // The long file cannot fit whole in the system's socket buffers.
    const Case cases[] = {{"broken off", 64 * 1024, 48 << 20, false},
                          {"answer lost", -1, 4096, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SilentServer server(c.cutAfter);
        sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(server.port()));
        prompter.clearMessages();
        clock.set(clock.now().addSecs(60));
        archive({{"dbdef.bkp", QByteArray(c.what)}});
        frmUpload* w = open();
        w->chooseFile(userFolder.path(), QStringLiteral("backup.zip")); // the months
        const QString name = QStringLiteral("%1.bin").arg(c.fileSize);
        userFile(name, QByteArray(c.fileSize, 'd'));
        w->chooseFile(userFolder.path(), name);
        selectRows(w, 12, 12);
        picker.pickNext(accountantCertificate());
        w->cmdUpload_Click();
        ASSERT_TRUE(waitFor([&] { return !prompter.messages().isEmpty(); }));
        EXPECT_EQ(prompter.messages().at(0).title, QStringLiteral("ERROR"));
        const QList<SentArchive::Record> kept = SentArchive::list(kIe);
        ASSERT_FALSE(kept.isEmpty());
        EXPECT_EQ(kept[0].result, SentArchive::kNoReply);
        EXPECT_EQ(kept[0].wholeRequestSent, c.whole);
        EXPECT_EQ(kept[0].archivedFile.isEmpty(), !c.whole); // a copy only when it may be there
        LocalDb db;
        SendingRule::Candidate again;
        again.record = kept[0];
        EXPECT_EQ(SendingRule::judge(db, again, clock.now()).has_value(), c.whole);
        registry.unload(kName);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(DeclarationWindow, FileNameGoesOutInWindows1252OrIsRefusedBeforeSending) {
    struct Case {
        const char* what;
        QString name;
        QByteArray onTheWire; // empty: refused, nothing sent
    };
    const Case cases[] = {
        {"en dash", QStringLiteral("GIA\u201378045302.ZIP"),
         QByteArray("GIA\x96"
                    "78045302.ZIP")},
        {"curly quotes and euro", QStringLiteral("\u2018\u2019\u201c\u201d\u20ac.zip"),
         QByteArray("\x91\x92\x93\x94\x80.zip")},
        {"arrow", QStringLiteral("GIA\u219278045302.ZIP"), QByteArray()},
    };
    // The upload requests the server got so far (the main window's calls aside).
    const auto sentUploads = [this] {
        std::vector<std::string> out;
        for (const std::string& raw : sim.simulator().rawRequests())
            if (raw.rfind("POST /client/xt_upload", 0) == 0)
                out.push_back(raw);
        return out;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.clearMessages();
        // Each reply refreshed the main window, which took the server's own date.
        state().setDataServidor(serverDate());
        const size_t before = sentUploads().size();
        // Other bytes each time: the same file again would be asked about.
        archive({{"dbdef.bkp", QByteArray(c.what)}}, c.name);
        frmUpload* w = open();
        w->chooseFile(userFolder.path(), c.name);
        selectRows(w, 12, 12);
        picker.pickNext(accountantCertificate());
        w->cmdUpload_Click();
        if (c.onTheWire.isEmpty()) {
            ASSERT_EQ(prompter.messages().size(), 1);
            EXPECT_EQ(prompter.messages().at(0).title, QStringLiteral("ERROR"));
            EXPECT_EQ(prompter.messages().at(0).icon, MsgIcon::Critical);
            EXPECT_THAT(utf8(prompter.messages().at(0).text), HasSubstr("\u2192"));
            EXPECT_THAT(utf8(prompter.messages().at(0).text), HasSubstr("Renomeie o arquivo"));
            EXPECT_FALSE(unloaded());
            EXPECT_EQ(sentUploads().size(), before);
            w->close();
            continue;
        }
        ASSERT_TRUE(waitFor([this] { return unloaded(); }));
        prompter.expectNoMessages();
        const auto raw = sentUploads();
        ASSERT_EQ(raw.size(), before + 1);
        const std::string expected = "; filename=\"" + c.onTheWire.toStdString() + "\"\r\n";
        EXPECT_NE(raw.back().find(expected), std::string::npos);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(DeclarationWindow, ReferenceListFollowsWorkingYearsAndToday) {
    archive({{"dbdef.bkp", QByteArray("x")}});
    frmUpload* w = open();
    EXPECT_THAT((QStringList{w->GridRefencias->horizontalHeaderItem(0)->text(),
                             w->GridRefencias->horizontalHeaderItem(1)->text(),
                             w->GridRefencias->horizontalHeaderItem(2)->text()}),
                ElementsAre(QStringLiteral("ID"), QStringLiteral("Referência"),
                            QStringLiteral("Regime tributário")));

    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    ASSERT_EQ(w->GridRefencias->rowCount(), 14);
    EXPECT_EQ(gridColumn(w, 0).first(), QStringLiteral("1_2013"));
    EXPECT_EQ(gridColumn(w, 1).last(), QStringLiteral("2 / 2014"));
    EXPECT_EQ(gridColumn(w, 2), QStringList(14, QStringLiteral("VAV-UVOD")));
    EXPECT_EQ(w->GridRefencias->currentRow(), 0);

    // In January no month of the current year; a second choice leaves no rows over.
    clock.set(QDateTime(QDate(2014, 1, 20), QTime(8, 0)));
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    EXPECT_EQ(w->GridRefencias->rowCount(), 12);
    EXPECT_EQ(gridColumn(w, 1).last(), QStringLiteral("12 / 2013"));

    // A file that is no archive keeps the list and may still be sent.
    userFile(QStringLiteral("notas.txt"), QByteArray("texto"));
    w->chooseFile(userFolder.path(), QStringLiteral("notas.txt"));
    EXPECT_EQ(w->GridRefencias->rowCount(), 12);
    EXPECT_TRUE(w->cmdUpload->isEnabled());
    prompter.expectNoMessages();
}

TEST_F(DeclarationWindow, MonthsOutsideTheWorkingYearsAreRefusedOnceWithTheDirectionsWording) {
    archive({{"dbdef.bkp", QByteArray("x")}});
    sim.writeIni(QStringLiteral("127.0.0.1"), QString::number(closedPort()));
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    state().setAnoTrabalho(QStringLiteral("2014")); // narrowed after the list was built

    const Message downward{
        QStringLiteral("Você deverá consultar a administração para saber quais documentos "
                       "poderão ser aceitos. 2014"),
        QString(), MsgIcon::None, MsgButtons::Ok};
    selectRows(w, 11, 12); // 12 / 2013 down to 1 / 2014
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return prompter.messages().size() >= 2; }));
    EXPECT_EQ(prompter.messages().at(0), downward);
    EXPECT_EQ(prompter.messages().at(1).title, QStringLiteral("ERROR"));
    EXPECT_EQ(prompter.messages().at(1).icon, MsgIcon::Warning);
    EXPECT_EQ(w->giaCerta(), 1);
    EXPECT_THAT(utf8(w->txtUrl->text()), HasSubstr("&gias=1_2014"));
    EXPECT_FALSE(unloaded()) << "a socket error leaves the window open";

    // Later sends of the same loaded window do not repeat the refusal.
    prompter.clearMessages();
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return !prompter.messages().isEmpty(); }));
    EXPECT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages().at(0).title, QStringLiteral("ERROR"));

    // Only refused months: nothing goes out, without a further message.
    prompter.clearMessages();
    selectRows(w, 3, 0);
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    EXPECT_EQ(w->giaCerta(), 0);
    prompter.expectNoMessages();

    // A fresh window: the same rows selected upward get the other wording.
    registry.unload(kName);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state().setAnoTrabalho(QStringLiteral("2013/2014"));
    w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    state().setAnoTrabalho(QStringLiteral("2014"));
    selectRows(w, 12, 11);
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return prompter.messages().size() >= 2; }));
    EXPECT_EQ(prompter.messages().at(0).text, QStringLiteral("Somente serão aceitas GIAS de 2014"));
    EXPECT_THAT(utf8(w->txtUrl->text()), HasSubstr("&gias=1_2014"));
    EXPECT_TRUE(uploads().empty());
}

// The archive keeps what went out; the same bytes for the same references
// are sent again only when the user says so (No is the default), another
// reference is not asked about, and months another desk's batch has queued
// are asked about too.
TEST_F(DeclarationWindow, SentFileIsArchivedAndSendingItAgainAsksFirst) {
    const QString zip = archive({{"dbdef.bkp", QByteArray("definicoes")}});
    const auto sendRows = [&](int from, int to) {
        // The list refresh brought the simulator's own date and years.
        state().setDataServidor(serverDate());
        state().setAnoTrabalho(QStringLiteral("2013/2014"));
        frmUpload* w = open();
        w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
        selectRows(w, from, to);
        picker.pickNext(accountantCertificate());
        w->cmdUpload_Click();
        return w;
    };
    sendRows(12, 13);
    ASSERT_TRUE(waitFor([this] { return unloaded(); }));
    prompter.expectNoMessages();

    const QList<SentArchive::Record> records = SentArchive::list(kIe);
    ASSERT_EQ(records.size(), 1);
    const SentArchive::Record& r = records.at(0);
    EXPECT_EQ(
        QFileInfo(r.archivedFile).absolutePath(),
        QDir(AppPaths::applicationFolder()).filePath(QStringLiteral("arquivo/86123452/2014-03")));
    QFile copy(r.archivedFile);
    QFile original(zip);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original.readAll());
    EXPECT_EQ(utf8(r.sha256), uploads().at(0).sha256);
    EXPECT_EQ(r.size, uploads().at(0).size);
    EXPECT_EQ(r.references, QStringLiteral("1_2014,2_2014"));
    EXPECT_EQ(r.fileName, QStringLiteral("backup.zip"));
    EXPECT_EQ(r.result, SentArchive::kAccepted);
    EXPECT_EQ(r.sentAt, today());
    EXPECT_FALSE(r.reply.isEmpty());

    const QString sentBefore =
        QStringLiteral("Este arquivo já foi enviado pela estação %1 em 15/03/2014 10:00. "
                       "Transmitir novamente?")
            .arg(thisDesk());
    // Another desk's batch waits to send a file for 02/2014.
    {
        LocalDb db;
        createBatch(db, QStringLiteral("mesa2@outra"), today().addSecs(-3600),
                    {{kIe, QStringLiteral("/outra/backup.zip"), SentArchive::kDeclaration,
                      QStringLiteral("2_2014")}});
    }
    const QString queued = QStringLiteral(
        "Um arquivo deste contribuinte para estas referências está na fila da estação "
        "mesa2@outra (lote de 15/03/2014 09:00). Transmitir mesmo assim?");
    struct Case {
        int from, to;
        std::optional<MsgAnswer> answer; // none: no question expected
        std::size_t uploadsAfter;
        const QString& question;
    };
    for (const Case& c :
         {Case{12, 13, MsgAnswer::No, 1, sentBefore}, Case{13, 12, MsgAnswer::Yes, 2, sentBefore},
          Case{12, 12, std::nullopt, 3, sentBefore}, Case{13, 13, MsgAnswer::No, 3, queued}}) {
        prompter.clearMessages();
        if (c.answer)
            prompter.answerNext(*c.answer, c.question);
        sendRows(c.from, c.to);
        if (c.answer != MsgAnswer::No) {
            ASSERT_TRUE(waitFor([this] { return unloaded(); }));
        }
        EXPECT_EQ(uploads().size(), c.uploadsAfter) << c.from << "-" << c.to;
        ASSERT_EQ(prompter.messages().size(), c.answer ? 1 : 0);
        if (c.answer) {
            EXPECT_EQ(prompter.messages().at(0).buttons, MsgButtons::YesNoDefaultNo)
                << prompter.messages().at(0).text.toStdString();
        }
        registry.unload(kName);
    }
    EXPECT_EQ(SentArchive::list(kIe).size(), 3);
}

// An archive that cannot be written never holds the sending back: the file
// goes out, the main window gets its list, and one line says what was lost.
TEST_F(DeclarationWindow, ArchiveThatCannotBeWrittenDoesNotStopTheSending) {
    sim.writeFile(QStringLiteral("arquivo"), QByteArray("a file where the folder should be"));
    archive({{"dbdef.bkp", QByteArray("x")}});
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    selectRows(w, 12, 12);
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return unloaded(); }));

    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_EQ(uploads()[0].verdict, "aceito");
    EXPECT_TRUE(principal->isEnabled());
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_THAT(utf8(prompter.messages().at(0).text),
                ::testing::StartsWith("O envio não foi guardado no arquivo local: "));
    EXPECT_EQ(prompter.messages().at(0).icon, MsgIcon::Warning);
}

TEST_F(DeclarationWindow, NoFileAndInvalidHostAreReportedAndNothingIsSent) {
    frmUpload* w = open();
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{QStringLiteral("No File Chosen"), QStringLiteral("ERROR"),
                                    MsgIcon::Critical, MsgButtons::Ok}));

    prompter.clearMessages();
    archive({{"dbdef.bkp", QByteArray("x")}});
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    sim.writeIni(QString(), QString::number(sim.port()));
    picker.pickNext(accountantCertificate());
    w->cmdUpload_Click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{QStringLiteral("Invalid Host"), QStringLiteral("ERROR"),
                                    MsgIcon::Critical, MsgButtons::Ok}));
    EXPECT_TRUE(w->txtUrl->text().startsWith(QStringLiteral("http://:")));

    // A port, path or user inside the host setting would send the file elsewhere.
    const QString port = QString::number(sim.port());
    for (const auto& [host, portSetting] :
         {std::pair{QStringLiteral("127.0.0.1:") + port + QStringLiteral("/x?"),
                    QStringLiteral("1")},
          std::pair{QStringLiteral("user:pw@127.0.0.1"), port}}) {
        prompter.clearMessages();
        sim.writeIni(host, portSetting);
        picker.pickNext(accountantCertificate());
        w->cmdUpload_Click();
        EXPECT_THAT(prompter.messages(),
                    ElementsAre(Message{QStringLiteral("Invalid Host"), QStringLiteral("ERROR"),
                                        MsgIcon::Critical, MsgButtons::Ok}))
            << utf8(host);
    }
    EXPECT_FALSE(unloaded());
    EXPECT_TRUE(uploads().empty());
}

TEST_F(DeclarationWindow, CertificateRefusalsStopTheSend) {
    archive({{"dbdef.bkp", QByteArray("x")}});
    const Message refused{SendingCertificate::kInvalid,
                          QStringLiteral("VAV-UVOD - MG - Certificado Inválido"), MsgIcon::Critical,
                          MsgButtons::Ok};
    const Message component{CertificateMessages::componentFailure(), QString(), MsgIcon::None,
                            MsgButtons::Ok};
    struct Case {
        const char* what;
        std::function<void()> script;
        QList<Message> messages;
    };
    const Case cases[] = {
        {"expired before the server's date",
         [this] { picker.pickNext(accountantCertificate({}, serverDate().addSecs(-1))); },
         {refused}},
        {"another person's certificate",
         [this] { picker.pickNext(accountantCertificate(QStringLiteral("OUTRO:98765432100"))); },
         {refused}},
        {"selection cancelled", [this] { picker.cancelNext(); }, {}},
        {"certificate store unusable", [this] { picker.failNext(); }, {component}},
    };
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    for (const Case& c : cases) {
        prompter.clearMessages();
        c.script();
        w->cmdUpload_Click();
        EXPECT_EQ(prompter.messages(), c.messages) << c.what;
        EXPECT_FALSE(w->Winsock1->isRunning()) << c.what;
    }
    EXPECT_TRUE(uploads().empty());
    EXPECT_TRUE(sim.simulator().rawRequests().empty());
}

TEST_F(DeclarationWindow, CertificateWithDistributionPointIsReadAndAccepted) {
    archive({{"dbdef.bkp", QByteArray("x")}});
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    picker.pickNext(accountantCertificate({}, {}, dadav::test::CrlPoint::Malformed));
    w->cmdUpload_Click();
    ASSERT_TRUE(waitFor([this] { return unloaded(); }));
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_THAT(utf8(prompter.messages().at(0).text),
                HasSubstr("Could not retrieve the URLs from the CDP extension: 0x"));
    EXPECT_EQ(uploads().size(), 1u);
}

TEST_F(DeclarationWindow, ArchiveEntryClimbingOutIsNotWrittenAndTheArchiveCanStillBeSent) {
    archive({{"dbdef.bkp", QByteArray("x")}, {"../../fora.txt", QByteArray("escapou")}});
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));

    ASSERT_EQ(prompter.messages().size(), 1);
    const Message& m = prompter.messages().at(0);
    EXPECT_TRUE(m.text.startsWith(QStringLiteral("Não foi possível descompactar o arquivo "
                                                 "escolhido.")));
    EXPECT_THAT(utf8(m.text), HasSubstr("../../fora.txt"));
    EXPECT_EQ(m.icon, MsgIcon::Warning);
    const QDir app(AppPaths::applicationFolder());
    EXPECT_FALSE(QFile::exists(app.filePath(QStringLiteral("fora.txt"))));
    EXPECT_FALSE(QFile::exists(app.filePath(QStringLiteral("../fora.txt"))));
    EXPECT_FALSE(QFile::exists(AppPaths::tempFolder() + QStringLiteral("/dbdef.bkp")));
    EXPECT_EQ(w->GridRefencias->rowCount(), 14);
    EXPECT_TRUE(w->cmdUpload->isEnabled());
}

TEST_F(DeclarationWindow, CancelHidesKeepingStateAndTheCloseBoxUnloads) {
    archive({{"dbdef.bkp", QByteArray("x")}});
    frmUpload* w = open();
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    ASSERT_TRUE(QFile::exists(AppPaths::tempFolder() + QStringLiteral("/dbdef.bkp")));

    w->Command2->click();
    EXPECT_TRUE(principal->isEnabled());
    EXPECT_FALSE(w->isVisible());
    principal->setEnabled(false);
    EXPECT_EQ(registry.show(kName), w);
    EXPECT_EQ(w->GridRefencias->rowCount(), 14);
    EXPECT_FALSE(w->txtUploadFile->text().isEmpty());

    w->close();
    EXPECT_TRUE(unloaded());
    EXPECT_TRUE(principal->isEnabled());
    EXPECT_FALSE(QFile::exists(AppPaths::tempFolder() + QStringLiteral("/dbdef.bkp")));
    prompter.expectNoMessages();
}

TEST_F(DeclarationWindow, BrowserOpensAtTheLastBackupFolderOfTheWineDrives) {
    // The prefix WINEPREFIX names, its drives as its dosdevices links lead.
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString root = QDir(prefix.path()).canonicalPath();
    const QString c = root + QStringLiteral("/drive_c/Program Files/SEFAZ-RJ/VAV-UVOD/Backup");
    const QString d =
        root + QStringLiteral("/drive_d/Program Files (x86)/SEFAZ-RJ/VAV-UVOD/Backup");
    ASSERT_TRUE(QDir().mkpath(c));
    ASSERT_TRUE(QDir().mkpath(d));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/dosdevices")));
    ASSERT_TRUE(QFile::link(QStringLiteral("../drive_c"), root + QStringLiteral("/dosdevices/c:")));
    ASSERT_TRUE(QFile::link(QStringLiteral("../drive_d"), root + QStringLiteral("/dosdevices/d:")));
    const QByteArray oldPrefix = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", QFile::encodeName(root));

    frmUpload* w = open();
    if (oldPrefix.isNull())
        qunsetenv("WINEPREFIX");
    else
        qputenv("WINEPREFIX", oldPrefix);
    EXPECT_EQ(w->browser->location(), root + QStringLiteral("/drive_d"));
    EXPECT_EQ(w->browser->folder(), d);
    EXPECT_EQ(w->Drive1->currentText(), QStringLiteral("D:\\ (Wine)"));
}

TEST_F(DeclarationWindow, ChoosingInTheFileListRunsTheFileStep) {
    archive({{"dbdef.bkp", QByteArray("x")}});
    userFile(QStringLiteral("leiame.txt"), QByteArray("texto"));
    frmUpload* w = open();
    w->browser->setLocation(userFolder.path());
    EXPECT_EQ(w->browser->folder(), QDir::cleanPath(userFolder.path()));
    QAbstractItemModel* files = w->file->model();
    ASSERT_TRUE(waitFor([&] { return files->rowCount(w->file->rootIndex()) == 2; }));

    QModelIndex zip;
    for (int r = 0; r < 2; ++r) {
        const QModelIndex i = files->index(r, 0, w->file->rootIndex());
        if (i.data().toString() == QStringLiteral("backup.zip"))
            zip = i;
    }
    ASSERT_TRUE(zip.isValid());
    w->file->setCurrentIndex(zip);
    EXPECT_EQ(w->txtUploadFile->text(),
              QDir::toNativeSeparators(userFolder.filePath(QStringLiteral("backup.zip"))));
    EXPECT_EQ(w->GridRefencias->rowCount(), 14);
    EXPECT_TRUE(w->cmdUpload->isEnabled());
}

TEST_F(DeclarationWindow, TransmitCommandOpensThisWindowForADeclarant) {
    {
        LocalDb db;
        insertContribuinte(db, {kIe, QStringLiteral("Empresa Declarante"),
                                QStringLiteral("04.567.891/0001-13"), QStringLiteral("4711-3/02"),
                                kKey, QString(), false});
    }
    principal->Command1_Click();
    auto* w = qobject_cast<frmUpload*>(registry.loaded(kName));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(principal->isEnabled());
    EXPECT_EQ(w->windowTitle(),
              frmUpload::caption() + QStringLiteral(" - Ano trabalho: 2013/2014"));
    EXPECT_THAT(prompter.texts(),
                ElementsAre(QStringLiteral("O Certificado que será solicitado durante a "
                                           "transmissão é do contador responsável")));
    w->Command2->click();
    EXPECT_TRUE(principal->isEnabled());
}

TEST_F(DeclarationWindow, LabelsTextsAndKeyboardAccess) {
    frmUpload* w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Selecione o arquivo de backup ZIP para Entrega  - "
                                               "Prefeitura Municipal de Valdoria"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("Transmissão de Declaração - VAV-UVOD"));
    EXPECT_EQ(w->Frame1->title(), QStringLiteral("Selecione as referências a enviar"));
    EXPECT_EQ(w->lblSendSpeed->text(), QStringLiteral("100% restante"));
    EXPECT_EQ(w->txtName->text(), QStringLiteral("objArquivo"));
    EXPECT_EQ(w->txtMIMEType->text(), QStringLiteral("application/octet-stream"));
    EXPECT_FALSE(w->Preparacao->isVisible());

    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
    // "Enviar" joins the order once a file is chosen.
    archive({{"dbdef.bkp", QByteArray("x")}});
    w->chooseFile(userFolder.path(), QStringLiteral("backup.zip"));
    EXPECT_THAT(AccessibilityCheck::tabOrder(w),
                ElementsAre("Drive1", "dir", "file", "txtUploadFile", "GridRefencias", "cmdUpload",
                            "Command2", "txtUrl", "txtName", "txtMIMEType", "txtRequest",
                            "txtResponse"));

    // Clicking a field's label gives the field the focus.
    w->activateWindow();
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->lblFile, &release);
    EXPECT_EQ(w->focusWidget(), w->dir);
    QCoreApplication::sendEvent(w->lblName, &release);
    EXPECT_EQ(w->focusWidget(), w->txtName);
    // The field's whole text is selected once it has the focus.
    w->txtMIMEType->deselect();
    w->txtMIMEType->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(waitFor([w] { return w->txtMIMEType->hasSelectedText(); }, 5000));
    EXPECT_EQ(w->txtMIMEType->selectedText(), QStringLiteral("application/octet-stream"));
    if (!qEnvironmentVariableIsEmpty("DADAV_GRAB"))
        w->grab().save(qEnvironmentVariable("DADAV_GRAB") + QStringLiteral("/frmUpload.png"));
}

} // namespace
