// The shared part of the transmission windows.
#include "transmission/TransmissionWindow.h"

#include "base/RuntimeError.h"
#include "platform/Clock.h"
#include "platform/EventLoopPause.h"
#include "platform/FileBrowser.h"
#include "platform/Prompter.h"
#include "platform/Twips.h"
#include "sendings/SendingRule.h"
#include "shell/AppContext.h"
#include "shell/ErrorReport.h"
#include "shell/ProgramState.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "transmission/SendingCertificateChoice.h"
#include "transmission/SingleUpload.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kMainWindow = QStringLiteral("Principal");

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TransmissionWindow::TransmissionWindow(AppContext& context, const QString& windowName,
                                       const QString& refusalTitle, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context), m_windowName(windowName),
      m_refusalTitle(refusalTitle) {
    setObjectName(windowName);
    Winsock1 = new MultipartUpload(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    Winsock1->setProxyAuth(context.proxyAuth);
    connect(Winsock1, &MultipartUpload::requestReady, this, [this](const QString& request) {
        const BusyScope busy(*this);
        if (m_sending)
            m_sending->requestStarted();
        Winsock1_Connect(request);
    });
    connect(Winsock1, &MultipartUpload::progress, this, &TransmissionWindow::Winsock1_SendProgress);
    connect(Winsock1, &MultipartUpload::sent, this, [this](const QString& text) {
        if (m_sending)
            m_sending->wholeRequestSent();
        Winsock1_SendComplete(text);
    });
    connect(Winsock1, &MultipartUpload::replyReceived, this, [this](const QByteArray& reply) {
        const BusyScope busy(*this);
        Winsock1_DataArrival(reply);
    });
    connect(Winsock1, &MultipartUpload::failed, this,
            [this](const QString& description, MultipartUpload::Failure kind) {
                const BusyScope busy(*this);
                Winsock1_Error(description, kind);
            });
}

TransmissionWindow::~TransmissionWindow() = default;

void TransmissionWindow::buildControls(QWidget* extra) {
    Label1 = named(new QLabel(this), "Label1");
    QFont title = Label1->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.3);
    Label1->setFont(title);
    Label2 = named(new QLabel(this), "Label2");
    Label2->setWordWrap(true);

    browser = named(new FileBrowser(this), "browser");
    Drive1 = browser->Drive1;
    dir = browser->dir;
    file = browser->file;
    connect(browser, &FileBrowser::fileChosen, this, &TransmissionWindow::chooseFile);

    txtUploadFile = named(new QLineEdit(this), "txtUploadFile");
    txtUploadFile->setReadOnly(true);
    lblFile = named(new QLabel(QStringLiteral("Arquivo MDB"), this), "lblFile");
    lblFile->setBuddy(txtUploadFile);
    lblFile->installEventFilter(this);

    Frame1 =
        named(new QGroupBox(QStringLiteral("Selecione as referências a enviar"), this), "Frame1");
    GridRefencias = named(new QTableWidget(0, 3, Frame1), "GridRefencias");
    GridRefencias->setAccessibleName(QStringLiteral("Referências"));
    GridRefencias->setHorizontalHeaderLabels(
        {QStringLiteral("ID"), QStringLiteral("Referência"), QStringLiteral("Regime tributário")});
    GridRefencias->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridRefencias->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridRefencias->setSelectionMode(QAbstractItemView::ContiguousSelection);
    GridRefencias->verticalHeader()->hide();
    const double dpi = logicalDpiX();
    GridRefencias->setColumnWidth(0, Twips::TwipsToPixels(1, dpi));
    GridRefencias->setColumnHidden(0, true); // the key sent to the server, not for reading
    GridRefencias->setColumnWidth(1, Twips::TwipsToPixels(2000, dpi));
    GridRefencias->setColumnWidth(2, Twips::TwipsToPixels(1600, dpi));
    GridRefencias->horizontalHeader()->setStretchLastSection(true);
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(GridRefencias);

    cmdUpload = named(new QPushButton(QStringLiteral("&Enviar"), this), "cmdUpload");
    cmdUpload->setEnabled(false);
    Command2 = named(new QPushButton(QStringLiteral("&Cancelar"), this), "Command2");
    connect(cmdUpload, &QPushButton::clicked, this, [this] { cmdUpload_Click(); });
    connect(Command2, &QPushButton::clicked, this, &TransmissionWindow::Command2_Click);

    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setAccessibleName(QStringLiteral("Progresso do envio"));
    lblSendSpeed = named(new QLabel(QStringLiteral("100% restante"), this), "lblSendSpeed");

    // The upload's technical fields: the address, the form field, the request
    // as sent and the server's reply, for whoever supports the user.
    fraDetalhes = named(new QGroupBox(QStringLiteral("Detalhes do envio"), this), "fraDetalhes");
    txtUrl = named(new QLineEdit(fraDetalhes), "txtUrl");
    txtUrl->setText(QStringLiteral("http://127.0.0.1/client/xt_upload_1_15_01.php"));
    lblUrl = named(new QLabel(QStringLiteral("Upload URL"), fraDetalhes), "lblUrl");
    lblUrl->setBuddy(txtUrl);
    txtName = named(new QLineEdit(SingleUpload::kFileField, fraDetalhes), "txtName");
    lblName = named(new QLabel(QStringLiteral("Name"), fraDetalhes), "lblName");
    lblName->setBuddy(txtName);
    txtMIMEType = named(new QLineEdit(SingleUpload::kMimeType, fraDetalhes), "txtMIMEType");
    lblMIMEType = named(new QLabel(QStringLiteral("MIME Type"), fraDetalhes), "lblMIMEType");
    lblMIMEType->setBuddy(txtMIMEType);
    txtRequest = named(new QPlainTextEdit(fraDetalhes), "txtRequest");
    lblRequest = named(new QLabel(QStringLiteral("HTTP Request:"), fraDetalhes), "lblRequest");
    lblRequest->setBuddy(txtRequest);
    txtResponse = named(new QPlainTextEdit(fraDetalhes), "txtResponse");
    lblResponse = named(new QLabel(QStringLiteral("HTTP Response"), fraDetalhes), "lblResponse");
    lblResponse->setBuddy(txtResponse);
    for (QPlainTextEdit* box : {txtRequest, txtResponse}) {
        box->setReadOnly(true);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box->setFocusPolicy(Qt::StrongFocus);
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setMaximumHeight(fontMetrics().height() * 5);
    }
    for (QLabel* l : {lblUrl, lblName, lblMIMEType})
        l->installEventFilter(this);
    for (QLineEdit* e : {txtUrl, txtName, txtMIMEType})
        e->installEventFilter(this);

    auto* details = new QGridLayout(fraDetalhes);
    details->addWidget(lblUrl, 0, 0);
    details->addWidget(txtUrl, 0, 1, 1, 3);
    details->addWidget(lblName, 1, 0);
    details->addWidget(txtName, 1, 1);
    details->addWidget(lblMIMEType, 1, 2);
    details->addWidget(txtMIMEType, 1, 3);
    details->addWidget(lblRequest, 2, 0, 1, 2);
    details->addWidget(lblResponse, 2, 2, 1, 2);
    details->addWidget(txtRequest, 3, 0, 1, 2);
    details->addWidget(txtResponse, 3, 2, 1, 2);
    details->setColumnStretch(1, 1);
    details->setColumnStretch(3, 1);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(lblFile);
    fileRow->addWidget(txtUploadFile, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(browser, 1);
    left->addLayout(fileRow);

    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 3);
    middle->addWidget(Frame1, 2);

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(lblSendSpeed);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdUpload);
    buttons->addWidget(Command2);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(14, 14, 14, 14);
    m_layout->addWidget(Label1);
    m_layout->addWidget(Label2);
    m_layout->addLayout(middle, 1);
    if (extra)
        m_layout->addWidget(extra);
    m_layout->addLayout(progressRow);
    m_layout->addWidget(fraDetalhes);
    m_layout->addLayout(buttons);

    QWidget* order[] = {Drive1,   dir,    file,    txtUploadFile, GridRefencias, cmdUpload,
                        Command2, txtUrl, txtName, txtMIMEType,   txtRequest,    txtResponse};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    resize(880, 680);
}

