// Statements on the batch queue's tables, the same text on both engines.
#include "store/BatchRepository.h"

#include "store/DbError.h"
#include "store/SendingRepository.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<BatchRowState, const char*>, 8> kCodes = {{
    {BatchRowState::Queued, "queued"},
    {BatchRowState::Sending, "sending"},
    {BatchRowState::Accepted, "accepted"},
    {BatchRowState::Refused, "refused"},
    {BatchRowState::NoReply, "no_reply"},
    {BatchRowState::NotSent, "not_sent"},
    {BatchRowState::Cancelled, "cancelled"},
    {BatchRowState::NotListed, "not_listed"},
}};

// A text column that holds "" rather than NULL: a null QString binds as NULL.
QString notNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

QString timeText(const QDateTime& at) {
    return at.toString(Qt::ISODateWithMs);
}

QDateTime timeFrom(const QVariant& value) {
    return value.isNull() ? QDateTime()
                          : QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

const QString kRowColumns = QStringLiteral(
    "id, batch_id, seq, ie, file_path, kind, refs, state, reply, request_started, "
    "whole_request_sent, started_at, ended_at, claimed_by, send_again, protocol, sha256");

BatchRow rowFrom(const QSqlQuery& query) {
    BatchRow row;
    row.id = query.value(0).toLongLong();
    row.batchId = query.value(1).toLongLong();
    row.seq = query.value(2).toInt();
    row.ie = query.value(3).toString();
    row.filePath = query.value(4).toString();
    row.kind = query.value(5).toString();
    row.references = query.value(6).toString();
    // An unknown state (a newer program's) is never sent by this one.
    row.state = batchRowStateFromCode(query.value(7).toString()).value_or(BatchRowState::NotSent);
    row.reply = query.value(8).toString();
    row.requestStarted = query.value(9).toInt() != 0;
    row.wholeRequestSent = query.value(10).toInt() != 0;
    row.startedAt = timeFrom(query.value(11));
    row.endedAt = timeFrom(query.value(12));
    row.claimedBy = query.value(13).toString();
    row.sendAgain = query.value(14).toInt() != 0;
    row.protocol = query.value(15).toString();
    row.sha256 = query.value(16).toString();
    return row;
}

} // namespace

QString batchRowStateCode(BatchRowState state) {
    for (const auto& [value, code] : kCodes)
        if (value == state)
            return QString::fromLatin1(code);
    return {};
}

std::optional<BatchRowState> batchRowStateFromCode(const QString& code) {
    for (const auto& [value, text] : kCodes)
        if (code == QLatin1String(text))
            return value;
    return std::nullopt;
}

qint64 createBatch(LocalDb& db, const QString& desk, const QDateTime& createdAt,
                   const QList<NewBatchRow>& rows, const QString& origin) {
    const QString operation = QStringLiteral("createBatch");
    DbTransaction transaction(db, operation);
    QSqlQuery batch = db.prepare(
        QStringLiteral(
            "INSERT INTO batch_queue (created_at, desk, origin) VALUES (?, ?, ?) RETURNING id"),
        operation);
    batch.addBindValue(timeText(createdAt));
    batch.addBindValue(desk);
    batch.addBindValue(notNull(origin));
    db.exec(batch, operation);
    if (!batch.next())
        throw db.failure(batch.lastError(), operation);
    const qint64 batchId = batch.value(0).toLongLong();
    batch.finish();
    int seq = 0;
    for (const NewBatchRow& row : rows) {
        QSqlQuery insert = db.prepare(
            QStringLiteral("INSERT INTO batch_row (batch_id, seq, ie, file_path, kind, refs, "
                           "state, send_again) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
            operation);
        insert.addBindValue(batchId);
        insert.addBindValue(seq++);
        insert.addBindValue(row.ie);
        insert.addBindValue(row.filePath);
        insert.addBindValue(row.kind);
        insert.addBindValue(notNull(row.references));
        insert.addBindValue(batchRowStateCode(BatchRowState::Queued));
        insert.addBindValue(row.sendAgain ? 1 : 0);
        db.exec(insert, operation);
    }
    transaction.commit();
    return batchId;
}

QList<qint64> batchesOf(LocalDb& db, const QString& desk) {
    const QString operation = QStringLiteral("batchesOf");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT id FROM batch_queue WHERE desk = ? ORDER BY id"), operation);
    query.addBindValue(desk);
    db.exec(query, operation);
    QList<qint64> ids;
    while (query.next())
        ids << query.value(0).toLongLong();
    return ids;
}

QList<BatchRow> batchRows(LocalDb& db, qint64 batchId) {
    const QString operation = QStringLiteral("batchRows");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT %1 FROM batch_row WHERE batch_id = ? ORDER BY seq").arg(kRowColumns),
        operation);
    query.addBindValue(batchId);
    db.exec(query, operation);
    QList<BatchRow> rows;
    while (query.next())
        rows << rowFrom(query);
    return rows;
}

