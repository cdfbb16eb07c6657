// The batch queue's engine.
#include "batch/BatchQueue.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "batch/RowChecks.h"
#include "history/TransmissionList.h"
#include "net/SoapBatch.h"
#include "net/SoapClient.h"
#include "platform/Clock.h"
#include "sendings/SendingRule.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "transmission/SingleUpload.h"
#include "transmission/UploadAddress.h"
#include "transmission/UploadVerdict.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <signal.h>
#include <utility>

namespace {

// The call number of the current row's list call (after-sending calls count
// from 1).
constexpr int kRowCall = 0;

// Whether a process of this machine runs with this id.
bool processRuns(qint64 pid) {
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString failureText(const QString& why) {
    return QStringLiteral("Falha de rede: %1").arg(why);
}

} // namespace

BatchQueue::BatchQueue(qint64 batchId, Setup setup, QObject* parent)
    : QObject(parent), m_batchId(batchId), m_setup(std::move(setup)),
      m_upload(new MultipartUpload(this)) {
    if (m_setup.desk.isEmpty())
        m_setup.desk = thisDesk();
    m_digests = std::exchange(m_setup.digests, {});
    m_lists = std::make_unique<SoapBatch>(std::max(1, m_setup.listConnections), m_setup.proxyAuth,
                                          nullptr, m_setup.listDeadline);
    connect(m_lists.get(), &SoapBatch::answered, this, [this](int call, const QString& answer) {
        if (call == kRowCall)
            onListAnswer(answer);
        else
            onAfterListAnswer(call, answer);
    });
    connect(m_lists.get(), &SoapBatch::failed, this, [this](int call, const QString& reason) {
        if (call == kRowCall)
            onListFailure(reason);
        else
            onAfterListFailure(call, reason);
    });
    m_ahead = std::make_unique<SoapBatch>(std::max(1, m_setup.listConnections), m_setup.proxyAuth,
                                          nullptr, m_setup.listDeadline);
    connect(m_ahead.get(), &SoapBatch::answered, this, &BatchQueue::onAheadAnswer);
    connect(m_ahead.get(), &SoapBatch::failed, this,
            [this](int call, const QString&) { onAheadFailure(call); });
    m_upload->setOptions(m_setup.uploadOptions);
    m_upload->setProxyAuth(m_setup.proxyAuth);
    connect(m_upload, &MultipartUpload::requestReady, this, &BatchQueue::onRequestReady);
    connect(m_upload, &MultipartUpload::progress, this, [this](int percent, const QString&) {
        if (!m_row)
            return;
        emit rowProgress(m_row->id, percent);
        emitProgress(percent);
    });
    connect(m_upload, &MultipartUpload::sent, this, &BatchQueue::onSent);
    connect(m_upload, &MultipartUpload::replyReceived, this, &BatchQueue::onReply);
    connect(m_upload, &MultipartUpload::failed, this, &BatchQueue::onFailed);
}

BatchQueue::~BatchQueue() = default;

QString BatchQueue::thisDesk() {
    return ::thisDesk();
}

QString BatchQueue::stateText(BatchRowState state) {
    switch (state) {
    case BatchRowState::Queued:
        return QStringLiteral("Na fila");
    case BatchRowState::Sending:
        return QStringLiteral("Enviando");
    case BatchRowState::Accepted:
        return QStringLiteral("Aceito");
    case BatchRowState::Refused:
        return QStringLiteral("Recusado");
    case BatchRowState::NoReply:
        return QStringLiteral("Sem resposta — verificar");
    case BatchRowState::NotSent:
        return QStringLiteral("Não enviado");
    case BatchRowState::Cancelled:
        return QStringLiteral("Cancelado");
    case BatchRowState::NotListed:
        return QStringLiteral("Não consta na lista — pode ser enviado de novo");
    }
    return {};
}

QString BatchQueue::noReplyText() {
    return QStringLiteral("O envio pode ter chegado ao servidor, mas a resposta não veio. "
                          "Consulte a lista de transmissões do contribuinte antes de enviar "
                          "de novo.");
}

QDateTime BatchQueue::now() const {
    return m_setup.clock->now();
}

QString BatchQueue::claimer() const {
    return m_setup.desk + QStringLiteral(" #") +
           QString::number(QCoreApplication::applicationPid());
}

BatchRecovery BatchQueue::recover() {
    LocalDb db;
    const QString ours = m_setup.desk + QStringLiteral(" #");
    QStringList stopped;
    for (const QString& claimer : sendingClaimers(db, m_batchId)) {
        if (claimer == m_setup.desk) {
            stopped << claimer;
            continue;
        }
        if (!claimer.startsWith(ours))
            continue; // another desk's: that desk settles it
        bool ok = false;
        const qint64 pid = claimer.mid(ours.size()).toLongLong(&ok);
        if (ok && (pid == QCoreApplication::applicationPid() || !processRuns(pid)))
            stopped << claimer;
    }
    if (stopped.isEmpty())
        return {};
    return recoverInterrupted(db, m_batchId, noReplyText(), now(), stopped);
}

void BatchQueue::start() {
    if (m_running)
        return;
    m_running = true;
    m_stopRequested = false;
    m_pauseRequested = false;
    m_paused = false;
    m_networkFailures = 0;
    m_rowsTotal = m_rowsDone = 0;
    m_bytesTotal = m_bytesDone = 0;
    m_upcoming.clear();
    try {
        LocalDb db;
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            if (row.state != BatchRowState::Queued)
                continue;
            m_upcoming << row.filePath;
            ++m_rowsTotal;
            m_bytesTotal += QFileInfo(row.filePath).size();
        }
    } catch (const std::exception&) {
        // The first claim meets the same failure and says so.
    }
    askListsAhead();
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}

