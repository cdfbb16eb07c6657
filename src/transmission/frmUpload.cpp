// The declaration transmission window.
#include "transmission/frmUpload.h"

#include "base/AppPaths.h"
#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "platform/ArchiveUnpack.h"
#include "platform/BrowseLocations.h"
#include "platform/Clock.h"
#include "platform/FileBrowser.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/ProgramState.h"
#include "transmission/BackupFolders.h"
#include "transmission/SingleUpload.h"
#include "transmission/UploadAddress.h"
#include "transmission/UploadVerdict.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kName = QStringLiteral("frmUpload");

QString dbdefPath() {
    return QDir(AppPaths::tempFolder()).filePath(QStringLiteral("dbdef.bkp"));
}

// The folder that stands for a drive letter of the state program's install.
QString driveRoot(QChar letter) {
#ifdef Q_OS_WIN
    return QString(letter) + QStringLiteral(":/");
#else
    return BrowseLocations::wineDrive(BrowseLocations::winePrefix(QDir::homePath()), letter);
#endif
}

} // namespace

frmUpload::frmUpload(AppContext& context, QWidget* parent)
    : TransmissionWindow(context, kName, refusalTitle(), parent) {
    setWindowTitle(caption());
    setWindowIcon(Emblem::icon());

    Preparacao = new QGroupBox(QStringLiteral("Processando"), this);
    Preparacao->setObjectName(QStringLiteral("Preparacao"));
    Progresso = new QProgressBar(Preparacao);
    Progresso->setObjectName(QStringLiteral("Progresso"));
    Progresso->setAccessibleName(QStringLiteral("Progresso da preparação"));
    Label4 = new QLabel(QStringLiteral("Aguarde a preparação do arquivo."), Preparacao);
    Label4->setObjectName(QStringLiteral("Label4"));
    ocorrencia = new QLabel(Preparacao);
    ocorrencia->setObjectName(QStringLiteral("ocorrencia"));
    auto* prep = new QVBoxLayout(Preparacao);
    prep->addWidget(Label4);
    prep->addWidget(Progresso);
    prep->addWidget(ocorrencia);
    Preparacao->hide();

    buildControls(Preparacao);
    Label1->setText(QStringLiteral("Transmissão de Declaração - VAV-UVOD"));
    Label2->setText(QStringLiteral("Selecione o arquivo que deseja enviar. Para contribuintes "
                                   "enquadrados VAV-UVOD o arquivo a ser enviado é com extensão "
                                   ".ZIP (Cópia de Segurança)"));
    Form_Load();
}

QString frmUpload::caption() {
    return QStringLiteral(
        "Selecione o arquivo de backup ZIP para Entrega  - Prefeitura Municipal de Valdoria");
}

QString frmUpload::refusalTitle() {
    return QStringLiteral("VAV-UVOD - MG - Certificado Inválido");
}

void frmUpload::Form_Load() {
    browser->setLocations(BrowseLocations::available(
        QDir::homePath(), BrowseLocations::winePrefix(QDir::homePath())));
    discoverBackupFolder();
    loadAccountant();
}

void frmUpload::discoverBackupFolder() {
    const BackupFolders::Discovery found =
        BackupFolders::discover(BackupFolders::candidates(driveRoot),
                                [](const QString& folder) { return QFileInfo(folder).isDir(); });
    if (found.drive.isNull())
        return; // nothing found: the lists keep their default place
    browser->setLocation(driveRoot(found.drive));
    browser->setFolder(found.folder);
}

QList<ReferenceList::Row> frmUpload::referenceRows() const {
    QList<ReferenceList::Row> rows;
    for (int r = 0; r < GridRefencias->rowCount(); ++r) {
        const QTableWidgetItem* id = GridRefencias->item(r, 0);
        const QTableWidgetItem* ref = GridRefencias->item(r, 1);
        rows.append({id ? id->text() : QString(), ref ? ref->text() : QString()});
    }
    return rows;
}