std::optional<BatchRow> claimNextRow(LocalDb& db, qint64 batchId, const QString& desk,
                                     const QDateTime& at) {
    const QString operation = QStringLiteral("claimNextRow");
    // The read and the update under one write lock of the table: no other
    // process can claim the row between them.
    DbTransaction transaction(db, operation, {"batch_row"});
    QSqlQuery next = db.prepare(QStringLiteral("SELECT id FROM batch_row WHERE batch_id = ? "
                                               "AND state = ? ORDER BY seq LIMIT 1"),
                                operation);
    next.addBindValue(batchId);
    next.addBindValue(batchRowStateCode(BatchRowState::Queued));
    db.exec(next, operation);
    if (!next.next())
        return std::nullopt;
    const qint64 rowId = next.value(0).toLongLong();
    next.finish();

    QSqlQuery claim =
        db.prepare(QStringLiteral("UPDATE batch_row SET state = ?, claimed_by = ?, started_at = ?, "
                                  "ended_at = NULL, request_started = 0, whole_request_sent = 0, "
                                  "sha256 = '' WHERE id = ?"),
                   operation);
    claim.addBindValue(batchRowStateCode(BatchRowState::Sending));
    claim.addBindValue(desk);
    claim.addBindValue(timeText(at));
    claim.addBindValue(rowId);
    db.exec(claim, operation);
    transaction.commit();

    QSqlQuery read = db.prepare(
        QStringLiteral("SELECT %1 FROM batch_row WHERE id = ?").arg(kRowColumns), operation);
    read.addBindValue(rowId);
    db.exec(read, operation);
    if (read.next())
        return rowFrom(read);
    return std::nullopt;
}

namespace {

void setFlag(LocalDb& db, qint64 rowId, const char* column, const QString& operation) {
    QSqlQuery query = db.prepare(
        QStringLiteral("UPDATE batch_row SET %1 = 1 WHERE id = ?").arg(QLatin1String(column)),
        operation);
    query.addBindValue(rowId);
    db.exec(query, operation);
}

} // namespace

void markRequestStarted(LocalDb& db, qint64 rowId, const QString& sha256) {
    const QString operation = QStringLiteral("markRequestStarted");
    QSqlQuery query = db.prepare(
        QStringLiteral("UPDATE batch_row SET request_started = 1, sha256 = ? WHERE id = ?"),
        operation);
    query.addBindValue(notNull(sha256));
    query.addBindValue(rowId);
    db.exec(query, operation);
}

void markWholeRequestSent(LocalDb& db, qint64 rowId) {
    setFlag(db, rowId, "whole_request_sent", QStringLiteral("markWholeRequestSent"));
}

bool finishRow(LocalDb& db, qint64 rowId, BatchRowState state, const QString& reply,
               const QDateTime& at) {
    const QString operation = QStringLiteral("finishRow");
    QSqlQuery query = db.prepare(QStringLiteral("UPDATE batch_row SET state = ?, reply = ?, "
                                                "ended_at = ? WHERE id = ? AND state = ?"),
                                 operation);
    query.addBindValue(batchRowStateCode(state));
    query.addBindValue(notNull(reply));
    query.addBindValue(timeText(at));
    query.addBindValue(rowId);
    query.addBindValue(batchRowStateCode(BatchRowState::Sending));
    db.exec(query, operation);
    return query.numRowsAffected() == 1;
}

