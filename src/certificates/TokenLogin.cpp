// The token login on a worker thread.
#include "certificates/TokenLogin.h"

#include "base/RuntimeError.h"
#include "certificates/Pkcs11Source.h"

#include <QThread>

#include <memory>

void logIntoTokenAsync(const LoginToken& token, QString pin, QObject* receiver,
                       std::function<void(const TokenLoginResult&)> done) {
    auto outcome = std::make_shared<TokenLoginResult>();
    QThread* worker = QThread::create([token, secret = pin, outcome]() mutable {
        try {
            outcome->found = Pkcs11Source::listAfterLogin(token, secret);
        } catch (const RuntimeError& e) {
            outcome->error = e.description();
        }
        secret.fill(QLatin1Char('0'));
    });
    pin.fill(QLatin1Char('0'));
    // A receiver destroyed first takes this connection with it; the thread
    // still ends and deletes itself.
    QObject::connect(worker, &QThread::finished, receiver,
                     [outcome, done = std::move(done)] { done(*outcome); });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}
