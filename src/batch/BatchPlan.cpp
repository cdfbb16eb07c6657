// The batch window's lines, checks, proposals and batch, without widgets.
#include "batch/BatchPlan.h"

#include "batch/BatchQueue.h"
#include "batch/FileMatching.h"
#include "batch/ReferenceProposal.h"
#include "batch/TaxpayerList.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace {

// Problems that already say why the taxpayer's list proposed no months.
bool namesListProblem(const RowChecks::Result& result) {
    using P = RowChecks::Problem;
    for (const P p :
         {P::NotRegistered, P::NoKey, P::InvalidKey, P::AccessDenied, P::ListUnreadable})
        if (result.has(p))
            return true;
    return false;
}

// "1 ainda não foi enviado" / "3 ainda não foram enviados".
QString counted(int n, const char* one, const char* many) {
    return n == 1 ? QStringLiteral("1 ") + QString::fromUtf8(one)
                  : QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(many);
}

} // namespace

int BatchPlan::lineOf(qint64 rowId) const {
    for (int i = 0; i < size(); ++i)
        if (m_lines[i].rowId == rowId)
            return i;
    return -1;
}

int BatchPlan::addTaxpayer(const QString& ie) {
    Line line;
    line.ie = ie;
    m_lines.append(line);
    return size() - 1;
}

QList<int> BatchPlan::addFiles(const QStringList& paths, const QString& baseFolder,
                               const QSet<QString>& registered) {
    QStringList files;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            files << path;
            continue;
        }
        QDirIterator it(path, {QStringLiteral("*.zip"), QStringLiteral("*.pdf")}, QDir::Files,
                        QDirIterator::Subdirectories);
        QStringList found;
        while (it.hasNext())
            found << it.next();
        found.sort();
        files << found;
    }
    QSet<QString> present;
    for (const Line& line : std::as_const(m_lines))
        present.insert(QDir::fromNativeSeparators(line.filePath));

    QList<int> changed;
    for (const QString& file : std::as_const(files)) {
        const QString clean = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
        if (present.contains(clean))
            continue; // the same file twice is one line
        present.insert(clean);
        const FileMatching::Match match = FileMatching::match(clean, baseFolder, registered);
        // A taxpayer added first waits for its file: the file goes there.
        int waiting = -1;
        for (int i = 0; i < size() && waiting < 0 && !match.ie.isEmpty(); ++i)
            if (m_lines[i].ie == match.ie && m_lines[i].filePath.isEmpty())
                waiting = i;
        if (waiting < 0) {
            Line line;
            line.ie = match.ie;
            line.note = match.reason;
            m_lines.append(line);
            waiting = size() - 1;
        }
        m_lines[waiting].filePath = QDir::toNativeSeparators(clean);
        m_lines[waiting].size = QFileInfo(clean).size();
        changed << waiting;
    }
    return changed;
}

bool BatchPlan::setFile(int index, const QString& path) {
    Line& line = m_lines[index];
    if (line.rowId != 0)
        return false;
    line.filePath = QDir::toNativeSeparators(path);
    line.size = QFileInfo(path).size();
    return true;
}

bool BatchPlan::assign(int index, const QString& ie) {
    Line& line = m_lines[index];
    if (line.rowId != 0 || ie.isEmpty())
        return false;
    line.ie = ie;
    line.note.clear();
    line.references.clear();
    line.referencesByUser = false;
    line.proposedFor.clear();
    return true;
}

bool BatchPlan::setReferences(int index, const QString& text) {
    Line& line = m_lines[index];
    // An extract takes no months.
    if (line.rowId != 0 || line.kind != SentArchive::kDeclaration)
        return false;
    line.references = RowChecks::parseReferences(text).value_or(text);
    line.referencesByUser = true;
    return true;
}

bool BatchPlan::toggleSendAgain(int index) {
    Line& line = m_lines[index];
    if (line.rowId != 0)
        return false;
    line.sendAgain = !line.sendAgain;
    return true;
}