BatchRecovery recoverInterrupted(LocalDb& db, qint64 batchId, const QString& noReplyText,
                                 const QDateTime& at, const std::optional<QStringList>& claimers) {
    const QString operation = QStringLiteral("recoverInterrupted");
    DbTransaction transaction(db, operation, {"batch_row"});
    BatchRecovery recovery;
    // One claimer at a time (or every row when none is named): the same
    // statements on both engines, without a list bound to IN.
    const QList<std::optional<QString>> whose =
        claimers ? [&] {
            QList<std::optional<QString>> list;
            for (const QString& c : *claimers)
                list << c;
            return list;
        }()
                 : QList<std::optional<QString>>{std::nullopt};
    for (const std::optional<QString>& claimer : whose) {
        const QString byWhom = claimer ? QStringLiteral(" AND claimed_by = ?") : QString();
        QSqlQuery noReply =
            db.prepare(QStringLiteral("UPDATE batch_row SET state = ?, reply = ?, ended_at = ? "
                                      "WHERE batch_id = ? AND state = ? AND request_started = 1") +
                           byWhom,
                       operation);
        noReply.addBindValue(batchRowStateCode(BatchRowState::NoReply));
        noReply.addBindValue(notNull(noReplyText));
        noReply.addBindValue(timeText(at));
        noReply.addBindValue(batchId);
        noReply.addBindValue(batchRowStateCode(BatchRowState::Sending));
        if (claimer)
            noReply.addBindValue(*claimer);
        db.exec(noReply, operation);
        recovery.noReply += noReply.numRowsAffected();

        QSqlQuery requeue = db.prepare(
            QStringLiteral("UPDATE batch_row SET state = ?, claimed_by = NULL, started_at = NULL "
                           "WHERE batch_id = ? AND state = ? AND request_started = 0") +
                byWhom,
            operation);
        requeue.addBindValue(batchRowStateCode(BatchRowState::Queued));
        requeue.addBindValue(batchId);
        requeue.addBindValue(batchRowStateCode(BatchRowState::Sending));
        if (claimer)
            requeue.addBindValue(*claimer);
        db.exec(requeue, operation);
        recovery.requeued += requeue.numRowsAffected();
    }
    transaction.commit();
    return recovery;
}

QStringList sendingClaimers(LocalDb& db, qint64 batchId) {
    const QString operation = QStringLiteral("sendingClaimers");
    QSqlQuery query = db.prepare(QStringLiteral("SELECT DISTINCT claimed_by FROM batch_row WHERE "
                                                "batch_id = ? AND state = ?"),
                                 operation);
    query.addBindValue(batchId);
    query.addBindValue(batchRowStateCode(BatchRowState::Sending));
    db.exec(query, operation);
    QStringList claimers;
    while (query.next())
        claimers << query.value(0).toString();
    return claimers;
}

int cancelQueuedRows(LocalDb& db, qint64 batchId, const QDateTime& at) {
    const QString operation = QStringLiteral("cancelQueuedRows");
    QSqlQuery query = db.prepare(QStringLiteral("UPDATE batch_row SET state = ?, ended_at = ? "
                                                "WHERE batch_id = ? AND state = ?"),
                                 operation);
    query.addBindValue(batchRowStateCode(BatchRowState::Cancelled));
    query.addBindValue(timeText(at));
    query.addBindValue(batchId);
    query.addBindValue(batchRowStateCode(BatchRowState::Queued));
    db.exec(query, operation);
    return query.numRowsAffected();
}