void TransmissionWindow::loadAccountant() {
    try {
        m_accountantDocument = DadosContador();
    } catch (const RuntimeError& error) {
        m_accountantDocument.clear();
        m_context.prompter->show(ErrorReport::ErrorMessage(error));
    }
}

void TransmissionWindow::chooseFile(const QString& folder, const QString& name) {
    const BusyScope busy(*this);
    try {
        file_Click(folder, name);
    } catch (const std::exception& error) {
        m_context.prompter->show(
            ErrorReport::ErrorMessage(RuntimeError::from(m_windowName, error)));
    }
}

bool TransmissionWindow::readyToSend() {
    if (Winsock1->isRunning())
        return false; // one upload at a time
    if (!SelecionarCertificado())
        return false;
    if (txtUploadFile->text().isEmpty()) {
        m_context.prompter->show({QStringLiteral("No File Chosen"), QStringLiteral("ERROR"),
                                  MsgIcon::Critical, MsgButtons::Ok});
        return false;
    }
    return true;
}

bool TransmissionWindow::SelecionarCertificado() {
    using SendingCertificateChoice::Outcome;
    const SendingCertificateChoice::Choice choice =
        SendingCertificateChoice::choose(m_context, m_refusalTitle, m_windowName);
    switch (choice.outcome) {
    case Outcome::StoreFailed:
    case Outcome::Cancelled:
        // Cancelling the selection cancels the send, whatever an earlier
        // check decided: the user has said no.
        return false;
    case Outcome::AccountantUnreadable:
        m_certificateAccepted = false;
        return false;
    case Outcome::Refused:
    case Outcome::Accepted:
        m_accountantDocument = choice.accountantDocument;
        m_certificateAccepted = choice.outcome == Outcome::Accepted;
        return m_certificateAccepted;
    }
    return false;
}

