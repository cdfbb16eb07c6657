// The batch queue's engine.
#include "batch/BatchQueue.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "batch/BatchClaims.h"
#include "batch/RowChecks.h"
#include "history/TransmissionList.h"
#include "platform/Clock.h"
#include "sendings/SendingRule.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "transmission/SingleUpload.h"
#include "transmission/UploadAddress.h"
#include "transmission/UploadVerdict.h"

#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Whether the list has yet to give the row its protocol: none asked, or the
// server still processing the sending ("Verificando").
bool awaitsProtocol(const BatchRow& row) {
    return row.protocol.isEmpty() || row.protocol == History::kPendingReference;
}

QString failureText(const QString& why) {
    return QStringLiteral("Falha de rede: %1").arg(why);
}

// Adds the taxpayer `ie` with its key to those whose lists are asked; one
// without a key has no list. Throws DbError.
void addWithKey(LocalDb& db, const QString& ie, QList<TaxpayerLists::Taxpayer>& taxpayers) {
    const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, ie);
    if (taxpayer && !taxpayer->Chave.isEmpty())
        taxpayers.append({ie, taxpayer->Chave});
}

// Ends the memory's entry of a batch row's sending still "enviando" (its
// sender stopped), as the taxpayer's list settled the row. Throws DbError.
void endMemoryEntry(LocalDb& db, qint64 rowId, const QString& result, const QString& reply,
                    bool wholeRequestSent, const QDateTime& at) {
    if (const std::optional<qint64> entry = sendingOfRow(db, rowId))
        finishSending(db, *entry, result, reply, wholeRequestSent, at);
}

// The one place a row's sending is archived, at its end or when the list
// settles it later.
QString archiveSending(SentArchive::ArchivedSending& sending, const QString& result,
                       const QString& reply, const QDateTime& at) {
    return sending.finish(result, reply, at);
}

} // namespace

BatchRecovery recoverBatch(qint64 batchId, const QString& desk, const QDateTime& at) {
    LocalDb db;
    QStringList stopped;
    for (const QString& claimer : sendingClaimers(db, batchId))
        if (BatchClaims::judge(claimer, desk) == BatchClaims::Sender::Stopped)
            stopped << claimer;
    if (stopped.isEmpty())
        return {};
    return recoverInterrupted(db, batchId, BatchQueue::noReplyText(), at, stopped);
}