bool settleNoReply(LocalDb& db, qint64 rowId, BatchRowState state, const QString& reply,
                   const QString& protocol, const QDateTime& at) {
    if (state != BatchRowState::Accepted && state != BatchRowState::NotListed &&
        state != BatchRowState::NoReply)
        return false;
    const QString operation = QStringLiteral("settleNoReply");
    QSqlQuery query =
        db.prepare(QStringLiteral("UPDATE batch_row SET state = ?, reply = ?, protocol = ?, "
                                  "ended_at = ? WHERE id = ? AND state = ?"),
                   operation);
    query.addBindValue(batchRowStateCode(state));
    query.addBindValue(notNull(reply));
    query.addBindValue(notNull(protocol));
    query.addBindValue(timeText(at));
    query.addBindValue(rowId);
    query.addBindValue(batchRowStateCode(BatchRowState::NoReply));
    db.exec(query, operation);
    if (query.numRowsAffected() != 1)
        return false;
    setSendingProtocol(db, rowId, protocol);
    return true;
}

bool setProtocol(LocalDb& db, qint64 rowId, const QString& protocol) {
    const QString operation = QStringLiteral("setProtocol");
    QSqlQuery query = db.prepare(
        QStringLiteral("UPDATE batch_row SET protocol = ? WHERE id = ? AND state = ?"), operation);
    query.addBindValue(notNull(protocol));
    query.addBindValue(rowId);
    query.addBindValue(batchRowStateCode(BatchRowState::Accepted));
    db.exec(query, operation);
    if (query.numRowsAffected() != 1)
        return false;
    setSendingProtocol(db, rowId, protocol);
    return true;
}

bool requeueRow(LocalDb& db, qint64 rowId, bool sendAgain) {
    const QString operation = QStringLiteral("requeueRow");
    QSqlQuery query =
        db.prepare(QStringLiteral("UPDATE batch_row SET state = ?, send_again = ?, reply = '', "
                                  "claimed_by = NULL, started_at = NULL, ended_at = NULL, "
                                  "request_started = 0, whole_request_sent = 0, sha256 = '' "
                                  "WHERE id = ? AND state IN (?, ?, ?)"),
                   operation);
    query.addBindValue(batchRowStateCode(BatchRowState::Queued));
    query.addBindValue(sendAgain ? 1 : 0);
    query.addBindValue(rowId);
    query.addBindValue(batchRowStateCode(BatchRowState::NotListed));
    query.addBindValue(batchRowStateCode(BatchRowState::NotSent));
    query.addBindValue(batchRowStateCode(BatchRowState::Cancelled));
    db.exec(query, operation);
    return query.numRowsAffected() == 1;
}

std::optional<qint64> unfinishedBatch(LocalDb& db, const QString& desk, const QString& origin) {
    const QString operation = QStringLiteral("unfinishedBatch");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT q.id FROM batch_queue q WHERE q.desk = ? AND q.origin = ? AND "
                       "EXISTS (SELECT 1 FROM batch_row r WHERE r.batch_id = q.id AND "
                       "(r.state IN (?, ?, ?) OR (r.state = ? AND r.protocol = ''))) "
                       "ORDER BY q.id DESC LIMIT 1"),
        operation);
    query.addBindValue(desk);
    query.addBindValue(notNull(origin)); // a window's batch: '' as createBatch stores it
    query.addBindValue(batchRowStateCode(BatchRowState::Queued));
    query.addBindValue(batchRowStateCode(BatchRowState::Sending));
    query.addBindValue(batchRowStateCode(BatchRowState::NoReply));
    query.addBindValue(batchRowStateCode(BatchRowState::Accepted));
    db.exec(query, operation);
    if (query.next())
        return query.value(0).toLongLong();
    return std::nullopt;
}

std::optional<qint64> latestBatch(LocalDb& db, const QString& desk, const QString& origin) {
    const QString operation = QStringLiteral("latestBatch");
    QSqlQuery query = db.prepare(QStringLiteral("SELECT id FROM batch_queue WHERE desk = ? AND "
                                                "origin = ? ORDER BY id DESC LIMIT 1"),
                                 operation);
    query.addBindValue(desk);
    query.addBindValue(notNull(origin)); // a window's batch: '' as createBatch stores it
    db.exec(query, operation);
    if (query.next())
        return query.value(0).toLongLong();
    return std::nullopt;
}
