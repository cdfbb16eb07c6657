// Running the certificate sources side by side with a time-out each.
#include "certificates/CertificateSources.h"

#include "base/RuntimeError.h"
#include "certificates/FolderSource.h"
#include "certificates/NssSource.h"
#include "certificates/Pkcs11Source.h"

#include <QThread>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Shared by the caller and the source threads: a thread that outlives the
// caller's wait still writes into a live object.
struct Board {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<CertificateListing>> results;
};

} // namespace

CertificateSourceList defaultCertificateSources(const QString& ownFolder, const QString& home) {
    return {std::make_shared<FolderSource>(ownFolder), std::make_shared<Pkcs11Source>(),
            std::make_shared<NssSource>(NssSource::userDatabases(home))};
}

CertificateListing listCertificates(const CertificateSourceList& sources,
                                    std::chrono::milliseconds timeout) {
    auto board = std::make_shared<Board>();
    board->results.resize(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        std::thread([board, source = sources[i], i] {
            CertificateListing listing;
            try {
                listing = source->list();
            } catch (const RuntimeError& e) {
                listing.failures.append(source->name() + QStringLiteral(": ") + e.description());
            } catch (const std::exception& e) {
                listing.failures.append(source->name() + QStringLiteral(": ") +
                                        QString::fromLocal8Bit(e.what()));
            }
            const std::lock_guard<std::mutex> lock(board->mutex);
            board->results[i] = std::move(listing);
            board->changed.notify_all();
        }).detach();
    }
    std::unique_lock<std::mutex> lock(board->mutex);
    board->changed.wait_for(lock, timeout, [&] {
        for (const auto& r : board->results)
            if (!r)
                return false;
        return true;
    });
    CertificateListing all;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (!board->results[i]) {
            all.failures.append(sources[i]->name() + QStringLiteral(": não respondeu em ") +
                                QString::number((timeout.count() + 999) / 1000) +
                                QStringLiteral(" s."));
            continue;
        }
        const CertificateListing& r = *board->results[i];
        all.certificates.append(r.certificates);
        all.loginTokens.append(r.loginTokens);
        all.failures.append(r.failures);
    }
    return all;
}

void listCertificatesAsync(CertificateSourceList sources, std::chrono::milliseconds timeout,
                           QObject* receiver, std::function<void(const CertificateListing&)> done) {
    auto result = std::make_shared<CertificateListing>();
    QThread* worker = QThread::create([sources = std::move(sources), timeout, result] {
        *result = listCertificates(sources, timeout);
    });
    // A receiver destroyed first takes this connection with it; the thread
    // still ends within the time-out and deletes itself.
    QObject::connect(worker, &QThread::finished, receiver,
                     [result, done = std::move(done)] { done(*result); });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

QStringList certificateSourceNames(const QString& home) {
    QStringList names{QStringLiteral("Pasta do programa")};
    for (const QString& module : Pkcs11Source::registeredModuleNames())
        names.append(QStringLiteral("Token: ") + module);
    for (const NssDatabase& db : NssSource::userDatabases(home))
        names.append(db.label);
    return names;
}
