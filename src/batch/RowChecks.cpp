// The checks of a batch row before anything is sent.
#include "batch/RowChecks.h"

#include "sendings/SendingRule.h"
#include "transmission/ReferenceList.h"
#include "transmission/SimplesReply.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace RowChecks {

bool Result::has(Problem problem) const {
    return std::any_of(problems.begin(), problems.end(),
                       [&](const Finding& f) { return f.problem == problem; });
}

QString Result::text() const {
    // Each finding is a sentence of its own; one that ends in a path or a
    // name gets its full stop, so two never run together.
    QStringList texts;
    for (const Finding& f : problems) {
        const QString sentence = f.text.trimmed();
        const bool ended = sentence.endsWith(QLatin1Char('.')) ||
                           sentence.endsWith(QLatin1Char('?')) ||
                           sentence.endsWith(QLatin1Char('!'));
        texts << (ended ? sentence : sentence + QLatin1Char('.'));
    }
    return texts.join(QLatin1Char(' '));
}

QString kindFor(const ContribuinteRow& taxpayer) {
    const bool declaration = taxpayer.OptanteSimples.has_value() && !*taxpayer.OptanteSimples;
    return declaration ? SentArchive::kDeclaration : SentArchive::kSimples;
}

std::optional<QString> parseReferences(const QString& text, QString* bad) {
    static const QRegularExpression kSeparators(QStringLiteral("[\\s,;]+"));
    static const QRegularExpression kMonth(QStringLiteral("^(\\d{1,2})[/_](\\d{4})$"));
    std::set<std::pair<int, int>> months; // (year, month): calendar order
    for (const QString& piece : text.split(kSeparators, Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = kMonth.match(piece);
        const int month = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (month < 1 || month > 12) {
            if (bad)
                *bad = piece;
            return std::nullopt;
        }
        months.insert({m.captured(2).toInt(), month});
    }
    QStringList ids;
    for (const auto& [year, month] : months)
        ids << QStringLiteral("%1_%2").arg(month).arg(year);
    return ids.join(QLatin1Char(','));
}

namespace {

void add(Result& result, Problem problem, const QString& text) {
    result.problems.append({problem, text});
}

// The months of a declaration row: readable, present, offered for the
// working years on the server's date (the declaration window's list).
void checkReferences(Result& result, const Input& input,
                     const std::optional<TaxpayerList::Facts>& list) {
    QString bad;
    const std::optional<QString> references = parseReferences(input.references, &bad);
    if (!references) {
        add(result, Problem::BadReference,
            QStringLiteral("Referência ilegível: \"%1\" (use MM/AAAA).").arg(bad));
        return;
    }
    result.references = *references;
    if (references->isEmpty()) {
        add(result, Problem::NoReferences, QStringLiteral("Nenhuma referência escolhida."));
        return;
    }
    if (!list || list->kind != History::ListAnswerKind::Transmissions ||
        !list->dataServidor.isValid())
        return;
    QSet<QString> offered;
    for (const ReferenceList::Row& row :
         ReferenceList::build(list->anoTrabalho, list->dataServidor.date()))
        offered.insert(row.id);
    QStringList outside;
    for (const QString& id : references->split(QLatin1Char(',')))
        if (!offered.contains(id))
            outside << TaxpayerList::monthsText(id);
    if (!outside.isEmpty())
        add(result, Problem::OutsideWorkingYears,
            QStringLiteral("Referência fora dos anos de trabalho (%1): %2.")
                .arg(list->anoTrabalho.trimmed(), outside.join(QStringLiteral(", "))));
}

// The duplicate rule of the memory of sendings. The windows' clock is not
// needed: it only tells a window's sending cut off hours ago from one under way.
SendingRule::Candidate candidateOf(const Input& input, const Result& checked) {
    SendingRule::Candidate candidate = SendingRule::candidateOf(*checked.sending);
    candidate.batchId = input.batchId;
    candidate.batchRowId = input.batchRowId;
    candidate.sendAgain = input.sendAgain;
    return candidate;
}

void checkEarlierSendings(LocalDb& db, Result& result, const Input& input) {
    const std::optional<SendingRule::Hold> hold =
        SendingRule::judge(db, candidateOf(input, result),
                           input.now.isValid() ? input.now : QDateTime::currentDateTime());
    if (!hold)
        return;
    const bool sameBytes = hold->reason != SendingRule::Reason::OtherFileBeingSent &&
                           hold->reason != SendingRule::Reason::QueuedElsewhere;
    add(result, sameBytes ? Problem::AlreadySent : Problem::AnotherSending,
        SendingRule::rowText(*hold));
}

} // namespace

Result check(LocalDb& db, const Input& input, const std::optional<ContribuinteRow>& taxpayer,
             const std::optional<TaxpayerList::Facts>& list) {
    Result result;
    const QFileInfo info(input.filePath);
    const QString name = info.fileName();
    std::optional<SentArchive::ArchivedSending>& sending = result.sending;
    // Judged by its name alone: a FIFO or a device is never opened (the
    // digest refuses one that takes the name meanwhile).
    if (!info.exists())
        add(result, Problem::FileUnreadable,
            QStringLiteral("Arquivo não encontrado: %1").arg(input.filePath));
    else if (!info.isFile())
        add(result, Problem::FileUnreadable,
            QStringLiteral("O caminho %1 %2.").arg(input.filePath, SentArchive::notRegularText()));

    if (!taxpayer) {
        add(result, Problem::NotRegistered,
            QStringLiteral("Contribuinte %1 não cadastrado neste computador.").arg(input.ie));
    } else {
        result.kind = kindFor(*taxpayer);
        const bool declaration = result.kind == SentArchive::kDeclaration;
        if (declaration && !ReferenceList::isArchiveName(name))
            add(result, Problem::WrongKind,
                QStringLiteral("O contribuinte %1 não é optante do Simples Nacional: envie a "
                               "declaração em arquivo .ZIP.")
                    .arg(taxpayer->IE));
        else if (!declaration && !SimplesReply::isPdfName(name))
            add(result, Problem::WrongKind,
                QStringLiteral("O contribuinte %1 é optante do Simples Nacional: envie o extrato "
                               "em arquivo .PDF.")
                    .arg(taxpayer->IE));
        if (taxpayer->Chave.isEmpty())
            add(result, Problem::NoKey,
                QStringLiteral("Contribuinte %1 sem chave de acesso.").arg(taxpayer->IE));
    }

    if (list && list->kind != History::ListAnswerKind::Transmissions) {
        const Problem problem =
            list->kind == History::ListAnswerKind::InvalidKey     ? Problem::InvalidKey
            : list->kind == History::ListAnswerKind::AccessDenied ? Problem::AccessDenied
                                                                  : Problem::ListUnreadable;
        add(result, problem, TaxpayerList::problemText(*list));
    }

    if (result.kind == SentArchive::kDeclaration) {
        checkReferences(result, input, list);
    } else if (result.kind == SentArchive::kSimples && !input.references.trimmed().isEmpty()) {
        add(result, Problem::ReferencesForSimples,
            QStringLiteral("Um extrato do Simples Nacional é enviado sem referências."));
    }

    if (info.isFile()) {
        sending = SentArchive::ArchivedSending::prepare(input.ie, result.kind, result.references,
                                                        input.filePath, input.digest);
        if (!sending)
            add(result, Problem::FileUnreadable,
                QStringLiteral("Arquivo ilegível: %1").arg(input.filePath));
        else if (!result.kind.isEmpty())
            checkEarlierSendings(db, result, input);
    }
    // The order of the enum, whatever order the checks ran in.
    std::stable_sort(result.problems.begin(), result.problems.end(),
                     [](const Finding& a, const Finding& b) { return a.problem < b.problem; });
    return result;
}

QString beginSending(LocalDb& db, const Input& input, const Result& checked, const QString& desk,
                     const QString& claimer, const QDateTime& now) {
    const SendingRule::Start start =
        SendingRule::begin(db, candidateOf(input, checked), desk, claimer, now);
    return start.hold ? SendingRule::rowText(*start.hold) : QString();
}

Result check(LocalDb& db, const Input& input, const std::optional<TaxpayerList::Facts>& list) {
    return check(db, input, findContribuinte(db, input.ie), list);
}

QList<NewBatchRow> batchRows(const QList<Input>& inputs, const QList<Result>& results) {
    QList<NewBatchRow> rows;
    for (qsizetype i = 0; i < inputs.size() && i < results.size(); ++i) {
        if (!results[i].ready())
            continue;
        NewBatchRow row{inputs[i].ie, inputs[i].filePath, results[i].kind, results[i].references};
        row.sendAgain = inputs[i].sendAgain;
        rows.append(row);
    }
    return rows;
}

} // namespace RowChecks
