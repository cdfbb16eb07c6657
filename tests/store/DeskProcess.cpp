// A second desk for the concurrency tests: a process of its own, with its
// own connection, writing to the database the test names, as the windows do.
//
//   dadav-desk-test <database> <go-file> <action> <arguments>
//   database: sqlite:<path> or postgresql:<port>:<name> (127.0.0.1, user dadav)
//   actions:  replace <tag> <times>     replaces the accountant <times> times,
//                                       counting the rows after each
//             register <first> <count>  registers IEs first..first+count-1
//                                       (count first, then insert, as the window)
//             update <ie> <times>       updates that taxpayer <times> times
//             delete <ie>               deletes that taxpayer
// Opens the database, prints "pronto", waits for <go-file> to exist so that
// both desks start together, then prints one line of counts. A store failure
// that is not a refused duplicate prints "erro <número> <descrição>" and
// exits 3.
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/DbError.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {

void say(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

std::unique_ptr<LocalDb> open(const QString& target) {
    if (target.startsWith(QLatin1String("sqlite:")))
        return std::make_unique<LocalDb>(target.mid(7));
    const QStringList parts = target.split(QLatin1Char(':'));
    DatabaseSettings::Server server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = static_cast<quint16>(parts.value(1).toUInt());
    server.databaseName = parts.value(2);
    server.user = QStringLiteral("dadav");
    return std::make_unique<LocalDb>(server);
}

ContribuinteRow taxpayer(const QString& ie, const QString& name) {
    return ContribuinteRow{ie,
                           name,
                           QStringLiteral("11.222.333/0001-81"),
                           QStringLiteral("4721-1/02"),
                           QStringLiteral("A7K2M9QX"),
                           QString(),
                           false};
}

int run(LocalDb& db, const QStringList& args) {
    const QString action = args.value(0);
    if (action == QLatin1String("replace")) {
        const int times = args.value(2).toInt();
        int most = 0; // rows seen at once: more than 1 means both desks' rows stayed
        for (int i = 0; i < times; ++i) {
            ContadorRow row;
            row.cont_cpf_cnpj = args.value(1);
            row.cont_razao_nome = QStringLiteral("%1 %2").arg(args.value(1)).arg(i);
            replaceContador(db, row);
            most = qMax(most, countContador(db));
        }
        say(QStringLiteral("substituido=%1 maximo=%2").arg(times).arg(most));
        return 0;
    }
    if (action == QLatin1String("register")) {
        const qint64 first = args.value(1).toLongLong();
        const int count = args.value(2).toInt();
        int inserted = 0;
        int conflicts = 0;
        QString message;
        for (int i = 0; i < count; ++i) {
            const QString ie = QString::number(first + i);
            if (countContribuinte(db, ie) > 0)
                continue;
            try {
                insertContribuinte(db, taxpayer(ie, QStringLiteral("Empresa %1").arg(ie)));
                ++inserted;
            } catch (const DbError& e) {
                if (e.number() != DbError::kConflictNumber)
                    throw;
                ++conflicts;
                message = e.description();
            }
        }
        say(QStringLiteral("inseridas=%1 conflitos=%2").arg(inserted).arg(conflicts));
        if (!message.isEmpty())
            say(QStringLiteral("mensagem=") + message);
        return 0;
    }
    if (action == QLatin1String("update")) {
        const int times = args.value(2).toInt();
        int changed = 0;
        for (int i = 0; i < times; ++i)
            changed +=
                updateContribuinte(db, taxpayer(args.value(1), QStringLiteral("Nome %1").arg(i)));
        say(QStringLiteral("atualizadas=%1").arg(changed));
        return 0;
    }
    if (action == QLatin1String("delete")) {
        say(QStringLiteral("excluidas=%1").arg(deleteContribuinte(db, args.value(1))));
        return 0;
    }
    say(QStringLiteral("erro 0 ação desconhecida ") + action);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 3) {
        say(QStringLiteral("erro 0 uso: dadav-desk-test <banco> <arquivo> <ação> ..."));
        return 2;
    }
    try {
        std::unique_ptr<LocalDb> db = open(args.at(0));
        say(QStringLiteral("pronto"));
        while (!QFile::exists(args.at(1)))
            QThread::msleep(1);
        return run(*db, args.mid(2));
    } catch (const DbError& e) {
        say(QStringLiteral("erro %1 %2").arg(e.number()).arg(e.description()));
        return 3;
    }
}
