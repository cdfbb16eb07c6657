// Upload benchmark client: sends one file with MultipartUpload exactly as the
// transmission windows do and exits when the reply is in.
//   bench_upload_client <port> <file> [<path and query>]
// The path and query default to a declaration of IE 1 (the batch benchmark
// gives each file its own taxpayer's, as the batch sends it).
// The port goes through a temporary settings file, as in production (a URL's
// port field cannot hold loopback ports above 32767). Exit 0 after a reply,
// 1 after a failure (its description on stderr), 2 on bad arguments.
#include "base/AppPaths.h"
#include "net/MultipartUpload.h"
#include "net/url_helper.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: bench_upload_client <port> <file> [<path and query>]\n");
        return 2;
    }
    QTemporaryDir appFolder;
    if (!appFolder.isValid())
        return 2;
    AppPaths::setApplicationFolder(appFolder.path());
    QFile ini(appFolder.filePath(QStringLiteral("dadav.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return 2;
    ini.write("[servidor]\nhost=127.0.0.1\nport=" + args.at(1).toLatin1() + "\n");
    ini.close();

    const QString target =
        args.size() == 4
            ? args.at(3)
            : QStringLiteral("/client/xt_upload_1_15_01.php?ie=1&contador=1&chave=K&gias=");
    const UrlParts url = url_helper::ExtractUrl(QStringLiteral("http://127.0.0.1") + target);
    const QString path = args.at(2);

    MultipartUpload upload;
    int status = 1;
    QObject::connect(&upload, &MultipartUpload::replyReceived, [&](const QByteArray& reply) {
        std::fprintf(stderr, "reply: %d bytes\n%s\n", static_cast<int>(reply.size()),
                     reply.left(512).constData());
        status = 0;
        app.quit();
    });
    QObject::connect(&upload, &MultipartUpload::failed,
                     [&](const QString& description, MultipartUpload::Failure) {
                         std::fprintf(stderr, "failed: %s\n", qPrintable(description));
                         status = 1;
                         app.quit();
                     });
    if (!upload.start(url, path, QFileInfo(path).fileName(), QStringLiteral("objArquivo"),
                      QStringLiteral("application/octet-stream")))
        return 1;
    app.exec();
    return status;
}