QList<int> BatchPlan::remove(const QList<int>& indexes) {
    QList<int> sorted = indexes;
    std::sort(sorted.rbegin(), sorted.rend());
    QList<int> removed;
    for (const int i : std::as_const(sorted)) {
        if (i < 0 || i >= size() || m_lines[i].rowId != 0 || removed.contains(i))
            continue; // queued lines stay: they are the batch's record
        m_lines.removeAt(i);
        removed << i;
    }
    return removed;
}

QStringList BatchPlan::listsWanted() const {
    QStringList ies;
    for (const Line& line : m_lines)
        if (!line.ie.isEmpty() && line.rowId == 0 && !ies.contains(line.ie))
            ies << line.ie;
    for (const QString& ie : std::as_const(ies))
        if (!m_asked.contains(ie))
            return ies;
    return {};
}

void BatchPlan::listsAsked(const QStringList& wanted, const QStringList& asked) {
    for (const QString& ie : wanted)
        m_asked.insert(ie);
    m_waiting.clear();
    // An answer already known stands while the same list is asked again.
    for (const QString& ie : asked)
        if (!m_answers.contains(ie))
            m_waiting.insert(ie);
}

QList<int> BatchPlan::listAnswered(const QString& ie, const Overview::Row& row) {
    m_answers.insert(ie, row);
    m_waiting.remove(ie);
    QList<int> lines;
    for (int i = 0; i < size(); ++i) {
        Line& line = m_lines[i];
        if (line.ie != ie || line.rowId != 0)
            continue;
        line.proposedFor.clear();
        lines << i;
    }
    return lines;
}

void BatchPlan::recheck(LocalDb& db, int index, const QDateTime& now) {
    const QDate today = now.date();
    Line& line = m_lines[index];
    if (line.rowId != 0)
        return;
    line.ready = false;
    if (line.ie.isEmpty()) {
        line.checks = (line.note.isEmpty() ? QString() : line.note + QLatin1Char(' ')) +
                      QStringLiteral("Escolha o contribuinte.");
        return;
    }
    const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, line.ie);
    if (taxpayer)
        line.kind = RowChecks::kindFor(*taxpayer);
    const auto answer = m_answers.constFind(line.ie);
    if (answer != m_answers.cend() && line.proposedFor != line.ie) {
        line.proposedFor = line.ie;
        if (line.kind == SentArchive::kDeclaration && !line.referencesByUser) {
            const ReferenceProposal::Proposal proposal = ReferenceProposal::propose(*answer, today);
            line.references = proposal.references;
            line.note = proposal.note;
        }
    }
    if (line.filePath.isEmpty()) {
        line.checks = QStringLiteral("Escolha o arquivo.");
        return;
    }
    std::optional<TaxpayerList::Facts> facts;
    if (answer != m_answers.cend() && !answer->wholeAnswer.isEmpty())
        facts = TaxpayerList::read(answer->wholeAnswer);
    // The file is read again only when it may have changed since.
    const RowChecks::Result result = RowChecks::check(
        db,
        {line.ie, line.filePath, line.references, line.sendAgain, line.checkedDigest(), 0, 0, now},
        taxpayer, facts);
    line.result = result;
    line.kind = result.kind;
    line.ready = result.ready();
    line.checks = line.ready ? QStringLiteral("Pronto para envio") : result.text();
    // Why no months were proposed, unless a check already says it.
    if (!line.note.isEmpty() && line.references.isEmpty() && !namesListProblem(result))
        line.checks += QLatin1Char(' ') + line.note;
    // The list may refuse the key or the months, and proposes a
    // declaration's months: nothing reads ready before it came.
    if (waitingForList(line.ie) &&
        (line.ready || (line.kind == SentArchive::kDeclaration && !line.referencesByUser))) {
        line.ready = false;
        line.checks = QStringLiteral("Aguardando a lista do servidor...");
    }
}

