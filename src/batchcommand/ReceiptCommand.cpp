// The command line's receipts.
#include "batchcommand/ReceiptCommand.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "base/SupportLog.h"
#include "batchcommand/BatchCommand.h"
#include "history/TransmissionList.h"
#include "net/SoapTransport.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QRegularExpression>
#include <QSet>

#include <optional>

namespace ReceiptCommand {

using BatchCommand::csvLine;
using BatchCommand::print;

namespace {

struct Options {
    QSet<QString> months; // "yyyy-MM"; empty: every processed sending without a receipt
    bool help = false;
};

std::optional<Options> parse(const QStringList& arguments, QString* error) {
    static const QRegularExpression month(QStringLiteral("^\\d{4}-(0[1-9]|1[0-2])$"));
    Options options;
    for (const QString& a : arguments) {
        if (a == QLatin1String("--buscar-recibos"))
            continue;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            options.help = true;
        } else if (month.match(a).hasMatch()) {
            options.months.insert(a);
        } else {
            *error = a.startsWith(QLatin1String("-"))
                         ? QStringLiteral("Opção desconhecida: %1").arg(a)
                         : QStringLiteral("Mês de referência inválido: %1 (use AAAA-MM)").arg(a);
            return std::nullopt;
        }
    }
    return options;
}

// What the lines and the exit code count.
struct Tally {
    int kept = 0;
    int already = 0;
    int failed = 0;
    int refused = 0;
    int pending = 0;
    int keyRefused = 0;
    int listFailed = 0;

    int exitCode() const {
        if (keyRefused > 0)
            return kKeyRefused;
        if (refused > 0)
            return kRefusedAfterProcessing;
        return failed + listFailed > 0 ? kNotAllKept : kAllKept;
    }
    QString text() const {
        return QStringLiteral("Resumo: %1 recibos guardados agora, %2 já guardados, %3 não "
                              "obtidos, %4 envios recusados após o processamento, %5 em "
                              "processamento; %6 contribuintes com a chave recusada, %7 sem "
                              "lista.\n")
            .arg(kept)
            .arg(already)
            .arg(failed)
            .arg(refused)
            .arg(pending)
            .arg(keyRefused)
            .arg(listFailed);
    }
};

// One taxpayer's list: a line per sending of the months asked, its receipt
// kept when processed.
void follow(const ContribuinteRow& taxpayer, const TaxpayerList::Facts& list,
            const Options& options, Receipts::Keeper& keeper, Tally& tally) {
    using namespace History;
    for (const QStringList& row : list.rows) {
        const QString referencia = row.value(ColReferencia);
        const QString protocolo = row.value(ColProtocolo);
        const QString status = row.value(ColStatus).trimmed();
        const QString month = Receipts::referenceMonth(referencia);
        if (referencia == kPendingReference) {
            // Its month is not shown yet: counted, never asked for.
            ++tally.pending;
            continue;
        }
        if (month.isEmpty() || (!options.months.isEmpty() && !options.months.contains(month)))
            continue;
        const auto line = [&](const QString& situation, const QString& file) {
            print(stdout, csvLine({taxpayer.IE, referencia, protocolo, situation, file}));
        };
        if (status == QLatin1String("1")) {
            ++tally.pending;
            line(QStringLiteral("em processamento"), {});
            continue;
        }
        if (status != QLatin1String("3")) {
            ++tally.refused;
            line(QStringLiteral("recusado após o processamento (situação %1)").arg(status), {});
            continue;
        }
        const Receipts::Sending sending{taxpayer.IE,    taxpayer.RazaoSocial,
                                        taxpayer.Chave, referencia,
                                        protocolo,      row.value(ColData)};
        if (options.months.isEmpty() && Receipts::filesOf(sending).complete()) {
            ++tally.already; // the default run speaks only of what it fetches
            continue;
        }
        const Receipts::Outcome outcome = keeper.keep(sending);
        const QString file = outcome.files.pdf.isEmpty() ? outcome.files.page : outcome.files.pdf;
        switch (outcome.state) {
        case Receipts::Outcome::State::AlreadyKept:
            ++tally.already;
            line(QStringLiteral("já guardado"), file);
            break;
        case Receipts::Outcome::State::Kept:
            ++tally.kept;
            line(outcome.text.isEmpty() ? QStringLiteral("guardado")
                                        : QStringLiteral("guardado; ") + outcome.text,
                 file);
            break;
        case Receipts::Outcome::State::Failed:
            ++tally.failed;
            line(QStringLiteral("não obtido: ") + outcome.text, file);
            break;
        }
    }
}

} // namespace

