// The scenes, in the order a user meets the windows.
#include "Scenes.h"

#include "DemoData.h"

#include "app/Principal.h"
#include "archive/ArchivedSending.h"
#include "archivewindow/ArchiveWindow.h"
#include "batchwindow/BatchWindow.h"
#include "certificates/CertificateDialog.h"
#include "certificates/CertificateStore.h"
#include "certificates/FolderSource.h"
#include "certificateswindow/CertificatesWindow.h"
#include "diagnostics/Diagnostics.h"
#include "diagnostics/DiagnosticsWindow.h"
#include "overview/OverviewFiller.h"
#include "overview/OverviewWindow.h"
#include "platform/Clock.h"
#include "platform/FileBrowser.h"
#include "platform/MaskedEdit.h"
#include "platform/Prompter.h"
#include "registry/frmtbl_CriaContribuinte.h"
#include "shell/WindowRegistry.h"
#include "transmission/frmUpload.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidget>

#include <stdexcept>
#include <string>
#include <utility>

namespace {

template <class W> W* shown(WindowRegistry& windows) {
    W* w = qobject_cast<W*>(windows.show(QString::fromLatin1(W::staticMetaObject.className())));
    if (!w)
        throw std::runtime_error(std::string("window not registered: ") +
                                 W::staticMetaObject.className());
    return w;
}

void require(bool condition, const char* what) {
    if (!condition)
        throw std::runtime_error(what);
}

} // namespace

Scenes::Scenes(WindowRegistry& windows, const DemoData& data, QString outputFolder)
    : m_windows(windows), m_data(data), m_folder(std::move(outputFolder)) {}

QStringList Scenes::runAll() {
    if (!QDir().mkpath(m_folder))
        throw std::runtime_error("cannot create " + m_folder.toStdString());
    opening();
    mainWindow();
    receipt();
    newTaxpayer();
    declaration();
    overview();
    localArchive();
    certificateChoice();
    certificates();
    diagnostics();
    batch();
    about();
    return m_written;
}

void Scenes::settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Scenes::save(QWidget* window, const QString& name) {
    window->raise();
    window->activateWindow();
    settle();
    // The screen's pixels show the frame a window manager draws around the
    // window; without a screen to read, the window's own pixels.
    QPixmap picture;
    if (QScreen* screen = window->screen(); screen && QGuiApplication::platformName() == "xcb") {
        const QRect frame = window->frameGeometry();
        picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    if (picture.isNull())
        picture = window->grab();
    const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
    if (!picture.save(path, "PNG"))
        throw std::runtime_error("cannot save " + path.toStdString());
    m_written << path;
}

void Scenes::opening() {
    save(m_windows.show(QStringLiteral("Abertura")), QStringLiteral("abertura"));
    m_windows.hide(QStringLiteral("Abertura"));
}

// What choosing a taxpayer does: the main window lists its transmissions.
void Scenes::mainWindow() {
    Principal* p = shown<Principal>(m_windows);
    p->state().setTaxpayer(DemoData::kIe, DemoData::kName, DemoData::kKey);
    p->state().announceSelection();
    p->RecebeDadosServer();
    require(p->GridTransmissoes->rowCount() > 0, "the main window listed no transmission");
    save(p, QStringLiteral("principal"));
}

// A processed transmission clicked: its receipt in the tree.
void Scenes::receipt() {
    Principal* p = shown<Principal>(m_windows);
    p->GridTransmissoes->selectRow(0);
    p->GridTransmissoes_Click(0);
    require(!p->tvwPessoa->isHidden() && p->tvwPessoa->topLevelItemCount() > 0,
            "the receipt tree stayed empty");
    p->tvwPessoa->expandAll();
    save(p, QStringLiteral("recibo"));
}

// A new company filled in and its key received with its certificate.
void Scenes::newTaxpayer() {
    auto* w = shown<frmtbl_CriaContribuinte>(m_windows);
    w->txtIE->setMaskedText(DemoData::kNewIe);
    w->txtRazaoSocial->setText(DemoData::kNewName);
    w->txtCNPJ->setMaskedText(DemoData::kNewCnpj);
    w->txtCNAE->setMaskedText(QStringLiteral("4711-3/02"));
    w->txtInscMunicipal->setText(QStringLiteral("2.345.678-9"));
    w->Command1->click();
    require(!w->Chave->text().isEmpty(), "the server issued no key");
    save(w, QStringLiteral("novo-contribuinte"));
    w->cmdCancelar->click();
    settle(100);
}

// The backup archive chosen and two months marked for sending.
void Scenes::declaration() {
    Principal* p = shown<Principal>(m_windows);
    p->setEnabled(false); // as the transmit command leaves it
    auto* w = shown<frmUpload>(m_windows);
    require(QDir(w->browser->folder()) == QDir(m_data.backupFolder()),
            "the file browser did not open at the backup folder");
    // The archive clicked in the file list, once the list has read the folder.
    const QAbstractItemModel* files = w->file->model();
    QModelIndex archive;
    QElapsedTimer waited;
    waited.start();
    while (!archive.isValid() && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        for (int r = 0; r < files->rowCount(w->file->rootIndex()); ++r) {
            const QModelIndex i = files->index(r, 0, w->file->rootIndex());
            if (i.data().toString() == DemoData::backupName())
                archive = i;
        }
    }
    require(archive.isValid(), "the file list did not show the backup archive");
    w->file->setCurrentIndex(archive);
    QTableWidget* g = w->GridRefencias;
    require(g->rowCount() >= 2, "the archive brought no reference months");
    const int last = g->rowCount() - 1;
    g->selectionModel()->select(QItemSelection(g->model()->index(last - 1, 0),
                                               g->model()->index(last, g->columnCount() - 1)),
                                QItemSelectionModel::ClearAndSelect);
    g->scrollToBottom();
    save(w, QStringLiteral("envio-declaracao"));
    w->Command2_Click();
    settle(100);
}

void Scenes::about() {
    save(m_windows.show(QStringLiteral("frmSobre")), QStringLiteral("sobre"));
}

void Scenes::waitFor(const std::function<bool()>& done, const char* what) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    require(done(), what);
}

