// The command line's batch.
#include "batchcommand/BatchCommand.h"

#include "base/RuntimeError.h"
#include "base/SupportLog.h"
#include "batch/BatchQueue.h"
#include "batch/BatchSummary.h"
#include "batch/RowChecks.h"
#include "batch/TaxpayerList.h"
#include "batchcommand/BatchCsv.h"
#include "batchcommand/CommandCertificate.h"
#include "childprocess/ChildRunner.h"
#include "history/TransmissionList.h"
#include "net/SoapBatch.h"
#include "net/SoapClient.h"
#include "platform/Clock.h"
#include "sendings/SendingRule.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/DbError.h"
#include "store/LocalDb.h"
#include "transmission/DeclarationReply.h"
#include "transmission/SendingCertificate.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace BatchCommand {

void print(FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

// One text on one line of the output: every control character (line
// breaks, a NUL, a terminal's escape) a blank.
QString oneLine(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text;
}

// One output line: the fields quoted as the CSV is read, so a ";" in a file
// name or a text does not split it.
QString csvLine(const QStringList& fields) {
    QStringList out;
    for (const QString& field : fields)
        out << BatchCsv::quoted(oneLine(field));
    return out.join(QLatin1Char(';')) + QLatin1Char('\n');
}

namespace {

struct Options {
    QString csv;
    QString certificate;
    bool checkOnly = false;
    bool sendAgain = false;
    bool help = false;
};

bool hasNotListedRow(LocalDb& db, qint64 batchId) {
    const QList<BatchRow> rows = batchRows(db, batchId);
    return std::any_of(rows.begin(), rows.end(),
                       [](const BatchRow& row) { return row.state == BatchRowState::NotListed; });
}

std::optional<Options> parse(const QStringList& arguments, QString* error) {
    Options options;
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        options.help = true;
        return options;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const auto value = [&](QString& into) {
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"))) {
                *error = QStringLiteral("Falta o valor de %1.").arg(a);
                return false;
            }
            into = arguments[++i];
            return true;
        };
        if (a == QLatin1String("--enviar-lote")) {
            if (!value(options.csv))
                return std::nullopt;
        } else if (a == QLatin1String("--certificado")) {
            if (!value(options.certificate))
                return std::nullopt;
        } else if (a == QLatin1String("--verificar")) {
            options.checkOnly = true;
        } else if (a == QLatin1String("--reenviar")) {
            options.sendAgain = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            options.help = true;
        } else {
            *error = QStringLiteral("Opção desconhecida: %1").arg(a);
            return std::nullopt;
        }
    }
    if (!options.help && options.csv.isEmpty()) {
        *error = QStringLiteral("Falta o arquivo CSV de --enviar-lote.");
        return std::nullopt;
    }
    if (!options.help && !options.checkOnly && options.certificate.isEmpty()) {
        *error = QStringLiteral("Falta --certificado: o envio usa o certificado do contador.");
        return std::nullopt;
    }
    return options;
}

// A row's text as the command line shows it: the server's message where the
// row holds its whole reply (an acceptance), and the way to send a held-back
// file again from here instead of the window's tick.
QString rowText(const QString& text) {
    QString shown =
        text.startsWith(QLatin1String("HTTP/")) ? DeclarationReply::message(text) : text;
    shown.replace(SendingRule::kTickToSendAgain,
                  QStringLiteral("Para enviá-lo mesmo assim, use a janela Envio em lote "
                                 "(Enviar de novo)."));
    shown.replace(SendingRule::kTickToSendAnyway,
                  QStringLiteral("A linha espera aquele envio; para enviá-la mesmo assim, use a "
                                 "janela Envio em lote (Enviar de novo)."));
    return oneLine(shown);
}

} // namespace