QList<int> BatchPlan::readyLines() const {
    QList<int> ready;
    for (int i = 0; i < size(); ++i)
        if (m_lines[i].rowId == 0 && m_lines[i].ready)
            ready << i;
    return ready;
}

qint64 BatchPlan::createBatch(LocalDb& db, const QString& desk, const QDateTime& at) {
    const QList<int> ready = readyLines();
    if (ready.isEmpty())
        return 0;
    QList<RowChecks::Input> inputs;
    QList<RowChecks::Result> results;
    for (const int i : ready) {
        const Line& line = m_lines[i];
        inputs.append({line.ie, line.filePath, line.references, line.sendAgain});
        results.append(line.result);
    }
    const qint64 batchId = ::createBatch(db, desk, at, RowChecks::batchRows(inputs, results));
    QList<BatchRow> rows = ::batchRows(db, batchId);
    for (const int i : ready) {
        Line& line = m_lines[i];
        // Each row to the line of its file (and taxpayer).
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const BatchRow& r) {
            return r.filePath == line.filePath && r.ie == line.ie;
        });
        if (row == rows.end())
            continue;
        line.batchId = batchId;
        line.rowId = row->id;
        line.state = row->state;
        line.interrupted = false;
        rows.erase(row);
    }
    return batchId;
}

QList<qint64> BatchPlan::queuedBatches() const {
    QList<qint64> batches;
    for (const Line& line : m_lines)
        if (line.rowId != 0 && line.state == BatchRowState::Queued &&
            !batches.contains(line.batchId))
            batches << line.batchId;
    std::sort(batches.begin(), batches.end());
    return batches;
}

int BatchPlan::take(const BatchRow& row) {
    int index = lineOf(row.id);
    if (index < 0) {
        Line line;
        line.ie = row.ie;
        line.filePath = row.filePath;
        line.kind = row.kind;
        line.references = row.references;
        line.batchId = row.batchId;
        line.rowId = row.id;
        line.size = QFileInfo(row.filePath).size();
        m_lines.append(line);
        index = size() - 1;
    }
    Line& line = m_lines[index];
    line.state = row.state;
    line.text = row.reply;
    line.protocol = row.protocol;
    line.sendAgain = row.sendAgain;
    line.interrupted = false;
    if (row.endedAt.isValid())
        line.time = row.endedAt;
    else if (!line.time.isValid())
        line.time = row.startedAt;
    return index;
}

bool BatchPlan::canRequeue(int index) const {
    const Line& line = m_lines[index];
    return line.rowId != 0 &&
           (line.state == BatchRowState::NotListed || line.state == BatchRowState::NotSent ||
            line.state == BatchRowState::Cancelled);
}

int BatchPlan::started(qint64 rowId, const QDateTime& at) {
    const int i = lineOf(rowId);
    if (i >= 0) {
        m_lines[i].state = BatchRowState::Sending;
        m_lines[i].percent = 0;
        m_lines[i].time = at;
    }
    return i;
}

int BatchPlan::progressed(qint64 rowId, int percent) {
    const int i = lineOf(rowId);
    if (i < 0 || m_lines[i].percent == percent)
        return -1;
    m_lines[i].percent = percent;
    return i;
}

int BatchPlan::ended(qint64 rowId, BatchRowState state, const QString& text, const QDateTime& at) {
    const int i = lineOf(rowId);
    if (i >= 0) {
        m_lines[i].state = state;
        m_lines[i].text = text;
        m_lines[i].time = at;
    }
    return i;
}

int BatchPlan::listedAs(qint64 rowId, BatchRowState state, const QString& protocol) {
    const int i = lineOf(rowId);
    if (i >= 0) {
        m_lines[i].state = state;
        m_lines[i].protocol = protocol;
    }
    return i;
}

void BatchPlan::requeued(int index) {
    Line& line = m_lines[index];
    line.state = BatchRowState::Queued;
    line.text.clear();
    line.interrupted = false;
}

