// Makes the pictures of the program's main windows for the README and the
// software-centre entry: the real windows, the real application object and
// network calls, against the server simulator started in this process with
// demo data. Usage: dadav-screenshots OUTPUT-FOLDER COMPANY-CERTIFICATE
// (a PEM or DER certificate whose holder is CNPJ 04.567.891/0001-13). Every
// message box the windows ask for is printed and fails the run: a picture of
// a failure is no picture of the program.
#include "DemoData.h"
#include "Scenes.h"

#include "access/MdbChild.h"
#include "app/AllWindows.h"
#include "base/ProgramInfo.h"
#include "certificates/CertificateChild.h"
#include "certificates/CertificatePicker.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/FolderSource.h"
#include "net/SoapTransport.h"
#include "platform/Clock.h"
#include "platform/EventLoopPause.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "platform/UrlOpener.h"
#include "shell/AppContext.h"
#include "shell/Application.h"
#include "shell/WindowRegistry.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <exception>

namespace {

// Prints every box and answers it as a user going ahead would.
class PrintingPrompter : public Prompter {
public:
    MsgAnswer show(const Message& message) override {
        std::fprintf(stderr, "screenshots: message box: %s\n", qPrintable(message.text));
        ++m_count;
        return message.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

// Chooses the first certificate of the user's store, as a user with one
// certificate would.
class FirstCertificatePicker : public CertificatePicker {
public:
    explicit FirstCertificatePicker(const CertificateStore& store) : m_store(store) {}
    std::optional<Certificate> pick(const QString&, const QString&) override {
        const QList<CertificateStore::Entry> entries = m_store.list();
        if (entries.isEmpty())
            return std::nullopt;
        return entries.first().certificate;
    }

private:
    const CertificateStore& m_store;
};

// No scene opens the browser or the file dialog.
class NoUrlOpener : public UrlOpener {
public:
    bool open(const QString&) override { return false; }
    bool openFile(const QString&) override { return false; }
};
class NoFilePicker : public FilePicker {
public:
    std::optional<QString> openFile(const OpenFileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(const OpenFileRequest&) override { return std::nullopt; }
    QStringList openFiles(const OpenFileRequest&) override { return {}; }
    std::optional<QString> openFolder(const QString&, const QString&) override {
        return std::nullopt;
    }
};

} // namespace

// Leaks inside system libraries the program does not own, for a build with
// the address sanitizer.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\nleak:libglib\n";
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: dadav-screenshots OUTPUT-FOLDER COMPANY-CERTIFICATE\n", stderr);
        return 2;
    }
    try {
        DemoData data;
        Application app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("dadav"));
        QCoreApplication::setApplicationVersion(ProgramInfo::version());
        QGuiApplication::setDesktopFileName(QStringLiteral("br.gov.rj.valdoria.dadav"));
        MdbChild::setProgram(QStringLiteral(DADAV_MDB_HELPER));
        CertificateChild::setProgram(QStringLiteral(DADAV_CERT_HELPER));
        QTranslator qtTranslator;
        if (qtTranslator.load(QLocale(QLocale::Portuguese, QLocale::Brazil),
                              QStringLiteral("qtbase"), QStringLiteral("_"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtTranslator);
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));

        data.prepare(QString::fromLocal8Bit(argv[2]));

        PrintingPrompter prompter;
        NoUrlOpener urlOpener;
        SoapTransport soap;
        EventLoopPause pause;
        SystemClock clock;
        CertificateStore store(data.certificateFolder());
        FirstCertificatePicker certificates(store);
        // Only the demo folder: the pictures never show this machine's tokens or browsers.
        const CertificateSearch search({std::make_shared<FolderSource>(data.certificateFolder())},
                                       std::chrono::seconds(10));
        NoFilePicker files;
        AppContext context;
        context.prompter = &prompter;
        context.urlOpener = &urlOpener;
        context.soap = &soap;
        context.pause = &pause;
        context.clock = &clock;
        context.certificates = &certificates;
        context.certificateSearch = &search;
        context.files = &files;
        context.quit = [] {
        };
        WindowRegistry windows(context);
        context.windows = &windows;
        registerAllWindows(windows);

        const QStringList written = Scenes(windows, data, QString::fromLocal8Bit(argv[1])).runAll();
        windows.unloadAll();
        if (prompter.count() > 0) {
            std::fputs("screenshots: the windows showed messages; the pictures are not kept\n",
                       stderr);
            return 1;
        }
        for (const QString& file : written)
            std::printf("%s\n", qPrintable(file));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "screenshots: %s\n", e.what());
        return 1;
    }
}