QHash<QString, TaxpayerList::Facts> askLists(const QList<ContribuinteRow>& taxpayers) {
    QHash<QString, TaxpayerList::Facts> lists;
    if (taxpayers.isEmpty())
        return lists;
    SoapBatch batch(4);
    QEventLoop loop;
    QObject::connect(&batch, &SoapBatch::answered, [&](int i, const QString& answer) {
        lists.insert(taxpayers[i].IE, TaxpayerList::read(answer));
    });
    QObject::connect(&batch, &SoapBatch::finished, &loop, &QEventLoop::quit);
    QList<SoapBatch::Call> calls;
    for (qsizetype i = 0; i < taxpayers.size(); ++i)
        calls.append({int(i), QString(Soap::ServicePath), History::kListOperation,
                      History::listCallParams(taxpayers[i].IE, taxpayers[i].Chave)});
    batch.run(calls);
    loop.exec();
    return lists;
}

namespace {

// --verificar: the checks of every row, with each taxpayer's list.
int checkOnly(LocalDb& db, const QList<BatchCsv::Row>& rows) {
    QList<ContribuinteRow> taxpayers;
    QHash<QString, bool> seen;
    for (const BatchCsv::Row& row : rows) {
        const std::optional<ContribuinteRow> t = findContribuinte(db, row.ie);
        if (t && !t->Chave.isEmpty() && !seen.contains(t->IE)) {
            seen.insert(t->IE, true);
            taxpayers << *t;
        }
    }
    const QHash<QString, TaxpayerList::Facts> lists = askLists(taxpayers);
    int ready = 0;
    for (const BatchCsv::Row& row : rows) {
        const std::optional<ContribuinteRow> t = findContribuinte(db, row.ie);
        std::optional<TaxpayerList::Facts> list;
        if (t && lists.contains(t->IE))
            list = lists.value(t->IE);
        const RowChecks::Result r = RowChecks::check(
            db,
            {row.ie, row.filePath, row.references, false, std::nullopt, 0, 0, systemClock().now()},
            t, list);
        QString verdict = r.ready() ? QStringLiteral("pronto") : rowText(r.text());
        if (r.ready() && t && !t->Chave.isEmpty() && !list)
            verdict += QStringLiteral(" (a lista do contribuinte não foi obtida)");
        ready += r.ready() ? 1 : 0;
        print(stdout,
              csvLine({QStringLiteral("linha %1").arg(row.line), row.ie, row.filePath, verdict}));
    }
    print(stdout, QStringLiteral("Resumo: %1 de %2 linhas prontas para envio.\n")
                      .arg(ready)
                      .arg(rows.size()));
    return ready == rows.size() ? kAllAccepted : kChecksFailed;
}

// The rows of a new batch from the CSV: every row, so each ends in its own
// state (the queue's checks refuse those that cannot go).
QList<NewBatchRow> newRows(LocalDb& db, const QList<BatchCsv::Row>& rows) {
    QList<NewBatchRow> out;
    for (const BatchCsv::Row& row : rows) {
        const std::optional<ContribuinteRow> t = findContribuinte(db, row.ie);
        const QString kind = t ? RowChecks::kindFor(*t)
                               : (row.filePath.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)
                                      ? SentArchive::kSimples
                                      : SentArchive::kDeclaration);
        const std::optional<QString> refs = RowChecks::parseReferences(row.references);
        out.append({row.ie, row.filePath, kind, refs ? *refs : row.references});
    }
    return out;
}

// Prints every row of the batch and the summary; the exit code.
int report(LocalDb& db, qint64 batchId) {
    const QList<BatchRow> rows = batchRows(db, batchId);
    for (const BatchRow& row : rows)
        print(stdout, csvLine({row.ie, row.filePath, BatchQueue::stateText(row.state), row.protocol,
                               rowText(row.reply)}));
    const BatchSummary summary(rows);
    print(stdout, QStringLiteral("Resumo: %1.\n").arg(summary.text()));
    return summary.allAccepted() ? kAllAccepted : kNotAllAccepted;
}

