// The composition root: the terminal answers, the database copy and the
// batch of a CSV (both run headless, from the late part); else the
// application, its language and locale, the application folder and the
// opening window, and once it is up the late part (late/LatePart.h) with
// every other window and their real collaborators.
#include "app/Abertura.h"
#include "app/ApplicationFolder.h"
#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/PrivateFiles.h"
#include "base/ProgramInfo.h"
#include "base/RuntimeError.h"
#include "base/SupportLog.h"
#include "late/LatePart.h"
#include "platform/LoggedPrompter.h"
#include "platform/QtPrompter.h"
#include "platform/TerminationSignals.h"
#include "shell/AppContext.h"
#include "shell/Application.h"
#include "shell/WindowRegistry.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>
#include <utility>

namespace {

// The batch command's exit code for a program it cannot run at all (its
// module missing), as for a database or application folder it cannot use.
constexpr int kProgramIncomplete = 4;

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

// Qt's own texts in Portuguese (standard buttons "Sim", "Não", "Cancelar";
// a socket's failure, "Conexão recusada") and dates in Brazilian form, for
// the windows and the headless batch alike. Call once the application
// object exists.
void usePortuguese() {
    static QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

} // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists: no display is needed.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine::TerminalAnswer terminal = CommandLine::answer(arguments);
    if (terminal.answered) {
        std::fputs(terminal.text.toLocal8Bit().constData(), stdout);
        return terminal.exitCode;
    }
    if (terminal.batchCommand) {
        // A batch from a CSV runs headless too, from the late part.
        QCoreApplication core(argc, argv);
        usePortuguese();
        try {
            return LatePartLoader::load().runBatchCommand(QCoreApplication::arguments().mid(1),
                                                          chooseFolder);
        } catch (const RuntimeError& e) {
            std::fputs((e.description() + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
            return kProgramIncomplete;
        }
    }
    if (terminal.receiptCommand) {
        // The receipt's PDF is drawn with Qt's fonts: a graphical application
        // object, on the offscreen platform unless one is named, so no
        // display is needed.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication gui(argc, argv);
        usePortuguese();
        try {
            return LatePartLoader::load().runReceiptCommand(QCoreApplication::arguments().mid(1),
                                                            chooseFolder);
        } catch (const RuntimeError& e) {
            std::fputs((e.description() + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
            return kProgramIncomplete;
        }
    }
    if (terminal.copyDatabaseToServer) {
        // No display either: a core application finds the folder and the
        // database drivers.
        QCoreApplication core(argc, argv);
        QString message;
        int exitCode = 1;
        try {
            chooseFolder();
            exitCode = LatePartLoader::load().copyDatabaseToServer(message);
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

    usePortuguese();

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
    AppContext context;
    context.prompter = &prompter;
    context.quit = [] {
        QCoreApplication::exit(0);
    };
    // The session's logout, `kill` or Ctrl+C end the program as "Sair" does.
    const TerminationSignals terminationSignals(context.quit);
    // What the late part builds for the windows; declared before the
    // registry, so that it outlives every window.
    std::shared_ptr<void> collaborators;
    WindowRegistry windows(context);
    context.windows = &windows;
    windows.registerWindow<Abertura>();
    windows.show(QStringLiteral("Abertura"));

    // The rest of the program is loaded once the opening window is up (the
    // first turn of the event loop); a window asked for before that is
    // waited for.
    bool lateStarted = false;
    const auto loadLatePart = [&] {
        if (std::exchange(lateStarted, true))
            return;
        // Written here, not before the window: the log's masking compiles its
        // patterns, which the opening window does not wait for.
        SupportLog::write(QStringLiteral("programa"),
                          QStringLiteral("versão %1 iniciada; pasta do aplicativo %2")
                              .arg(ProgramInfo::version(), AppPaths::applicationFolder()));
        try {
            collaborators = LatePartLoader::load().start(context, windows);
        } catch (const std::exception& e) {
            // Without it no other window opens: said, then the program ends.
            prompter.show({RuntimeError::from(QStringLiteral("dadav"), e).description(), QString(),
                           MsgIcon::Critical, MsgButtons::Ok});
            QCoreApplication::exit(1);
        }
    };
    windows.whenMissing(loadLatePart);
    QTimer::singleShot(0, &app, loadLatePart);
    const int status = QApplication::exec();
    // A token driver that hangs must not hold up the exit: its reader child
    // is killed now, and nobody waits for it.
    if (collaborators)
        LatePartLoader::load().stopChildren();
    return status;
}