void BatchPlan::beginRun() {
    m_runRows.clear();
    for (const Line& line : std::as_const(m_lines))
        if (line.rowId != 0 && line.state == BatchRowState::Queued)
            m_runRows.insert(line.rowId);
}

BatchPlan::Total BatchPlan::total() const {
    Total total;
    for (const Line& line : m_lines) {
        if (!m_runRows.contains(line.rowId) || !line.state)
            continue;
        ++total.rows;
        total.bytes += line.size;
        switch (*line.state) {
        case BatchRowState::Accepted:
        case BatchRowState::Refused:
        case BatchRowState::NoReply:
            ++total.sent;
            total.bytesSent += line.size;
            break;
        case BatchRowState::Sending:
            if (!line.interrupted)
                total.bytesSent += line.size * line.percent / 100;
            break;
        default:
            break;
        }
    }
    return total;
}

QList<int> BatchPlan::interruptRun() {
    QList<int> interrupted;
    for (int i = 0; i < size(); ++i) {
        Line& line = m_lines[i];
        if (m_runRows.contains(line.rowId) &&
            (line.state == BatchRowState::Queued || line.state == BatchRowState::Sending)) {
            line.interrupted = true;
            interrupted << i;
        }
    }
    return interrupted;
}

QString BatchPlan::situation(const Line& line, bool queueRuns) {
    if (!line.state)
        return {};
    const BatchRowState state = *line.state;
    // Its request may have reached the server: the next run settles it.
    if (state == BatchRowState::Sending && (line.interrupted || !queueRuns))
        return QStringLiteral("Interrompido — será verificado ao retomar o lote");
    if (state == BatchRowState::Queued && line.interrupted)
        return QStringLiteral("Na fila — envio interrompido");
    QString text = BatchQueue::stateText(state);
    if (state == BatchRowState::Sending)
        text += QStringLiteral(" %1 %").arg(line.percent);
    else if (state == BatchRowState::Refused || state == BatchRowState::NotSent)
        text += QStringLiteral(": ") + line.text;
    return text;
}

QString BatchPlan::verification(const Line& line) {
    if (line.rowId != 0)
        return {};
    return line.checks + (line.sendAgain ? QStringLiteral(" (enviar de novo)") : QString());
}

QString BatchPlan::resumeQuestion(const QList<BatchRow>& rows) {
    int toSend = 0;
    int unconfirmed = 0;
    int withoutProtocol = 0;
    for (const BatchRow& row : rows) {
        switch (row.state) {
        case BatchRowState::Queued:
            ++toSend;
            break;
        case BatchRowState::Sending:
            // A request that started may be on the server: its list says.
            ++(row.requestStarted ? unconfirmed : toSend);
            break;
        case BatchRowState::NoReply:
            ++unconfirmed;
            break;
        case BatchRowState::Accepted:
            withoutProtocol += row.protocol.isEmpty();
            break;
        default:
            break;
        }
    }
    QStringList parts;
    if (toSend > 0)
        parts << counted(toSend, "ainda não foi enviado", "ainda não foram enviados");
    if (unconfirmed > 0)
        parts << counted(unconfirmed, "aguarda a confirmação do servidor",
                         "aguardam a confirmação do servidor");
    if (withoutProtocol > 0)
        parts << counted(withoutProtocol, "foi aceito e aguarda o protocolo",
                         "foram aceitos e aguardam o protocolo");
    QString what = parts.value(0);
    for (int i = 1; i < parts.size(); ++i)
        what += (i + 1 == parts.size() ? QStringLiteral(" e ") : QStringLiteral(", ")) + parts[i];
    return QStringLiteral("O último envio em lote não terminou: de %1, %2.\n\nDeseja retomá-lo "
                          "agora?")
        .arg(counted(int(rows.size()), "arquivo", "arquivos"), what);
}