void TransmissionWindow::startUpload(const QString& address) {
    txtUrl->setText(address);
    txtResponse->clear();
    SingleUpload::start(*Winsock1, txtUrl->text(), txtUploadFile->text(), txtName->text(),
                        txtMIMEType->text());
}

bool TransmissionWindow::confirmNotSentBefore(const QString& kind, const QString& references) {
    const QString ie = m_context.state ? m_context.state->IE() : QString();
    m_sending = SentArchive::ArchivedSending::prepare(ie, kind, references, txtUploadFile->text());
    m_memoryEntry = 0;
    if (!m_sending)
        return true;
    const SendingRule::Candidate candidate = SendingRule::candidateOf(*m_sending);
    const QString claimer =
        thisDesk() + QStringLiteral(" #") + QString::number(QCoreApplication::applicationPid());
    LocalDb db;
    // A hold that appears while the user answers is asked about in turn.
    for (bool answered = false;;) {
        const SendingRule::Start start = SendingRule::begin(db, candidate, thisDesk(), claimer,
                                                            m_context.clock->now(), answered);
        if (!start.hold) {
            m_memoryEntry = start.entryId;
            return true;
        }
        if (m_context.prompter->show({SendingRule::question(*start.hold),
                                      QStringLiteral("VAV-UVOD"), MsgIcon::Warning,
                                      MsgButtons::YesNoDefaultNo}) != MsgAnswer::Yes) {
            m_sending.reset();
            return false;
        }
        answered = true;
    }
}