void BatchQueue::askListsAhead() {
    m_ahead->cancel();
    m_known.clear();
    m_aheadCalls.clear();
    QList<SoapBatch::Call> calls;
    try {
        LocalDb db;
        QSet<QString> asked;
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            if (row.state != BatchRowState::Queued || asked.contains(row.ie))
                continue;
            asked.insert(row.ie);
            const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, row.ie);
            if (!taxpayer || taxpayer->Chave.isEmpty())
                continue;
            const int call = int(calls.size());
            m_aheadCalls.insert(call, row.ie);
            calls.append({call, QString(Soap::ServicePath), History::kListOperation,
                          History::listCallParams(row.ie, taxpayer->Chave)});
        }
    } catch (const std::exception&) {
        // Nothing asked ahead: each row asks its own list.
        m_aheadCalls.clear();
        return;
    }
    if (!calls.isEmpty())
        m_ahead->run(calls);
}

void BatchQueue::onAheadAnswer(int call, const QString& answer) {
    const QString ie = m_aheadCalls.take(call);
    if (ie.isEmpty())
        return;
    m_known.insert(ie, TaxpayerList::read(answer));
    if (m_row && m_phase == Phase::WaitingAhead && m_row->ie == ie) {
        m_phase = Phase::Idle;
        m_networkFailures = 0; // the server answered
        upload(m_known.value(ie));
    }
}

void BatchQueue::onAheadFailure(int call) {
    const QString ie = m_aheadCalls.take(call);
    // The row asks again itself, with its retries.
    if (m_row && m_phase == Phase::WaitingAhead && m_row->ie == ie)
        askList(0);
}

void BatchQueue::pauseAfterCurrent() {
    if (!m_running || m_paused)
        return;
    // Between rows a claim is already scheduled: the pause is taken there.
    m_pauseRequested = true;
}

void BatchQueue::resume() {
    if (!m_paused)
        return;
    m_paused = false;
    m_pauseRequested = false;
    m_networkFailures = 0;
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}

void BatchQueue::stopAfterCurrent() {
    m_stopRequested = true;
    if (m_paused)
        resume();
}

