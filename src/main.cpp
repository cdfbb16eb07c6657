// The composition root: the terminal answers and the database copy, the
// application, its language and locale, the application folder, the real
// collaborators of every window, and the opening window.
#include "app/AllWindows.h"
#include "app/ApplicationFolder.h"
#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/PrivateFiles.h"
#include "base/ProgramInfo.h"
#include "base/RuntimeError.h"
#include "base/SupportLog.h"
#include "batchcommand/BatchCommand.h"
#include "certificates/CertificateChild.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/StoreCertificatePicker.h"
#include "net/ProxyAuth.h"
#include "net/SoapTransport.h"
#include "platform/Clock.h"
#include "platform/DesktopFolderOpener.h"
#include "platform/DesktopUrlOpener.h"
#include "platform/EventLoopPause.h"
#include "platform/LoggedPrompter.h"
#include "platform/QtCredentialsPrompter.h"
#include "platform/QtFilePicker.h"
#include "platform/QtPinPrompter.h"
#include "platform/QtPrompter.h"
#include "platform/WaitCursor.h"
#include "shell/AppContext.h"
#include "shell/Application.h"
#include "shell/WindowRegistry.h"
#include "store/AccessConversion.h"
#include "store/DatabaseCopy.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseSettings.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

#include <cstdio>

namespace {

// The folder of settings, version text, database and temp/ (see
// ApplicationFolder.h for the portable and installed cases).
// Sets it, and whether what the program writes there is the user's alone.
void chooseFolder() {
    const QString program = QCoreApplication::applicationDirPath();
    ApplicationFolder::Inputs in;
    in.programFolder = program;
    in.programFolderWritable = ApplicationFolder::canCreateFileIn(program);
    in.installedDataFolder = QDir(program).filePath(QStringLiteral("../share/dadav"));
    in.userDataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const ApplicationFolder::Choice choice = ApplicationFolder::choose(in);
    AppPaths::setApplicationFolder(choice.folder);
    PrivateFiles::setApplicationFolderPrivate(!choice.portable);
}

} // namespace

int main(int argc, char** argv) {
    // A batch from a CSV runs headless: a core application, no display.
    if (BatchCommand::wanted(argc, argv)) {
        QCoreApplication core(argc, argv);
        return BatchCommand::run(QCoreApplication::arguments().mid(1), chooseFolder);
    }
    // Answered before the application object exists: no display is needed.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine::TerminalAnswer terminal = CommandLine::answer(arguments);
    if (terminal.answered) {
        std::fputs(terminal.text.toLocal8Bit().constData(), stdout);
        return terminal.exitCode;
    }
    if (terminal.copyDatabaseToServer) {
        // No display either: a core application finds the folder and the
        // database drivers.
        QCoreApplication core(argc, argv);
        QString message;
        int exitCode = 1;
        try {
            chooseFolder();
            const DatabaseCopy::Outcome outcome = DatabaseCopy::copyLocalToServer();
            message = outcome.message;
            exitCode = outcome.exitCode;
        } catch (const RuntimeError& e) {
            message = e.description() + QLatin1Char('\n');
        }
        std::fputs(message.toLocal8Bit().constData(), exitCode == 0 ? stdout : stderr);
        return exitCode;
    }

    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dadav"));
    QCoreApplication::setApplicationVersion(ProgramInfo::version());
    // Lets the desktop match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("br.gov.rj.valdoria.dadav"));

    // Standard buttons read "Sim", "Não", "Cancelar"; dates in Brazilian form.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));

    // The support log, in the per-user data folder whatever the application
    // folder; every box shown goes through it (docs/diagnostics.md).
    SupportLog::open(SupportLog::defaultFolder());
    QtPrompter shownPrompter;
    LoggedPrompter prompter(shownPrompter);
    try {
        chooseFolder();
    } catch (const RuntimeError& e) {
        prompter.show({e.description(), QString(), MsgIcon::Critical, MsgButtons::Ok});
        return 1;
    }
    SupportLog::write(QStringLiteral("programa"),
                      QStringLiteral("versão %1 iniciada; pasta do aplicativo %2")
                          .arg(ProgramInfo::version(), AppPaths::applicationFolder()));

    // A database left by the earlier Windows installations is converted once,
    // before any window uses it; a failed conversion leaves it as it was and
    // the program goes on (see docs/migrating.md).
    Clock& clock = systemClock();
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
    // A database file the program cannot use (unreadable, not a database) is
    // said at once, in one sentence, not first in whichever window touches it.
    if (conversion.outcome == AccessConversion::Result::Outcome::NotNeeded &&
        DatabaseSettings::read().engine == DatabaseSettings::Engine::Sqlite) {
        const QString problem = databaseFileProblem(AppPaths::databasePath());
        if (!problem.isEmpty())
            prompter.show({problem, QString(), MsgIcon::Critical, MsgButtons::Ok});
    }

    DesktopUrlOpener urlOpener;
    DesktopFolderOpener folders;
    WaitCursor busy;
    // Proxy passwords live here, in memory, for the session only.
    QtCredentialsPrompter credentialsPrompter;
    ProxyAuth proxyAuth(&credentialsPrompter);
    SoapTransport soap(&busy, {}, &proxyAuth);
    AppContext context;
    context.proxyAuth = &proxyAuth;
    context.prompter = &prompter;
    context.urlOpener = &urlOpener;
    context.folders = &folders;
    context.soap = &soap;
    EventLoopPause pause;
    context.pause = &pause;
    context.clock = &clock;
    // The user's certificates, in the per-user data folder whatever the
    // application folder, beside the tokens and the browsers' databases
    // (see docs/certificates.md).
    CertificateStore certificateStore(CertificateStore::defaultFolder());
    const CertificateSearch certificateSearch(defaultCertificateSources(certificateStore.folder(),
                                                                        QDir::homePath(),
                                                                        std::chrono::seconds(10)),
                                              std::chrono::seconds(10));
    context.certificateSearch = &certificateSearch;
    QtPinPrompter pins;
    context.pins = &pins;
    StoreCertificatePicker certificates(certificateStore, prompter, pins, clock,
                                        certificateSearch.sources(), certificateSearch.timeout());
    context.certificates = &certificates;
    QtFilePicker files;
    context.files = &files;
    context.quit = [] {
        QCoreApplication::exit(0);
    };
    WindowRegistry windows(context);
    context.windows = &windows;
    registerAllWindows(windows);

    windows.show(QStringLiteral("Abertura"));
    const int status = QApplication::exec();
    // A token driver that hangs must not hold up the exit: its reader child
    // is killed now, and nobody waits for it.
    CertificateChild::stopAll();
    return status;
}