QString usage() {
    return QStringLiteral(
        "Uso: dadav --buscar-recibos [AAAA-MM ...]\n"
        "Busca sem janelas os recibos dos envios processados de cada contribuinte\n"
        "cadastrado com chave e os guarda no arquivo do programa, em\n"
        "arquivo/<IE>/recibos/<AAAA-MM da referência>/: o XML do recibo, a página do\n"
        "recibo como o servidor a serve (HTML ou PDF) e o PDF do recibo feito pelo\n"
        "programa. Cada recibo é buscado uma vez só: rodar de novo não busca o que já\n"
        "está guardado, e um recibo guardado nunca é substituído por outro diferente\n"
        "(os dois ficam).\n\n"
        "Sem meses, busca todo envio processado que a lista mostra sem recibo guardado;\n"
        "com meses (AAAA-MM), só os dessas referências, mostrando também os já guardados.\n\n"
        "Saída: uma linha por envio, IE;referência;protocolo;situação;arquivo, com as\n"
        "aspas do CSV, e uma linha de resumo.\n\n"
        "Códigos de saída (havendo mais de um, vale o primeiro de 3, 5, 1):\n"
        "  0  todo envio processado tem seu recibo guardado\n"
        "  1  algum recibo não foi obtido ou guardado, ou a lista de algum contribuinte\n"
        "     não foi obtida; rode de novo para buscar o que falta\n"
        "  2  opções erradas\n"
        "  3  o servidor recusou a chave de algum contribuinte\n"
        "  4  banco de dados ou pasta do aplicativo\n"
        "  5  algum envio foi recusado após o processamento\n");
}

int run(const QStringList& arguments, const std::function<void()>& chooseFolder,
        const Receipts::PdfMaker& makePdf) {
    QString error;
    const std::optional<Options> options = parse(arguments, &error);
    if (!options) {
        print(stderr, error + QStringLiteral("\n\n") + usage());
        return kUsage;
    }
    if (options->help) {
        print(stdout, usage());
        return kAllKept;
    }
    QList<ContribuinteRow> taxpayers;
    try {
        chooseFolder();
        SupportLog::open(SupportLog::defaultFolder());
        LocalDb db;
        for (const ContribuinteRow& t : listContribuintes(db))
            if (!t.Chave.isEmpty())
                taxpayers << t;
    } catch (const RuntimeError& e) {
        print(stderr, e.description() + QLatin1Char('\n'));
        return kDatabase;
    }

    const QHash<QString, TaxpayerList::Facts> lists = BatchCommand::askLists(taxpayers);
    SoapTransport transport;
    Receipts::Keeper keeper(
        transport, transport, makePdf,
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host")));
    Tally tally;
    for (const ContribuinteRow& taxpayer : std::as_const(taxpayers)) {
        const auto found = lists.constFind(taxpayer.IE);
        if (found == lists.constEnd()) {
            ++tally.listFailed;
            print(stdout, csvLine({taxpayer.IE, {}, {}, QStringLiteral("lista não obtida"), {}}));
            continue;
        }
        if (found->kind != History::ListAnswerKind::Transmissions) {
            if (found->kind == History::ListAnswerKind::NotXml)
                ++tally.listFailed;
            else
                ++tally.keyRefused;
            print(stdout, csvLine({taxpayer.IE, {}, {}, TaxpayerList::problemText(*found), {}}));
            continue;
        }
        follow(taxpayer, *found, *options, keeper, tally);
    }
    print(stdout, tally.text());
    return tally.exitCode();
}

} // namespace ReceiptCommand