void BatchQueue::abortCurrent() {
    stopAfterCurrent();
    if (!m_row)
        return;
    m_ahead->cancel();
    m_aheadCalls.clear();
    if (m_phase == Phase::Listing || m_phase == Phase::WaitingAhead) {
        m_lists->cancel();
        m_phase = Phase::Idle;
        endRow(BatchRowState::Cancelled, QStringLiteral("Cancelado pelo usuário."), QString(),
               QString());
        return;
    }
    if (m_phase == Phase::Uploading) {
        m_upload->abort();
        m_phase = Phase::Idle;
        const QString why = QStringLiteral("Envio interrompido pelo usuário.");
        // Bytes may have reached the server: only its list can tell.
        if (m_requestStarted)
            endRow(BatchRowState::NoReply, noReplyText() + QLatin1Char(' ') + why,
                   SentArchive::kNoReply, why);
        else
            endRow(BatchRowState::Cancelled, why, QString(), QString());
    }
}

void BatchQueue::stop(const QString& problem) {
    m_db.reset();
    m_running = false;
    m_phase = Phase::Idle;
    m_row.reset();
    m_sending.reset();
    emit finished(problem);
}

void BatchQueue::emitProgress(int currentPercent) {
    const qint64 current = m_row ? m_rowBytes * currentPercent / 100 : 0;
    emit progress(m_rowsDone, m_rowsTotal, m_bytesDone + current, m_bytesTotal);
}

void BatchQueue::sendNext() {
    if (!m_running || m_row)
        return;
    try {
        LocalDb& db = rowDatabase();
        if (m_stopRequested) {
            cancelQueuedRows(db, m_batchId, now());
            listAfterSending();
            return;
        }
        if (m_pauseRequested) {
            m_pauseRequested = false;
            m_paused = true;
            m_db.reset(); // a pause may outlast a server's idle connection
            emit paused(QString());
            return;
        }
        m_row = claimNextRow(db, m_batchId, claimer(), now());
        if (!m_row) {
            listAfterSending();
            return;
        }
        m_requestStarted = false;
        m_rowBytes = QFileInfo(m_row->filePath).size();
        emit rowStarted(m_row->id);

        const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, m_row->ie);
        if (!taxpayer || taxpayer->Chave.isEmpty()) {
            // Without a key no list can be asked: the checks say why.
            const RowChecks::Result checked =
                RowChecks::check(db, checksInput(), taxpayer, std::nullopt);
            refuseRow(checked.text());
            return;
        }
        m_chave = taxpayer->Chave;
        if (m_known.contains(m_row->ie)) {
            // The checks (the file's digest) and the start of the upload in
            // a turn of their own, after the claim's commit: the window
            // repaints between the two.
            m_phase = Phase::WaitingAhead;
            const qint64 rowId = m_row->id;
            QTimer::singleShot(0, this, [this, rowId] {
                if (!m_row || m_row->id != rowId || m_phase != Phase::WaitingAhead)
                    return; // broken off meanwhile
                m_phase = Phase::Idle;
                m_networkFailures = 0; // the server answered
                upload(m_known.value(m_row->ie));
            });
        } else if (std::find(m_aheadCalls.cbegin(), m_aheadCalls.cend(), m_row->ie) !=
                   m_aheadCalls.cend()) {
            m_phase = Phase::WaitingAhead;
        } else {
            askList(0);
        }
    } catch (const std::exception& error) {
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
    }
}

void BatchQueue::askList(int attempt) {
    if (!m_row)
        return;
    m_phase = Phase::Listing;
    // The retries a failure may still have, kept with the call.
    m_afterCalls[kRowCall] = {m_row->ie, m_chave, m_setup.listRetries - attempt};
    m_lists->run({{kRowCall, QString(Soap::ServicePath), History::kListOperation,
                   History::listCallParams(m_row->ie, m_chave)}});
}

void BatchQueue::onListFailure(const QString& reason) {
    if (!m_row || m_phase != Phase::Listing)
        return;
    const int left = m_afterCalls.value(kRowCall).retriesLeft;
    if (left > 0) {
        const qint64 rowId = m_row->id;
        const int attempt = m_setup.listRetries - left + 1;
        QTimer::singleShot(m_setup.retryDelay, this, [this, rowId, attempt] {
            if (m_row && m_row->id == rowId && m_phase == Phase::Listing)
                askList(attempt);
        });
        return;
    }
    m_phase = Phase::Idle;
    refuseRow(failureText(reason) + QStringLiteral(" (lista do contribuinte)"), true);
}