int send(LocalDb& db, const Options& options, const QList<BatchCsv::Row>& rows,
         const QByteArray& csvBytes) {
    // The batch made from this CSV (same place, same bytes) on this desk and
    // not finished is resumed; any other run makes a new batch.
    const QString origin =
        QStringLiteral("csv %1 sha256 %2")
            .arg(QFileInfo(options.csv).absoluteFilePath(),
                 QString::fromLatin1(
                     QCryptographicHash::hash(csvBytes, QCryptographicHash::Sha256).toHex()));
    const QString desk = BatchQueue::thisDesk();
    std::optional<qint64> batchId = unfinishedBatch(db, desk, origin);
    const std::optional<qint64> listed = latestBatch(db, desk, origin);
    if (!batchId && listed && hasNotListedRow(db, *listed)) {
        // Rows the lists did not show wait for the user's word (--reenviar):
        // the same CSV again shows them, it does not make a batch whose every
        // row the archive would hold back.
        batchId = listed;
    }
    if (options.sendAgain) {
        if (listed) {
            int requeued = 0;
            for (const BatchRow& row : batchRows(db, *listed))
                if (row.state == BatchRowState::NotListed && requeueRow(db, row.id, true))
                    ++requeued;
            print(stderr, QStringLiteral("%1 linhas que não constavam na lista voltaram à fila.\n")
                              .arg(requeued));
            if (requeued > 0)
                batchId = listed;
        }
    }
    if (batchId) {
        print(stderr, QStringLiteral("Retomando o lote %1 feito deste CSV.\n").arg(*batchId));
    } else {
        batchId = createBatch(db, desk, systemClock().now(), newRows(db, rows), origin);
    }

    BatchQueue::Setup setup;
    setup.desk = desk;
    setup.clock = &systemClock();
    const BatchRecovery recovery = recoverBatch(*batchId, desk, systemClock().now());
    BatchQueue queue(*batchId, setup);
    if (recovery.noReply + recovery.requeued > 0)
        print(stderr, QStringLiteral("Envio interrompido retomado: %1 de volta à fila, %2 sem "
                                     "resposta a verificar na lista.\n")
                          .arg(recovery.requeued)
                          .arg(recovery.noReply));

    QHash<qint64, QString> names;
    for (const BatchRow& row : batchRows(db, *batchId))
        names.insert(row.id, row.ie + QLatin1Char(' ') + QFileInfo(row.filePath).fileName());
    int done = 0;
    int exitCode = -1;
    QEventLoop loop;
    QObject::connect(
        &queue, &BatchQueue::rowFinished, [&](qint64 id, BatchRowState state, const QString& text) {
            print(stderr,
                  QStringLiteral("[%1] %2: %3 %4\n")
                      .arg(++done)
                      .arg(names.value(id), BatchQueue::stateText(state), rowText(text).left(200)));
        });
    QObject::connect(&queue, &BatchQueue::paused, [&](const QString& why) {
        print(stderr, why + QLatin1Char('\n'));
        exitCode = kPaused;
        loop.quit();
    });
    QObject::connect(&queue, &BatchQueue::finished, [&](const QString& problem) {
        if (!problem.isEmpty()) {
            print(stderr, problem + QLatin1Char('\n'));
            exitCode = kDatabase;
        }
        loop.quit();
    });
    queue.start();
    loop.exec();
    const int reported = report(db, *batchId);
    return exitCode >= 0 ? exitCode : reported;
}

} // namespace