void TransmissionWindow::archiveSending(const QString& result, const QString& reply) {
    if (!m_sending)
        return;
    SentArchive::ArchivedSending sending = *m_sending;
    m_sending.reset();
    const QDateTime endedAt = m_context.clock->now();
    QString failure = sending.finish(result, reply, endedAt);
    if (const qint64 entry = std::exchange(m_memoryEntry, 0); entry != 0) {
        try {
            LocalDb db;
            SendingRule::finish(db, entry, sending, result, reply, endedAt);
        } catch (const std::exception& error) {
            failure = RuntimeError::from(m_windowName, error).description();
        }
    }
    if (!failure.isEmpty())
        m_context.prompter->show(
            {QStringLiteral("O envio não foi guardado no arquivo local: %1.").arg(failure),
             QStringLiteral("VAV-UVOD"), MsgIcon::Warning, MsgButtons::Ok});
}

void TransmissionWindow::showUploadFailure(const QString& description,
                                           MultipartUpload::Failure kind) {
    const bool socket =
        kind == MultipartUpload::Failure::Socket || kind == MultipartUpload::Failure::Timeout;
    m_context.prompter->show({description, QStringLiteral("ERROR"),
                              socket ? MsgIcon::Warning : MsgIcon::Critical, MsgButtons::Ok});
}

void TransmissionWindow::Winsock1_Connect(const QString& request) {
    txtRequest->setPlainText(request);
}

void TransmissionWindow::Winsock1_SendProgress(int percent, const QString& text) {
    ProgressBar1->setValue(percent);
    lblSendSpeed->setText(text);
}

void TransmissionWindow::Winsock1_SendComplete(const QString& text) {
    lblSendSpeed->setText(text);
}

void TransmissionWindow::enableMain() {
    if (!m_context.windows)
        return;
    if (QWidget* main = m_context.windows->loaded(kMainWindow))
        main->setEnabled(true);
}

void TransmissionWindow::refreshMain() {
    if (m_context.state)
        m_context.state->requestListRefresh();
}

TransmissionWindow::BusyScope::BusyScope(TransmissionWindow& window) : m_window(window) {
    ++m_window.m_busyDepth;
}

TransmissionWindow::BusyScope::~BusyScope() {
    if (--m_window.m_busyDepth == 0 && m_window.m_unloadPending)
        m_window.unloadSelf();
}

void TransmissionWindow::pauseFor(int milliseconds) {
    static EventLoopPause fallback;
    Pause& pause = m_context.pause ? *m_context.pause : fallback;
    const BusyScope busy(*this);
    pause.wait(milliseconds);
}

void TransmissionWindow::unloadSelf() {
    if (m_unloaded)
        return;
    if (m_busyDepth > 0) {
        m_unloadPending = true;
        return;
    }
    m_unloaded = true;
    m_unloadPending = false;
    Winsock1->abort();
    Form_Unload();
    if (m_context.windows && m_context.windows->loaded(m_windowName) == this)
        m_context.windows->unload(m_windowName);
    else
        hide();
}

void TransmissionWindow::Form_Unload() {
    enableMain();
}

void TransmissionWindow::Command2_Click() {
    enableMain();
    hide();
}

void TransmissionWindow::closeEvent(QCloseEvent* event) {
    // The close box unloads the window; while a handler runs the unload waits.
    if (m_busyDepth > 0) {
        m_unloadPending = true;
        event->ignore();
        return;
    }
    event->accept();
    unloadSelf();
}

bool TransmissionWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == lblFile)
            dir->setFocus(Qt::MouseFocusReason);
        else if (auto* label = qobject_cast<QLabel*>(watched); label && label->buddy())
            label->buddy()->setFocus(Qt::MouseFocusReason);
    } else if (event->type() == QEvent::FocusIn) {
        // The whole text is selected once the click that gave the focus is done.
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return QWidget::eventFilter(watched, event);
}