void BatchQueue::onListAnswer(const QString& answer) {
    if (!m_row || m_phase != Phase::Listing)
        return;
    m_phase = Phase::Idle;
    m_networkFailures = 0; // the server answered
    upload(TaxpayerList::read(answer));
}

void BatchQueue::upload(const std::optional<TaxpayerList::Facts>& facts) {
    try {
        LocalDb& db = rowDatabase();
        RowChecks::Result checked = RowChecks::check(db, checksInput(), facts);
        if (checked.sending)
            m_digests.insert(m_row->filePath, checked.sending->digest());
        if (!checked.ready()) {
            refuseRow(checked.text());
            return;
        }
        // Decided again with its entry in the shared memory of sendings.
        const QString held =
            RowChecks::beginSending(db, checksInput(), checked, m_setup.desk, claimer(), now());
        if (!held.isEmpty()) {
            refuseRow(held);
            return;
        }
        m_sending = std::move(checked.sending);
        const bool declaration = m_row->kind == SentArchive::kDeclaration;
        const QString host =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
        const QString port =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
        // The references as queued: the window's selection, sent as it is;
        // the accountant as stored, as the single-company windows send it.
        const QString accountant = UploadAddress::accountant(db);
        const QString address = declaration
                                    ? UploadAddress::declaration(host, port, m_row->ie, accountant,
                                                                 m_chave, m_row->references)
                                    : UploadAddress::simples(host, port, accountant, m_chave);
        m_phase = Phase::Uploading;
        // A failure before connecting arrives at onFailed before this returns.
        SingleUpload::start(*m_upload, address, m_row->filePath);
    } catch (const std::exception& error) {
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
    }
}

LocalDb& BatchQueue::rowDatabase() {
    if (!m_db)
        m_db = std::make_unique<LocalDb>();
    return *m_db;
}

RowChecks::Input BatchQueue::checksInput() const {
    RowChecks::Input input{m_row->ie, m_row->filePath, m_row->references, m_row->sendAgain};
    input.batchId = m_batchId;
    input.batchRowId = m_row->id;
    const auto known = m_digests.constFind(m_row->filePath);
    if (known != m_digests.cend())
        input.digest = *known;
    return input;
}

void BatchQueue::useReplyWait() {
    if (m_sending)
        m_sending->stageCopy(now());
    // The rows up to this one are sent or ended.
    const qsizetype here = m_upcoming.indexOf(m_row->filePath);
    if (here >= 0)
        m_upcoming.remove(0, here + 1);
    // In a turn of its own, so the window repaints between the two; not
    // once the reply has come (the next row's check reads the file then).
    const qint64 rowId = m_row->id;
    QTimer::singleShot(0, this, [this, rowId] {
        if (!m_row || m_row->id != rowId || m_phase != Phase::Uploading)
            return;
        for (const QString& path : std::as_const(m_upcoming)) {
            const auto known = m_digests.constFind(path);
            if (known != m_digests.cend() && SentArchive::stillCurrent(*known, path))
                continue;
            if (const std::optional<SentArchive::Digest> digest = SentArchive::digestFile(path))
                m_digests.insert(path, *digest);
            return;
        }
    });
}

void BatchQueue::refuseRow(const QString& why, bool network) {
    m_sending.reset();
    endRow(BatchRowState::NotSent, why, QString(), QString(), network);
}

void BatchQueue::onRequestReady() {
    if (!m_row)
        return;
    try {
        // Written before the first byte leaves: a row without this mark
        // never reached the server, whatever happens next.
        LocalDb& db = rowDatabase();
        markRequestStarted(db, m_row->id);
        m_requestStarted = true;
        if (m_sending)
            m_sending->requestStarted();
    } catch (const std::exception& error) {
        // Nothing has left yet: drop the connection and keep the row unsent.
        m_db.reset();
        m_upload->abort();
        m_sending.reset();
        const QString why = RuntimeError::from(QStringLiteral("BatchQueue"), error).description();
        try {
            LocalDb& db = rowDatabase();
            finishRow(db, m_row->id, BatchRowState::NotSent, why, now());
        } catch (const std::exception&) {
            // The row stays "sending" with no request started: the next
            // start puts it back in the queue.
        }
        stop(why);
    }
}