QString usage() {
    return QStringLiteral(
               "Uso: dadav --enviar-lote ARQUIVO.csv --certificado CERTIFICADO [--verificar] "
               "[--reenviar]\n"
               "Envia sem janelas as declarações (.ZIP) e os extratos do Simples Nacional (.PDF)\n"
               "das linhas do CSV, uma depois da outra, como a janela Envio em lote.\n\n"
               "O CSV (UTF-8, campos separados por \";\"):\n"
               "  IE;arquivo;referências\n"
               "  86123452;BACKUP.ZIP;01/2026 02/2026\n"
               "  78045302;PGDAS-D.pdf\n"
               "Só a primeira linha pode ser um cabeçalho (como a primeira acima): ela o é quando\n"
               "seu primeiro campo não tem nenhum dígito; em qualquer outra linha, uma IE sem\n"
               "dígitos é um erro. As referências (MM/AAAA) vão separadas por espaço ou vírgula, "
               "ou em mais\n"
               "campos; um campo com \";\" vai entre aspas (\"backup;1.zip\"), uma aspa dentro "
               "dele\n"
               "escrita duas vezes; um arquivo relativo é lido da pasta do CSV. O CSV deve ser um\n"
               "arquivo comum de até %1 bytes (1 MiB), sem caracteres de controle.\n\n"
               "Saída: ao fim, uma linha por arquivo, IE;arquivo;situação;protocolo;mensagem\n"
               "(a mensagem do servidor ou o motivo), com as aspas do CSV, e uma linha de "
               "resumo.\n\n"
               "Opções:\n"
               "  --certificado C  o certificado do contador: um arquivo (a senha de um .pfx/.p12\n"
               "                   é lida da entrada padrão), ou o número de série ou o CPF/CNPJ\n"
               "                   do titular de um certificado de token ou navegador (o PIN de\n"
               "                   um token que só mostra o certificado após o PIN também é\n"
               "                   lido da entrada padrão)\n"
               "  --verificar      só verifica as linhas; nada é enviado\n"
               "  --reenviar       põe de volta na fila as linhas que não constam na lista do\n"
               "                   contribuinte (enviadas sem resposta) e as envia de novo\n\n"
               "Rodar de novo com o mesmo CSV retoma o lote inacabado feito dele nesta estação.\n\n"
               "Códigos de saída:\n"
               "  0  todas as linhas aceitas (--verificar: todas prontas)\n"
               "  1  alguma linha recusada, não enviada, sem resposta, cancelada ou que não "
               "consta\n"
               "     na lista do contribuinte (enviada sem resposta; --reenviar a envia de novo)\n"
               "  2  opções erradas, ou CSV ilegível, grande demais, que não é um arquivo comum\n"
               "     ou com um caractere de controle (a linha é dita)\n"
               "  3  certificado ilegível, não encontrado ou inválido\n"
               "  4  banco de dados, pasta do aplicativo ou contador não cadastrado\n"
               "  5  --verificar: alguma linha não seria enviada\n"
               "  6  envio pausado após três falhas de rede seguidas; rode de novo para "
               "continuar\n")
        .arg(BatchCsv::kMaxBytes);
}

int run(const QStringList& arguments, const std::function<void()>& chooseFolder) {
    QString error;
    const std::optional<Options> options = parse(arguments, &error);
    if (!options) {
        print(stderr, error + QStringLiteral("\n\n") + usage());
        return kUsage;
    }
    if (options->help) {
        print(stdout, usage());
        return kAllAccepted;
    }
    try {
        chooseFolder();
    } catch (const RuntimeError& e) {
        print(stderr, e.description() + QLatin1Char('\n'));
        return kDatabase;
    }
    SupportLog::open(SupportLog::defaultFolder());

    const std::optional<QByteArray> csvBytes = BatchCsv::readFile(options->csv, &error);
    if (!csvBytes) {
        print(stderr, error + QLatin1Char('\n'));
        return kUsage;
    }
    const std::optional<QList<BatchCsv::Row>> rows =
        BatchCsv::read(*csvBytes, QFileInfo(options->csv).absolutePath(), &error);
    if (!rows) {
        print(stderr, error + QLatin1Char('\n'));
        return kUsage;
    }

    int exitCode = kDatabase;
    try {
        LocalDb db;
        if (!selectContador(db)) {
            print(stderr, QStringLiteral("O contador não está cadastrado neste computador.\n"));
            return kDatabase;
        }
        const QString accountant = DadosContador(db);
        if (!options->certificate.isEmpty()) {
            const std::optional<Certificate> certificate = CommandCertificate::find(
                options->certificate, [] { return QTextStream(stdin).readLine(); }, &error);
            ChildRunner::stopAll();
            if (!certificate) {
                print(stderr, error + QLatin1Char('\n'));
                return kCertificate;
            }
            // Judged on this computer's date: no server date is known yet.
            const QDateTime now = systemClock().now();
            if (!SendingCertificate::accepted(*certificate, accountant,
                                              SendingCertificate::judgingDate({}, now))) {
                print(stderr, SendingCertificate::kInvalid + QLatin1Char('\n'));
                return kCertificate;
            }
        }
        exitCode = options->checkOnly ? checkOnly(db, *rows) : send(db, *options, *rows, *csvBytes);
    } catch (const RuntimeError& e) {
        print(stderr, e.description() + QLatin1Char('\n'));
        return kDatabase;
    }
    return exitCode;
}

} // namespace BatchCommand