void frmUpload::fillReferences(const QList<ReferenceList::Row>& rows) {
    // A new archive gets a new list: no rows of an earlier choice are left over.
    GridRefencias->clearContents();
    GridRefencias->setRowCount(0);
    for (const ReferenceList::Row& row : rows) {
        const int r = GridRefencias->rowCount();
        GridRefencias->insertRow(r);
        GridRefencias->setItem(r, 0, new QTableWidgetItem(row.id));
        GridRefencias->setItem(r, 1, new QTableWidgetItem(row.referencia));
        auto* regime = new QTableWidgetItem(ReferenceList::kRegime);
        regime->setTextAlignment(Qt::AlignCenter);
        GridRefencias->setItem(r, 2, regime);
    }
    // As in any list, the first row starts out current and selected.
    if (!rows.isEmpty())
        GridRefencias->setCurrentCell(0, 1);
}

void frmUpload::unpackArchive(const QString& path) {
    try {
        ArchiveUnpack::unpack(path, AppPaths::tempFolder());
    } catch (const RuntimeError& error) {
        // Nothing later reads the unpacked files: the archive may still be sent.
        m_context.prompter->show(
            {QStringLiteral("Não foi possível descompactar o arquivo escolhido.\r\n\r\n") +
                 error.description() + QStringLiteral("\r\n\r\nO arquivo ainda pode ser enviado."),
             QStringLiteral("VAV-UVOD - RJ"), MsgIcon::Warning, MsgButtons::Ok});
    }
}

void frmUpload::file_Click(const QString& folder, const QString& name) {
    txtUploadFile->setText(QDir::toNativeSeparators(QDir(folder).filePath(name)));
    QFile::remove(dbdefPath()); // a missing file is fine
    Preparacao->hide();
    if (ReferenceList::isArchiveName(name)) {
        unpackArchive(txtUploadFile->text());
        const QDate today = m_context.clock->today();
        const QString anos = m_context.state ? m_context.state->anoTrabalho() : QString();
        fillReferences(ReferenceList::build(anos, today));
    }
    cmdUpload->setEnabled(true);
}

void frmUpload::cmdUpload_Click() {
    const BusyScope busy(*this);
    try {
        if (!readyToSend())
            return;

        // The selected rows from top to bottom, whichever way the user dragged.
        const QString anos = m_context.state ? m_context.state->anoTrabalho() : QString();
        const int current = GridRefencias->currentRow();
        int top = current;
        int bottom = current;
        const QList<QTableWidgetSelectionRange> ranges = GridRefencias->selectedRanges();
        if (!ranges.isEmpty()) {
            top = ranges.first().topRow();
            bottom = ranges.first().bottomRow();
        }
        const bool downward = bottom > top && current == bottom;
        QList<ReferenceList::Row> selected;
        const QList<ReferenceList::Row> rows = referenceRows();
        for (int r = qMax(0, top); r >= 0 && r <= bottom && r < rows.size(); ++r)
            selected.append(rows.at(r));

        const ReferenceList::Collected refs = ReferenceList::collect(selected, anos);
        m_giaCerta = refs.accepted;
        if (refs.refused && !m_msgTrabalho) {
            m_msgTrabalho = true;
            m_context.prompter->show({ReferenceList::refusalMessage(downward, anos), QString(),
                                      MsgIcon::None, MsgButtons::Ok});
        }
        if (m_giaCerta == 0)
            return;

        const QString host =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
        const QString port =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
        if (!confirmNotSentBefore(SentArchive::kDeclaration, refs.gias))
            return;
        const ProgramState* state = m_context.state;
        startUpload(UploadAddress::declaration(host, port, state ? state->IE() : QString(),
                                               state ? state->thisCont_cpf_cnpj() : QString(),
                                               state ? state->Chave() : QString(), refs.gias));
    } catch (const std::exception& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(kName, error)));
    }
}

void frmUpload::Winsock1_DataArrival(const QByteArray& reply) {
    const QString text = SingleUpload::replyText(reply);
    txtResponse->setPlainText(txtResponse->toPlainText() + text);
    // A refusal comes back as an ordinary page; without this box the window
    // would close as after an accepted declaration.
    const UploadVerdict::Verdict verdict = UploadVerdict::declaration(text);
    for (const Message& box : verdict.boxes)
        m_context.prompter->show(box);
    enableMain();
    refreshMain();
    archiveSending(verdict.result(), text);
    unloadSelf();
}

void frmUpload::Winsock1_Error(const QString& description, MultipartUpload::Failure kind) {
    // The window stays, so the user can try again: never by itself.
    showUploadFailure(description, kind);
    archiveSending(SentArchive::kNoReply, description);
}

void frmUpload::Form_Unload() {
    TransmissionWindow::Form_Unload();
    QFile::remove(dbdefPath());
}