void BatchQueue::onSent() {
    if (!m_row)
        return;
    if (m_sending)
        m_sending->wholeRequestSent();
    try {
        LocalDb& db = rowDatabase();
        markWholeRequestSent(db, m_row->id);
    } catch (const std::exception&) {
        m_db.reset();
        // The request has started, so a crash now is judged as "no reply"
        // anyway; the row's end is written when the verdict comes.
    }
    useReplyWait();
}

void BatchQueue::onReply(const QByteArray& reply) {
    if (!m_row)
        return;
    m_phase = Phase::Idle;
    m_networkFailures = 0;
    const QString text = SingleUpload::replyText(reply);
    const bool declaration = m_row->kind == SentArchive::kDeclaration;
    const UploadVerdict::Verdict verdict =
        declaration ? UploadVerdict::declaration(text) : UploadVerdict::simples(reply, text);
    QStringList shown;
    for (const Message& box : verdict.boxes)
        shown << box.text;
    endRow(verdict.refused ? BatchRowState::Refused : BatchRowState::Accepted,
           verdict.refused ? shown.join(QLatin1Char('\n')) : text, verdict.result(), text);
}

void BatchQueue::onFailed(const QString& description, MultipartUpload::Failure kind) {
    if (!m_row)
        return;
    m_phase = Phase::Idle;
    const bool network =
        kind == MultipartUpload::Failure::Socket || kind == MultipartUpload::Failure::Timeout;
    // Cut off before its end, the request cannot be held by the server.
    if (m_sending && m_sending->record().wholeRequestSent)
        endRow(BatchRowState::NoReply, noReplyText() + QLatin1Char(' ') + description,
               SentArchive::kNoReply, description, network);
    else
        endRow(BatchRowState::NotSent, description, SentArchive::kNoReply, description, network);
}

void BatchQueue::endRow(BatchRowState state, const QString& text, const QString& archiveResult,
                        const QString& archiveReply, bool network) {
    const qint64 rowId = m_row->id;
    const QDateTime endedAt = now();
    QString shown = text;
    std::optional<SentArchive::ArchivedSending> sending = std::exchange(m_sending, {});
    if (sending) {
        const QString failure = sending->finish(archiveResult, archiveReply, endedAt);
        if (!failure.isEmpty())
            shown +=
                QStringLiteral("\nO envio não foi guardado no arquivo local: %1.").arg(failure);
    }
    try {
        LocalDb& db = rowDatabase();
        // The row's end and its memory entry's: one commit.
        DbTransaction transaction(db, QStringLiteral("endRow"));
        if (sending)
            SendingRule::finishRow(db, rowId, *sending, archiveResult, archiveReply, endedAt);
        finishRow(db, rowId, state, shown, endedAt);
        transaction.commit();
    } catch (const std::exception& error) {
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
        return;
    }
    m_row.reset();
    ++m_rowsDone;
    m_bytesDone += m_rowBytes;
    m_rowBytes = 0;
    emit rowFinished(rowId, state, shown);
    emitProgress(0);
    if (network && ++m_networkFailures >= kNetworkFailuresToPause && !m_stopRequested) {
        m_paused = true;
        m_db.reset();
        emit paused(QStringLiteral("%1 linhas seguidas falharam por falha de rede; o envio foi "
                                   "pausado. Verifique a conexão e retome.")
                        .arg(m_networkFailures));
        return;
    }
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}

