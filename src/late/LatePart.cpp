// The late part's composition: the database check, the real collaborators of
// every window and the windows themselves, built once the opening window is
// up; and the copy of the database to a server, run without a display.
#include "late/LatePart.h"

#include "app/AllWindows.h"
#include "archivewindow/ReceiptPdf.h"
#include "base/AppPaths.h"
#include "base/RuntimeError.h"
#include "batchcommand/BatchCommand.h"
#include "batchcommand/ReceiptCommand.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/StoreCertificatePicker.h"
#include "childprocess/ChildRunner.h"
#include "net/ProxyAuth.h"
#include "net/SoapTransport.h"
#include "platform/Clock.h"
#include "platform/DesktopFolderOpener.h"
#include "platform/DesktopUrlOpener.h"
#include "platform/EventLoopPause.h"
#include "platform/Prompter.h"
#include "platform/QtCredentialsPrompter.h"
#include "platform/QtFilePicker.h"
#include "platform/QtPinPrompter.h"
#include "platform/WaitCursor.h"
#include "shell/AppContext.h"
#include "store/AccessConversion.h"
#include "store/DatabaseCopy.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseSettings.h"

#include <QDir>
#include <QTemporaryFile>

namespace {

// The client's receipt PDF as bytes, for the receipt keeper to write as it
// writes every file of a receipt (whole or not at all).
QByteArray receiptPdfBytes(const Receipts::Sending& sending,
                           const History::ReceiptDocument& receipt, QString* error) {
    QTemporaryFile file;
    if (!file.open()) {
        *error = file.errorString();
        return {};
    }
    file.close();
    const ReceiptPdf::Heading heading{
        sending.ie,          sending.razaoSocial,
        sending.referencia,  sending.protocolo,
        sending.processedAt, systemClock().now().toString(QStringLiteral("dd/MM/yyyy HH:mm"))};
    *error = ReceiptPdf::write(file.fileName(), heading, receipt);
    if (!error->isEmpty() || !file.open())
        return {};
    return file.readAll();
}

constexpr std::chrono::seconds kCertificateTimeout(10);

// The real collaborators of every window, for the whole session.
struct Collaborators {
    Collaborators(Prompter& prompter, Clock& clock)
        : certificates(certificateStore, prompter, pins, clock, certificateSearch.sources(),
                       certificateSearch.timeout()) {}

    DesktopUrlOpener urlOpener;
    DesktopFolderOpener folders;
    WaitCursor busy;
    // Proxy passwords live here, in memory, for the session only.
    QtCredentialsPrompter credentialsPrompter;
    ProxyAuth proxyAuth{&credentialsPrompter};
    SoapTransport soap{&busy, {}, &proxyAuth};
    EventLoopPause pause;
    // The user's certificates, in the per-user data folder whatever the
    // application folder, beside the tokens and the browsers' databases
    // (see docs/certificates.md).
    CertificateStore certificateStore{CertificateStore::defaultFolder()};
    const CertificateSearch certificateSearch{
        defaultCertificateSources(certificateStore.folder(), QDir::homePath(), kCertificateTimeout),
        kCertificateTimeout};
    QtPinPrompter pins;
    StoreCertificatePicker certificates;
    QtFilePicker files;
};

// A database left by the earlier Windows installations is converted once,
// before any window uses it; a failed conversion leaves it as it was and the
// program goes on (see docs/migrating.md). A database file the program cannot
// use (unreadable, not a database) is said at once, in one sentence, not
// first in whichever window touches it.
void checkDatabase(Prompter& prompter, Clock& clock) {
    AccessConversion::Options conversionOptions;
    conversionOptions.today = clock.today();
    const AccessConversion::Result conversion =
        AccessConversion::convertIfAccess(AppPaths::databasePath(), conversionOptions);
    if (conversion.outcome != AccessConversion::Result::Outcome::NotNeeded)
        prompter.show({AccessConversion::message(conversion), QString(),
                       conversion.outcome == AccessConversion::Result::Outcome::Converted
                           ? MsgIcon::Information
                           : MsgIcon::Critical,
                       MsgButtons::Ok});
    if (conversion.outcome == AccessConversion::Result::Outcome::NotNeeded &&
        DatabaseSettings::read().engine == DatabaseSettings::Engine::Sqlite) {
        const QString problem = databaseFileProblem(AppPaths::databasePath());
        if (!problem.isEmpty())
            prompter.show({problem, QString(), MsgIcon::Critical, MsgButtons::Ok});
    }
}

class ProgramLatePart final : public LatePart {
public:
    int copyDatabaseToServer(QString& message) override {
        try {
            const DatabaseCopy::Outcome outcome = DatabaseCopy::copyLocalToServer();
            message = outcome.message;
            return outcome.exitCode;
        } catch (const RuntimeError& e) {
            message = e.description() + QLatin1Char('\n');
            return 1;
        } catch (const std::exception& e) {
            // Out of memory, most likely: said, never thrown on to main.
            message = QStringLiteral("A cópia do banco de dados para o servidor falhou: ") +
                      QString::fromLocal8Bit(e.what()) + QLatin1Char('\n');
            return 1;
        }
    }

    int runBatchCommand(const QStringList& arguments,
                        const std::function<void()>& chooseFolder) override {
        return BatchCommand::run(arguments, chooseFolder);
    }

    int runReceiptCommand(const QStringList& arguments,
                          const std::function<void()>& chooseFolder) override {
        return ReceiptCommand::run(arguments, chooseFolder, receiptPdfBytes);
    }

    std::shared_ptr<void> start(AppContext& context, WindowRegistry& windows) override {
        Clock& clock = systemClock();
        checkDatabase(*context.prompter, clock);
        auto c = std::make_shared<Collaborators>(*context.prompter, clock);
        context.proxyAuth = &c->proxyAuth;
        context.urlOpener = &c->urlOpener;
        context.folders = &c->folders;
        context.soap = &c->soap;
        context.pause = &c->pause;
        context.clock = &clock;
        context.certificateSearch = &c->certificateSearch;
        context.pins = &c->pins;
        context.certificates = &c->certificates;
        context.files = &c->files;
        context.followSendings = true;
        registerAllWindows(windows);
        return c;
    }

    void stopChildren() override { ChildRunner::stopAll(); }
};

} // namespace

extern "C" LatePart* dadav_late_part() {
    static ProgramLatePart part;
    return &part;
}