// The selection dialog as the new-taxpayer window opens it, the demo folder listed.
void Scenes::certificateChoice() {
    struct NoMessages : Prompter {
        MsgAnswer show(const Message& m) override {
            throw std::runtime_error("the certificate dialog showed: " + m.text.toStdString());
        }
    } prompter;
    CertificateStore store(m_data.certificateFolder());
    CertificateDialog dialog(
        store, prompter, systemClock(), {},
        QStringLiteral("Selecione o Certificado Digital (e-CNPJ)"),
        QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave"),
        store.list());
    dialog.show();
    dialog.startListing({std::make_shared<FolderSource>(m_data.certificateFolder())},
                        std::chrono::seconds(10));
    waitFor([&dialog] { return !dialog.listing(); }, "the certificate dialog never listed");
    save(&dialog, QStringLiteral("selecao-certificado"));
    dialog.reject();
    settle(100);
}

// Every taxpayer of the office, filled from the server.
void Scenes::overview() {
    auto* w = shown<OverviewWindow>(m_windows);
    waitFor([w] { return !w->filler().running(); }, "the overview was never filled");
    settle(300); // the certificate column fills in after the sources answer
    save(w, QStringLiteral("visao-geral"));
    w->close();
    settle(100);
}

// The local archive of the taxpayer in use: the receipt opened before, and
// two sendings of the backup archive the day before, refused then accepted.
void Scenes::localArchive() {
    const QString ie = shown<Principal>(m_windows)->state().IE();
    const QString backup = QDir(m_data.backupFolder()).filePath(DemoData::backupName());
    const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
    const struct {
        QString result;
        QString reply;
        QDateTime when;
    } sendings[] = {
        {SentArchive::kRefused, QStringLiteral("ERRO - CHAVE_INVALIDA"), yesterday.addSecs(-3600)},
        {SentArchive::kAccepted, QStringLiteral("Aguardando processamento."), yesterday},
    };
    for (const auto& s : sendings) {
        std::optional<SentArchive::ArchivedSending> sending = SentArchive::ArchivedSending::prepare(
            ie, SentArchive::kDeclaration, QStringLiteral("1_2026,2_2026"), backup);
        require(sending.has_value(), "the backup archive could not be read");
        sending->requestStarted();
        sending->wholeRequestSent();
        require(sending->finish(s.result, s.reply, s.when).isEmpty(),
                "the local archive could not keep a sending");
    }
    auto* w = shown<ArchiveWindow>(m_windows);
    require(w->Grid->rowCount() > 0, "the local archive listed nothing");
    save(w, QStringLiteral("arquivo-local"));
    w->close();
    settle(100);
}

// The company's certificate beside the taxpayers it serves.
void Scenes::certificates() {
    auto* w = shown<CertificatesWindow>(m_windows);
    waitFor([w] { return !w->listing(); }, "the certificates were never listed");
    require(w->lstCertificados->topLevelItemCount() > 0, "no certificate was listed");
    save(w, QStringLiteral("certificados"));
    w->close();
    settle(100);
}

// Every step run against the simulator.
void Scenes::diagnostics() {
    auto* w = shown<DiagnosticsWindow>(m_windows);
    waitFor([w] { return !w->diagnostics()->isRunning(); }, "the diagnostics never ended");
    save(w, QStringLiteral("diagnostico"));
    w->close();
    settle(100);
}

// The monthly round: the state program's Backup folder read, each file
// matched to its taxpayer by the IE in its name, the months proposed and the
// checks of every row (one extract sent to a taxpayer that files
// declarations, one file without an IE, one taxpayer still without a key).
void Scenes::batch() {
    const QDir backup(m_data.backupFolder());
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"PGDAS 86123452 2026-11.pdf", QByteArray("%PDF-1.4\n%%EOF\n")},
        {"78045302 extrato.pdf", QByteArray("%PDF-1.4\n%%EOF\n")},
        {"copia-seguranca-novembro.zip", QByteArray("PK\3\4")},
    };
    for (const auto& f : files) {
        QFile file(backup.filePath(QString::fromUtf8(f.name)));
        require(file.open(QIODevice::WriteOnly) && file.write(f.bytes) == f.bytes.size(),
                "a file of the batch could not be written");
    }
    auto* w = shown<BatchWindow>(m_windows);
    w->addPaths({backup.path()}, backup.path());
    waitFor(
        [w] {
            for (const QStringList& row : w->rowsShown())
                if (row[BatchWindow::ColVerificacao].startsWith(QStringLiteral("Aguardando")))
                    return false;
            return !w->rowsShown().isEmpty();
        },
        "the batch's lists never came");
    save(w, QStringLiteral("envio-lote"));
    w->close();
    settle(100);
}
