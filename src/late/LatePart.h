// The part of the program loaded once its first window is up: the shared
// module dadav-programa.so holds every other window and what they use (the
// local database, the server calls, the certificates), and with them Qt Sql,
// Network and Xml, libcrypto and libzip, none of which the opening window
// needs. main.cpp draws the opening window without them, then loads this.
//
// The program exports its symbols: what the module and the program both
// hold (the application folder, the support log, the window registry, the
// opening window) resolves to the program's one copy, so there is one state.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct AppContext;
class WindowRegistry;

class LatePart {
public:
    virtual ~LatePart() = default;

    // Without a display, the application folder chosen: copies the local
    // database into the database server of the settings. Returns the exit
    // code; message gets what to print. Never throws.
    virtual int copyDatabaseToServer(QString& message) = 0;

    // Without a display: the batch of a CSV (`dadav --enviar-lote`, see
    // batchcommand/BatchCommand.h) with the arguments after the program's
    // name; chooseFolder sets the application folder (it may throw
    // RuntimeError). Returns the batch's exit code.
    virtual int runBatchCommand(const QStringList& arguments,
                                const std::function<void()>& chooseFolder) = 0;

    // Without a display: the receipts of the processed sendings (`dadav
    // --buscar-recibos`, see batchcommand/ReceiptCommand.h). Needs a
    // QGuiApplication (the offscreen platform will do) for the receipt's
    // PDF. Returns the command's exit code.
    virtual int runReceiptCommand(const QStringList& arguments,
                                  const std::function<void()>& chooseFolder) = 0;

    // Converts a database left by the earlier installations, or says what is
    // wrong with the database file (through context.prompter), then builds
    // every collaborator into context and registers every window. The
    // returned object owns those collaborators: keep it until the windows are
    // destroyed, and destroy it before the application object.
    virtual std::shared_ptr<void> start(AppContext& context, WindowRegistry& windows) = 0;

    // The program is ending: kills the reader children still running, so
    // that a token driver that hangs does not hold up the exit.
    virtual void stopChildren() = 0;
};

namespace LatePartLoader {

// The module beside the program or in its helper folder, loaded on the
// first call and kept until the process ends. Throws RuntimeError naming the
// file and the reason when it cannot be loaded. Needs a QCoreApplication.
LatePart& load();

} // namespace LatePartLoader

// The module's one entry point, looked up by name.
extern "C" LatePart* dadav_late_part();