void BatchQueue::listAfterSending() {
    m_phase = Phase::AfterList;
    m_afterCalls.clear();
    QList<SoapBatch::Call> calls;
    try {
        LocalDb db;
        QSet<QString> asked;
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            const bool wanted =
                row.state == BatchRowState::NoReply ||
                (row.state == BatchRowState::Accepted &&
                 (row.protocol.isEmpty() || row.protocol == History::kPendingReference));
            if (!wanted || asked.contains(row.ie))
                continue;
            asked.insert(row.ie);
            const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, row.ie);
            if (!taxpayer || taxpayer->Chave.isEmpty())
                continue;
            const int call = m_nextCall++;
            m_afterCalls.insert(call, {row.ie, taxpayer->Chave, m_setup.listRetries});
            calls.append({call, QString(Soap::ServicePath), History::kListOperation,
                          History::listCallParams(row.ie, taxpayer->Chave)});
        }
    } catch (const std::exception& error) {
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
        return;
    }
    if (calls.isEmpty()) {
        stop(QString());
        return;
    }
    m_lists->run(calls);
}

void BatchQueue::onAfterListFailure(int call, const QString&) {
    if (m_phase != Phase::AfterList || !m_afterCalls.contains(call))
        return;
    AfterCall asked = m_afterCalls.take(call);
    if (asked.retriesLeft > 0) {
        --asked.retriesLeft;
        const int again = m_nextCall++;
        m_afterCalls.insert(again, asked);
        QTimer::singleShot(m_setup.retryDelay, this, [this, again, asked] {
            if (m_phase == Phase::AfterList && m_afterCalls.contains(again))
                m_lists->run({{again, QString(Soap::ServicePath), History::kListOperation,
                               History::listCallParams(asked.ie, asked.chave)}});
        });
        return;
    }
    // The rows stay as they are: the next run asks again.
    if (m_afterCalls.isEmpty())
        stop(QString());
}

void BatchQueue::onAfterListAnswer(int call, const QString& answer) {
    if (m_phase != Phase::AfterList || !m_afterCalls.contains(call))
        return;
    const AfterCall asked = m_afterCalls.take(call);
    const TaxpayerList::Facts facts = TaxpayerList::read(answer);
    if (facts.kind == History::ListAnswerKind::Transmissions)
        settleListed(asked.ie, facts);
    if (m_afterCalls.isEmpty() && m_phase == Phase::AfterList)
        stop(QString());
}

void BatchQueue::settleListed(const QString& ie, const TaxpayerList::Facts& facts) {
    struct Listed {
        qint64 rowId;
        BatchRowState state;
        QString protocol;
    };
    QList<Listed> listed;
    try {
        // One answer's rows in one transaction: one flush to disk instead of
        // one per row (an answer may settle a hundred rows), and the rows
        // read under the same lock as they are written.
        LocalDb db;
        DbTransaction transaction(db, QStringLiteral("settleListed"), {"batch_row"});
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            if (row.ie != ie)
                continue;
            const TaxpayerList::Found found =
                TaxpayerList::find(facts, row.references, row.startedAt);
            const QString protocol = found.kind == TaxpayerList::Found::Kind::Processed
                                         ? found.protocol
                                         : History::kPendingReference;
            if (row.state == BatchRowState::Accepted &&
                (row.protocol.isEmpty() || row.protocol == History::kPendingReference)) {
                if (found.kind == TaxpayerList::Found::Kind::Absent)
                    continue;
                if (setProtocol(db, row.id, protocol))
                    listed.append({row.id, BatchRowState::Accepted, protocol});
            } else if (row.state == BatchRowState::NoReply) {
                if (found.kind == TaxpayerList::Found::Kind::Absent) {
                    if (settleNoReply(db, row.id, BatchRowState::NotListed,
                                      QStringLiteral("A lista do contribuinte não mostra este "
                                                     "envio; ele pode ser enviado de novo."),
                                      QString(), now()))
                        listed.append({row.id, BatchRowState::NotListed, QString()});
                } else if (settleNoReply(
                               db, row.id, BatchRowState::Accepted,
                               QStringLiteral("A lista do contribuinte mostra este envio."),
                               protocol, now())) {
                    listed.append({row.id, BatchRowState::Accepted, protocol});
                }
            }
        }
        transaction.commit();
    } catch (const std::exception& error) {
        // Rolled back: the rows stay as they were, and the next run asks again.
        m_afterCalls.clear();
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
        return;
    }
    // Shown only once written.
    for (const Listed& row : std::as_const(listed))
        emit rowListed(row.rowId, row.state, row.protocol);
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_BatchQueue.cpp"
