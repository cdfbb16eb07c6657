// What the two transmission windows (declaration and Simples Nacional) share:
// the file browser, the reference grid, the send and cancel buttons, the
// progress display, the upload's technical fields, the accountant's document,
// the certificate check at sending time and the wiring of the socket upload.
// Each window adds its own texts, its file test, its address and its reading
// of the reply.
//
// Lifecycle: a single instance in the window registry. "Cancelar" hides it
// (state kept); the close box, a reply or (Simples) a failed connection
// unloads it. While a fixed pause runs, an unload asked for (close box, socket
// failure) waits until the pause is over, so no handler is left running on a
// destroyed window.
#pragma once

#include "archive/ArchivedSending.h"
#include "net/MultipartUpload.h"

#include <QString>
#include <QWidget>

#include <optional>

class FileBrowser;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTreeView;
class QVBoxLayout;
struct AppContext;

class TransmissionWindow : public QWidget {
    Q_OBJECT
public:
    ~TransmissionWindow() override;

    // The accountant's document without ".", "-" and "/" (empty when there is
    // no accountant row), read at load and again at each certificate check.
    const QString& accountantDocument() const { return m_accountantDocument; }
    // Whether the last certificate check accepted the chosen certificate.
    bool certificateAccepted() const { return m_certificateAccepted; }

    // A file chosen in the browser (click in the file list): the window's own
    // file step runs. Public so tests can choose a file directly.
    void chooseFile(const QString& folder, const QString& name);

    // Handlers.
    virtual void cmdUpload_Click() = 0;
    void Command2_Click(); // "Cancelar": enables the main window and hides this one

    // Controls.
    QLabel* Label1;
    QLabel* Label2;
    FileBrowser* browser;
    QComboBox* Drive1;
    QTreeView* dir;
    QListView* file;
    QLabel* lblFile;
    QLineEdit* txtUploadFile;
    QGroupBox* Frame1;
    QTableWidget* GridRefencias;
    QPushButton* cmdUpload;
    QPushButton* Command2;
    QProgressBar* ProgressBar1;
    QLabel* lblSendSpeed;
    QGroupBox* fraDetalhes;
    QLabel* lblUrl;
    QLineEdit* txtUrl;
    QLabel* lblName;
    QLineEdit* txtName;
    QLabel* lblMIMEType;
    QLineEdit* txtMIMEType;
    QLabel* lblRequest;
    QPlainTextEdit* txtRequest;
    QLabel* lblResponse;
    QPlainTextEdit* txtResponse;
    MultipartUpload* Winsock1;

protected:
    // windowName: the registry name (the class name). refusalTitle: the title
    // of the box that refuses a certificate.
    TransmissionWindow(AppContext& context, const QString& windowName, const QString& refusalTitle,
                       QWidget* parent);

    // Builds the controls; `extra` (may be null) goes below the browser and
    // grid. Call once from the derived constructor.
    void buildControls(QWidget* extra);

    // Reads the accountant's document from the local database; a failure is
    // shown with the error report and leaves the document empty.
    void loadAccountant();

    // The certificate check at sending time. Returns true when a certificate
    // was chosen and accepted (the send may go on). Cancelling the selection
    // returns false without a message; a refused certificate shows the refusal
    // box; a certificate store that cannot be used shows the component failure.
    bool SelecionarCertificado();

    // The duplicate-sending guard, just before startUpload: prepares the
    // archive's record of the file named in txtUploadFile and asks the
    // shared memory of sendings (SendingRule) whether any desk sent or is
    // sending it, or another file for the same months; each hold is a
    // question, No being the default. On Yes (or no hold) the sending is
    // written into the memory as under way. True when the send may go on. A
    // file that cannot be read is let through: the upload reports it.
    // kind: SentArchive::kDeclaration or kSimples; references as sent.
    // Throws DbError (nothing is sent).
    bool confirmNotSentBefore(const QString& kind, const QString& references);

    // Puts the address into txtUrl, splits it and starts the upload of the file
    // named in txtUploadFile. Failures before sending arrive at Winsock1_Error.
    void startUpload(const QString& address);

    // Archives the sending just ended (call after the sending's own result
    // was shown) and ends its entry in the memory of sendings: result is
    // SentArchive::kAccepted, kRefused or kNoReply. A failure to archive is
    // one warning line; nothing is retried or resent. Does nothing when no
    // request went out since confirmNotSentBefore. Never throws.
    void archiveSending(const QString& result, const QString& reply);

    // The box for an upload failure: "ERROR" title, critical icon for failures
    // before the connection (nothing sent), warning icon for socket failures.
    void showUploadFailure(const QString& description, MultipartUpload::Failure kind);

    // The main window, when loaded.
    void enableMain();
    void refreshMain(); // the main window fetches the list again (ProgramState)

    // Marks a handler under way for its lifetime. Handlers may spin local event
    // loops (pauses, message boxes, the certificate dialog, the main window's
    // SOAP call); an unload asked for meanwhile (close box, socket failure, the
    // handler itself) is held and done when the outermost handler ends, so the
    // window is never destroyed under a running handler.
    class BusyScope {
    public:
        explicit BusyScope(TransmissionWindow& window);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TransmissionWindow& m_window;
    };

    // The first steps of both send commands: nothing while an upload is under
    // way, the certificate check, then "No File Chosen". True when the send
    // may go on; every refusal has already been shown.
    bool readyToSend();
    // A fixed pause (context's Pause), inside a BusyScope.
    void pauseFor(int milliseconds);
    // Unloads this window from the registry: now when no handler is under way,
    // else when the last one ends.
    void unloadSelf();

    // Window-specific steps.
    virtual void file_Click(const QString& folder, const QString& name) = 0;
    virtual void Winsock1_Connect(const QString& request);
    virtual void Winsock1_DataArrival(const QByteArray& reply) = 0;
    virtual void Winsock1_Error(const QString& description, MultipartUpload::Failure kind) = 0;
    virtual void Form_Unload();

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    AppContext& m_context;
    QVBoxLayout* m_layout = nullptr;

private:
    void Winsock1_SendProgress(int percent, const QString& text);
    void Winsock1_SendComplete(const QString& text);

    QString m_windowName;
    QString m_refusalTitle;
    QString m_accountantDocument;
    bool m_certificateAccepted = false;
    // The sending under way, as the archive will record it.
    std::optional<SentArchive::ArchivedSending> m_sending;
    qint64 m_memoryEntry = 0; // its entry in the memory of sendings
    int m_busyDepth = 0;
    bool m_unloadPending = false;
    bool m_unloaded = false;
};