BatchQueue::BatchQueue(qint64 batchId, Setup setup, QObject* parent)
    : QObject(parent), m_batchId(batchId), m_setup(std::move(setup)),
      m_upload(new MultipartUpload(this)) {
    if (m_setup.desk.isEmpty())
        m_setup.desk = thisDesk();
    m_digests = std::exchange(m_setup.digests, {});
    TaxpayerLists::Options lists;
    lists.proxyAuth = m_setup.proxyAuth;
    lists.connections = m_setup.listConnections;
    lists.deadline = m_setup.listDeadline;
    lists.retries = m_setup.listRetries;
    lists.retryDelay = m_setup.retryDelay;
    m_lists = new TaxpayerLists(lists, this);
    connect(m_lists, &TaxpayerLists::rowList, this, &BatchQueue::onRowList);
    connect(m_lists, &TaxpayerLists::rowFailed, this, &BatchQueue::onRowListFailed);
    connect(m_lists, &TaxpayerLists::afterAnswered, this, &BatchQueue::settleListed);
    connect(m_lists, &TaxpayerLists::afterDone, this, [this] {
        if (m_state == State::ListingAfter)
            stop(QString());
    });
    m_upload->setOptions(m_setup.uploadOptions);
    m_upload->setProxyAuth(m_setup.proxyAuth);
    connect(m_upload, &MultipartUpload::requestReady, this, &BatchQueue::onRequestReady);
    connect(m_upload, &MultipartUpload::progress, this, [this](int percent, const QString&) {
        if (!m_current)
            return;
        emit rowProgress(m_current->row.id, percent);
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
    return BatchClaims::ownClaimer(m_setup.desk);
}

void BatchQueue::start() {
    if (m_state != State::Idle)
        return;
    m_state = State::Between;
    m_then = Then::GoOn;
    m_networkFailures = 0;
    m_networkUnsent.clear();
    m_rowsTotal = m_rowsDone = 0;
    m_bytesTotal = m_bytesDone = 0;
    m_upcoming.clear();
    // In the event loop's turn: finished() never comes before this returns.
    QTimer::singleShot(0, this, [this] {
        if (m_state != State::Between)
            return;
        QList<TaxpayerLists::Taxpayer> ahead;
        try {
            // A row this process or a stopped one left "sending" (a database
            // failure, a crash) is settled before anything is sent.
            recoverBatch(m_batchId, m_setup.desk, now());
            LocalDb& db = rowDatabase();
            QSet<QString> asked;
            for (const BatchRow& row : batchRows(db, m_batchId)) {
                if (row.state != BatchRowState::Queued)
                    continue;
                m_upcoming << row.filePath;
                ++m_rowsTotal;
                m_bytesTotal += QFileInfo(row.filePath).size();
                if (asked.contains(row.ie))
                    continue;
                asked.insert(row.ie);
                addWithKey(db, row.ie, ahead);
            }
        } catch (const std::exception& error) {
            stopOnError(error);
            return;
        }
        m_lists->askAhead(ahead);
        sendNext();
    });
}

void BatchQueue::pauseAfterCurrent() {
    if (m_state == State::Idle || m_state == State::Paused || m_state == State::ListingAfter ||
        m_then == Then::Stop)
        return;
    // Between rows a claim is already scheduled: the pause is taken there.
    m_then = Then::Pause;
}

void BatchQueue::resume() {
    if (m_state != State::Paused)
        return;
    m_state = State::Between;
    m_then = Then::GoOn;
    m_networkFailures = 0;
    m_networkUnsent.clear();
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}

void BatchQueue::stopAfterCurrent() {
    if (m_state == State::Idle || m_state == State::ListingAfter)
        return;
    m_then = Then::Stop;
    if (m_state == State::Paused) {
        m_state = State::Between;
        QTimer::singleShot(0, this, &BatchQueue::sendNext);
    }
}

void BatchQueue::abortCurrent() {
    stopAfterCurrent();
    switch (m_state) {
    case State::Listing:
        m_lists->dropRow();
        endRow(BatchRowState::Cancelled, QStringLiteral("Cancelado pelo usuário."), QString(),
               QString());
        return;
    case State::Uploading:
    case State::Sending:
    case State::Sent:
        m_upload->abort();
        endCut(QStringLiteral("Envio interrompido pelo usuário."), false, BatchRowState::Cancelled);
        return;
    default:
        return;
    }
}

void BatchQueue::stopOnError(const std::exception& error) {
    const QString why = RuntimeError::from(QStringLiteral("BatchQueue"), error).description();
    QString text =
        QStringLiteral("O envio em lote parou por uma falha no banco de dados: %1").arg(why);
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    text += QStringLiteral(" As linhas que faltam continuam na fila.");
    if (m_current)
        text += QStringLiteral(" A linha que estava sendo enviada será conferida na lista do "
                               "contribuinte quando o lote for retomado.");
    stop(text);
}

void BatchQueue::stop(const QString& problem) {
    m_lists->cancel();
    m_db.reset();
    m_state = State::Idle;
    m_then = Then::GoOn;
    m_current.reset();
    emit finished(problem);
}

void BatchQueue::emitProgress(int currentPercent) {
    const qint64 current = m_current ? m_current->bytes * currentPercent / 100 : 0;
    emit progress(m_rowsDone, m_rowsTotal, m_bytesDone + current, m_bytesTotal);
}

void BatchQueue::sendNext() {
    if (m_state != State::Between)
        return;
    try {
        LocalDb& db = rowDatabase();
        if (m_then == Then::Stop) {
            cancelQueuedRows(db, m_batchId, now());
            listAfterSending();
            return;
        }
        if (m_then == Then::Pause) {
            m_then = Then::GoOn;
            m_state = State::Paused;
            m_db.reset(); // a pause may outlast a server's idle connection
            emit paused(QString());
            return;
        }
        const std::optional<BatchRow> row = claimNextRow(db, m_batchId, claimer(), now());
        if (!row) {
            listAfterSending();
            return;
        }
        m_current = Current{*row, QString(), QFileInfo(row->filePath).size(), std::nullopt};
        m_state = State::Listing;
        emit rowStarted(row->id);
        if (!m_current || m_current->row.id != row->id)
            return; // broken off by a receiver

        const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, row->ie);
        if (!taxpayer || taxpayer->Chave.isEmpty()) {
            // Without a key no list can be asked: the checks say why.
            const RowChecks::Result checked =
                RowChecks::check(db, checksInput(), taxpayer, std::nullopt);
            endRow(BatchRowState::NotSent, checked.text(), QString(), QString());
            return;
        }
        m_current->chave = taxpayer->Chave;
        m_lists->askForRow({row->ie, taxpayer->Chave});
    } catch (const std::exception& error) {
        stopOnError(error);
    }
}

void BatchQueue::onRowList(const TaxpayerList::Facts& facts, bool fresh) {
    if (m_state != State::Listing)
        return;
    // The server answered for this very row: the network is back. An answer
    // asked ahead may be minutes old and says nothing of it.
    if (fresh) {
        m_networkFailures = 0;
        m_networkUnsent.clear();
    }
    upload(facts);
}

void BatchQueue::onRowListFailed(const QString& reason) {
    if (m_state != State::Listing)
        return;
    endRow(BatchRowState::NotSent, failureText(reason) + QStringLiteral(" (lista do contribuinte)"),
           QString(), QString(), true);
}

void BatchQueue::upload(const std::optional<TaxpayerList::Facts>& facts) {
    try {
        LocalDb& db = rowDatabase();
        RowChecks::Result checked = RowChecks::check(db, checksInput(), facts);
        const BatchRow& row = m_current->row;
        if (checked.sending)
            m_digests.insert(row.filePath, checked.sending->digest());
        if (!checked.ready()) {
            endRow(BatchRowState::NotSent, checked.text(), QString(), QString());
            return;
        }
        // Decided again with its entry in the shared memory of sendings.
        const QString held =
            RowChecks::beginSending(db, checksInput(), checked, m_setup.desk, claimer(), now());
        if (!held.isEmpty()) {
            endRow(BatchRowState::NotSent, held, QString(), QString());
            return;
        }
        m_current->sending = std::move(checked.sending);
        const bool declaration = row.kind == SentArchive::kDeclaration;
        const QString host =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
        const QString port =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
        // The references as queued: the window's selection, sent as it is;
        // the accountant as stored, as the single-company windows send it.
        const QString accountant = UploadAddress::accountant(db);
        const QString address =
            declaration ? UploadAddress::declaration(host, port, row.ie, accountant,
                                                     m_current->chave, row.references)
                        : UploadAddress::simples(host, port, accountant, m_current->chave);
        m_state = State::Uploading;
        // A failure before connecting arrives at onFailed before this returns.
        SingleUpload::start(*m_upload, address, row.filePath);
    } catch (const std::exception& error) {
        stopOnError(error);
    }
}

LocalDb& BatchQueue::rowDatabase() {
    if (!m_db)
        m_db = std::make_unique<LocalDb>();
    return *m_db;
}

RowChecks::Input BatchQueue::checksInput() const {
    const BatchRow& row = m_current->row;
    RowChecks::Input input{row.ie, row.filePath, row.references, row.sendAgain};
    input.batchId = m_batchId;
    input.batchRowId = row.id;
    input.now = now();
    const auto known = m_digests.constFind(row.filePath);
    if (known != m_digests.cend())
        input.digest = *known;
    return input;
}

void BatchQueue::useReplyWait() {
    if (m_current->sending)
        m_current->sending->stageCopy(now());
    // The rows up to this one are sent or ended.
    const qsizetype here = m_upcoming.indexOf(m_current->row.filePath);
    if (here >= 0)
        m_upcoming.remove(0, here + 1);
    // In a turn of its own, so the window repaints between the two; not
    // once the reply has come (the next row's check reads the file then).
    // The digest refuses a FIFO or a device without opening it.
    const qint64 rowId = m_current->row.id;
    QTimer::singleShot(0, this, [this, rowId] {
        if (m_state != State::Sent || !m_current || m_current->row.id != rowId)
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

void BatchQueue::onRequestReady() {
    if (m_state != State::Uploading)
        return;
    try {
        // Written before the first byte leaves: a row without this mark
        // never reached the server, whatever happens next.
        LocalDb& db = rowDatabase();
        markRequestStarted(db, m_current->row.id,
                           m_current->sending ? m_current->sending->record().sha256 : QString());
        m_state = State::Sending;
        if (m_current->sending)
            m_current->sending->requestStarted();
    } catch (const std::exception& error) {
        // Nothing has left yet: drop the connection and keep the row unsent.
        m_db.reset();
        m_upload->abort();
        m_current->sending.reset();
        try {
            LocalDb& db = rowDatabase();
            finishRow(db, m_current->row.id, BatchRowState::NotSent,
                      RuntimeError::from(QStringLiteral("BatchQueue"), error).description(), now());
        } catch (const std::exception&) {
            // The row stays "sending" with no request started: the next
            // start puts it back in the queue.
        }
        stopOnError(error);
    }
}

void BatchQueue::onSent() {
    if (m_state != State::Sending)
        return;
    m_state = State::Sent;
    if (m_current->sending)
        m_current->sending->wholeRequestSent();
    try {
        LocalDb& db = rowDatabase();
        markWholeRequestSent(db, m_current->row.id);
    } catch (const std::exception&) {
        m_db.reset();
        // The request has started, so a crash now is judged as "no reply"
        // anyway; the row's end is written when the verdict comes.
    }
    useReplyWait();
}

void BatchQueue::onReply(const QByteArray& reply) {
    if (m_state != State::Sending && m_state != State::Sent)
        return;
    // The server answered this row: the network is back.
    m_networkFailures = 0;
    m_networkUnsent.clear();
    const QString text = SingleUpload::replyText(reply);
    const bool declaration = m_current->row.kind == SentArchive::kDeclaration;
    const UploadVerdict::Verdict verdict =
        declaration ? UploadVerdict::declaration(text) : UploadVerdict::simples(reply, text);
    QStringList shown;
    for (const Message& box : verdict.boxes)
        shown << box.text;
    endRow(verdict.refused ? BatchRowState::Refused : BatchRowState::Accepted,
           verdict.refused ? shown.join(QLatin1Char('\n')) : text, verdict.result(), text);
}

void BatchQueue::onFailed(const QString& description, MultipartUpload::Failure kind) {
    if (m_state != State::Uploading && m_state != State::Sending && m_state != State::Sent)
        return;
    const bool network =
        kind == MultipartUpload::Failure::Socket || kind == MultipartUpload::Failure::Timeout;
    endCut(description, network, BatchRowState::NotSent);
}

void BatchQueue::endCut(const QString& why, bool network, BatchRowState before) {
    switch (m_state) {
    case State::Sent:
        // The whole request left: the server may hold it; only its list can
        // tell.
        endRow(BatchRowState::NoReply, noReplyText() + QLatin1Char(' ') + why,
               SentArchive::kNoReply, why, network);
        return;
    case State::Sending:
        // Cut before its last byte left: the server cannot hold a request
        // it did not receive whole.
        endRow(BatchRowState::NotSent, why, SentArchive::kNoReply, why, network);
        return;
    default:
        endRow(before, why, QString(), QString(), network);
        return;
    }
}

void BatchQueue::endRow(BatchRowState state, const QString& text, const QString& archiveResult,
                        const QString& archiveReply, bool network) {
    const BatchRow row = m_current->row;
    const QDateTime endedAt = now();
    QString shown = text;
    std::optional<SentArchive::ArchivedSending> sending =
        std::exchange(m_current->sending, std::nullopt);
    if (sending) {
        const QString failure = archiveSending(*sending, archiveResult, archiveReply, endedAt);
        if (!failure.isEmpty())
            shown +=
                QStringLiteral("\nO envio não foi guardado no arquivo local: %1.").arg(failure);
    }
    try {
        LocalDb& db = rowDatabase();
        // The row's end and its memory entry's: one commit.
        DbTransaction transaction(db, QStringLiteral("endRow"));
        if (sending)
            SendingRule::finishRow(db, row.id, *sending, archiveResult, archiveReply, endedAt);
        finishRow(db, row.id, state, shown, endedAt);
        transaction.commit();
    } catch (const std::exception& error) {
        stopOnError(error);
        return;
    }
    const qint64 bytes = m_current->bytes;
    m_current.reset();
    m_state = State::Between;
    ++m_rowsDone;
    m_bytesDone += bytes;
    emit rowFinished(row.id, state, shown);
    emitProgress(0);
    if (network) {
        ++m_networkFailures;
        if (state == BatchRowState::NotSent)
            m_networkUnsent.append({row.id, row.sendAgain, bytes});
    }
    if (m_state != State::Between)
        return; // a receiver stopped or paused the queue
    if (m_networkFailures >= kNetworkFailuresToPause && m_then != Then::Stop) {
        pauseForNetwork();
        return;
    }
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}

void BatchQueue::pauseForNetwork() {
    const int failures = m_networkFailures;
    try {
        // They never reached the server: back in the queue, they go when the
        // batch goes on (resumed, or run again from the command line).
        LocalDb& db = rowDatabase();
        for (const Unsent& unsent : std::as_const(m_networkUnsent)) {
            if (requeueRow(db, unsent.rowId, unsent.sendAgain)) {
                --m_rowsDone;
                m_bytesDone -= unsent.bytes;
            }
        }
    } catch (const std::exception& error) {
        stopOnError(error);
        return;
    }
    m_networkUnsent.clear();
    m_state = State::Paused;
    m_then = Then::GoOn;
    m_db.reset();
    emit paused(QStringLiteral("%1 linhas seguidas falharam por falha de rede; o envio foi "
                               "pausado e elas voltaram à fila. Verifique a conexão e retome.")
                    .arg(failures));
}

void BatchQueue::listAfterSending() {
    m_state = State::ListingAfter;
    QList<TaxpayerLists::Taxpayer> taxpayers;
    try {
        LocalDb db;
        QSet<QString> asked;
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            const bool wanted = row.state == BatchRowState::NoReply ||
                                (row.state == BatchRowState::Accepted && awaitsProtocol(row));
            if (!wanted || asked.contains(row.ie))
                continue;
            asked.insert(row.ie);
            addWithKey(db, row.ie, taxpayers);
        }
    } catch (const std::exception& error) {
        stopOnError(error);
        return;
    }
    m_lists->askAfter(taxpayers);
}

void BatchQueue::settleListed(const QString& ie, const TaxpayerList::Facts& facts) {
    if (m_state != State::ListingAfter || facts.kind != History::ListAnswerKind::Transmissions)
        return;
    struct Listed {
        qint64 rowId;
        BatchRowState state;
        QString protocol;
    };
    QList<Listed> listed;
    const QDateTime answeredAt = now();
    try {
        // One answer's rows in one transaction: one flush to disk instead of
        // one per row (an answer may settle a hundred rows), and the rows
        // read under the same lock as they are written.
        LocalDb db;
        DbTransaction transaction(db, QStringLiteral("settleListed"), {"batch_row"});
        QList<BatchRow> rows;
        QList<TaxpayerList::Sending> sendings;
        QStringList taken; // protocols the batch's other rows own
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            if (row.ie != ie)
                continue;
            using Role = TaxpayerList::Sending::Role;
            const bool unsettled = awaitsProtocol(row);
            std::optional<Role> role;
            if (row.state == BatchRowState::NoReply)
                role = Role::Maybe;
            else if (row.state == BatchRowState::Accepted && unsettled)
                role = Role::Accepted;
            else if (row.state == BatchRowState::Sending && row.requestStarted)
                role = Role::Rival; // another process sends it now
            else if (row.state == BatchRowState::Accepted)
                taken << row.protocol.split(QStringLiteral(", "));
            if (!role)
                continue;
            rows << row;
            sendings.append({row.references, row.startedAt, *role});
        }
        const QList<TaxpayerList::Found> found =
            TaxpayerList::settle(facts, sendings, answeredAt, taken);
        using Kind = TaxpayerList::Found::Kind;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const BatchRow& row = rows[i];
            const TaxpayerList::Found& f = found[i];
            const QString protocol =
                f.kind == Kind::Processed ? f.protocolText() : History::kPendingReference;
            if (row.state == BatchRowState::Accepted) {
                // Its own entries not (all) known yet: still "Verificando",
                // never an entry that may be another sending's.
                if (f.kind != Kind::Absent && protocol != row.protocol &&
                    setProtocol(db, row.id, protocol)) {
                    setSendingProtocol(db, row.id, protocol);
                    listed.append({row.id, BatchRowState::Accepted, protocol});
                }
                continue;
            }
            if (row.state != BatchRowState::NoReply)
                continue;
            if (f.kind == Kind::Absent) {
                const QString text = QStringLiteral("A lista do contribuinte não mostra este "
                                                    "envio; ele pode ser enviado de novo.");
                // The server does not hold it: its memory entry holds
                // nothing back.
                endMemoryEntry(db, row.id, SentArchive::kNoReply, text, false, now());
                if (settleNoReply(db, row.id, BatchRowState::NotListed, text, QString(), now()))
                    listed.append({row.id, BatchRowState::NotListed, QString()});
            } else if (f.kind == Kind::Unsure) {
                // The user decides with what the list shows.
                settleNoReply(db, row.id, BatchRowState::NoReply,
                              noReplyText() + QLatin1Char(' ') + f.seen, QString(), now());
            } else {
                QString text = QStringLiteral("A lista do contribuinte mostra este envio.");
                const QString failure = archiveSettled(db, row, protocol);
                if (!failure.isEmpty())
                    text += QStringLiteral("\nO envio não foi guardado no arquivo local: %1.")
                                .arg(failure);
                if (settleNoReply(db, row.id, BatchRowState::Accepted, text, protocol, now()))
                    listed.append({row.id, BatchRowState::Accepted, protocol});
            }
        }
        transaction.commit();
    } catch (const std::exception& error) {
        // Rolled back: the rows stay as they were, and the next run asks again.
        stopOnError(error);
        return;
    }
    // Shown only once written.
    for (const Listed& row : std::as_const(listed))
        emit rowListed(row.rowId, row.state, row.protocol);
}

QString BatchQueue::archiveSettled(LocalDb& db, const BatchRow& row, const QString& protocol) {
    const QString reply =
        protocol == History::kPendingReference
            ? QStringLiteral("A lista do contribuinte mostra este envio em processamento.")
            : QStringLiteral("A lista do contribuinte mostra este envio (protocolo %1).")
                  .arg(protocol);
    // The memory's entry of the row's sending, left "enviando" when the
    // sender stopped, ends as the list says.
    endMemoryEntry(db, row.id, SentArchive::kAccepted, reply, true, now());
    setSendingProtocol(db, row.id, protocol);
    // A row of an earlier version, whose bytes were not kept, cannot be
    // archived: the file may have changed since.
    if (row.sha256.isEmpty())
        return {};
    // Its end was archived already (the verdict came, then the database
    // failed before the row's end was written).
    const QList<SentArchive::Record> records = SentArchive::list(row.ie);
    if (std::any_of(records.begin(), records.end(), [&](const SentArchive::Record& r) {
            return r.sha256 == row.sha256 && r.references == row.references &&
                   SentArchive::serverMayHoldIt(r) && row.startedAt.isValid() &&
                   r.sentAt >= row.startedAt;
        }))
        return {};
    SentArchive::ArchivedSending sending = SentArchive::ArchivedSending::resumed(
        row.ie, row.kind, row.references, row.filePath, row.sha256);
    return archiveSending(sending, SentArchive::kAccepted, reply, now());
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_BatchQueue.cpp"
