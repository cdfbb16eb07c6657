// The Simples Nacional extract window.
#include "transmission/frmUploadSimples.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "platform/BrowseLocations.h"
#include "platform/FileBrowser.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/ProgramState.h"
#include "transmission/SimplesReply.h"
#include "transmission/SingleUpload.h"
#include "transmission/UploadAddress.h"
#include "transmission/UploadVerdict.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kName = QStringLiteral("frmUploadSimples");

} // namespace

frmUploadSimples::frmUploadSimples(AppContext& context, QWidget* parent)
    : TransmissionWindow(context, kName, refusalTitle(), parent) {
    setWindowTitle(caption());
    setWindowIcon(Emblem::icon());
    buildControls(nullptr);
    Label1->setText(QStringLiteral("Transmissão de Declaração - Simples Nacional"));
    Label2->setText(QStringLiteral("Selecione o arquivo que deseja enviar.  Para contribuintes "
                                   "inscritos no Simples Nacional o arquivo a ser enviado é o "
                                   "PGDAS-_____.pdf"));
    Form_Load();
}

QString frmUploadSimples::caption() {
    return QStringLiteral("Selecione o arquivo PDF - Declaração - SIMPLES NACIONAL - Prefeitura "
                          "Municipal de Valdoria");
}

QString frmUploadSimples::refusalTitle() {
    return QStringLiteral("VAV-UVOD - RJ - Certificado Inválido");
}

void frmUploadSimples::Form_Load() {
    const QString home = QDir::homePath();
    browser->setLocations(BrowseLocations::available(home, BrowseLocations::winePrefix(home)));
    browser->setLocation(home);
    loadAccountant();
}

void frmUploadSimples::file_Click(const QString& folder, const QString& name) {
    txtUploadFile->setText(QDir::toNativeSeparators(QDir(folder).filePath(name)));
    if (SimplesReply::isPdfName(name)) {
        cmdUpload->setEnabled(true);
        enableMain();
        return;
    }
    cmdUpload->setEnabled(false);
    m_context.prompter->show(
        {QStringLiteral("Arquivo Inválido"), QString(), MsgIcon::None, MsgButtons::Ok});
}

void frmUploadSimples::cmdUpload_Click() {
    const BusyScope busy(*this);
    try {
        if (!readyToSend())
            return;
        const QString host =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
        const QString port =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
        if (!confirmNotSentBefore(SentArchive::kSimples, QString()))
            return;
        const ProgramState* state = m_context.state;
        startUpload(UploadAddress::simples(host, port,
                                           state ? state->thisCont_cpf_cnpj() : QString(),
                                           state ? state->Chave() : QString()));
    } catch (const std::exception& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(kName, error)));
    }
}

void frmUploadSimples::Winsock1_Connect(const QString& request) {
    TransmissionWindow::Winsock1_Connect(request);
    pauseFor(kPauseBeforeSend);
    // The request is written once this handler returns; the second pause
    // follows that write.
    QTimer::singleShot(0, this, [this] { pauseFor(kPauseAfterSend); });
}

void frmUploadSimples::Winsock1_DataArrival(const QByteArray& reply) {
    const QString text = SingleUpload::replyText(reply);
    txtResponse->setPlainText(txtResponse->toPlainText() + text);
    enableMain();
    pauseFor(kPauseBeforeVerdict);
    const UploadVerdict::Verdict verdict = UploadVerdict::simples(reply, text);
    for (const Message& box : verdict.boxes)
        m_context.prompter->show(box);
    refreshMain();
    archiveSending(verdict.result(), text);
    unloadSelf();
}

void frmUploadSimples::Winsock1_Error(const QString& description, MultipartUpload::Failure kind) {
    showUploadFailure(description, kind);
    archiveSending(SentArchive::kNoReply, description);
    // A connection that failed after starting ends the window, as it always
    // has; the user now learns why instead of seeing it vanish.
    if (kind == MultipartUpload::Failure::Socket || kind == MultipartUpload::Failure::Timeout)
        unloadSelf();
}
