// The command line's receipts: `dadav --buscar-recibos [AAAA-MM ...]` asks
// the list of every registered taxpayer with a key and keeps in the archive
// the receipt of each processed sending (receipts/ReceiptKeeper.h) of the
// given reference months, or of every processed sending the lists show
// without a receipt yet. It prints one line per sending and a summary; its
// exit code says how it went. Runs without a display; the caller makes the
// receipt's PDF.
#pragma once

#include "receipts/ReceiptKeeper.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ReceiptCommand {

// Exit codes (also in the usage text and docs/history.md). When several
// apply, the first of kKeyRefused, kRefusedAfterProcessing, kNotAllKept.
enum Exit {
    kAllKept = 0,                // every processed sending has its receipt archived
    kNotAllKept = 1,             // a receipt could not be fetched or kept, or a list asked
    kUsage = 2,                  // wrong options
    kKeyRefused = 3,             // the server refused some taxpayer's key
    kDatabase = 4,               // the database or the application folder
    kRefusedAfterProcessing = 5, // some sending was refused after processing
};

// The usage text, exit codes included.
QString usage();

// Runs the command; `arguments` are those after the program's name.
// `chooseFolder` sets the application folder (it may throw RuntimeError);
// `makePdf` makes the client's receipt PDF. Needs a Qt application object
// that makePdf can work under; returns the exit code.
int run(const QStringList& arguments, const std::function<void()>& chooseFolder,
        const Receipts::PdfMaker& makePdf);

} // namespace ReceiptCommand
