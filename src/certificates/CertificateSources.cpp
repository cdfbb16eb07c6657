// Running the certificate sources side by side with a time-out each.
#include "certificates/CertificateSources.h"

#include "base/RuntimeError.h"
#include "certificates/FolderSource.h"
#include "certificates/NssSource.h"
#include "certificates/Pkcs11Source.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Shared by the caller and the source threads: a thread that outlives the
// caller's wait still writes into a live object.
constexpr std::chrono::milliseconds kGrace(2500);

struct Board {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<CertificateListing>> results;
};

// A listing under way and who waits for its answer.
struct RunningListing {
    CertificateSourceList sources;
    std::chrono::milliseconds timeout{0};
    CertificateListing result;
    std::vector<std::function<void(const CertificateListing&)>> waiting;
};

std::vector<std::shared_ptr<RunningListing>>& runningListings() {
    static std::vector<std::shared_ptr<RunningListing>> all;
    return all;
}

} // namespace

CertificateSourceList defaultCertificateSources(const QString& ownFolder, const QString& home,
                                                std::chrono::milliseconds timeout) {
    return {std::make_shared<FolderSource>(ownFolder),
            std::make_shared<Pkcs11Source>(QStringList(), timeout),
            NssSource::ofHome(home, timeout)};
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
    // The sources kill their own children at the time-out; the grace lets
    // those answers (which name the module) arrive.
    board->changed.wait_for(lock, timeout + kGrace, [&] {
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
    // Requests come from the windows' thread; one listing of the same sources
    // at a time, and a request while it runs waits for the same answer.
    Q_ASSERT(QThread::currentThread() == receiver->thread());
    const QPointer<QObject> target(receiver);
    auto deliver = [target, done = std::move(done)](const CertificateListing& listing) {
        if (target)
            done(listing);
    };
    auto& running = runningListings();
    for (const auto& job : running) {
        if (job->sources == sources && job->timeout == timeout) {
            job->waiting.push_back(std::move(deliver));
            return;
        }
    }
    auto job = std::make_shared<RunningListing>();
    job->sources = std::move(sources);
    job->timeout = timeout;
    job->waiting.push_back(std::move(deliver));
    running.push_back(job);
    QThread* worker =
        QThread::create([job] { job->result = listCertificates(job->sources, job->timeout); });
    // The answer is handed out on the requesting thread (the worker's
    // finished signal reaches the application object there), to every
    // receiver still alive.
    QObject::connect(worker, &QThread::finished, QCoreApplication::instance(), [job] {
        auto& all = runningListings();
        all.erase(std::remove(all.begin(), all.end(), job), all.end());
        for (const auto& deliverTo : job->waiting)
            deliverTo(job->result);
    });
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
