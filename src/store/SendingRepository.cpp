// Statements on the memory of sendings, the same text on both engines.
#include "store/SendingRepository.h"

#include "archive/SentArchive.h"
#include "base/AppPaths.h"
#include "store/BindValue.h"
#include "store/DbError.h"

#include <QDir>
#include <QMutex>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

namespace {

const QString kEntryColumns =
    QStringLiteral("s.id, s.ie, s.kind, s.refs, s.sha256, s.size, s.file_name, s.result, s.reply, "
                   "s.whole_request_sent, s.protocol, s.started_at, s.ended_at, s.desk, s.claimer, "
                   "s.batch_row_id, r.state, s.outcome, s.outcome_status, s.outcome_text, "
                   "s.outcome_protocols, s.outcome_at, s.record_file");

SendingEntry entryFrom(const QSqlQuery& query) {
    SendingEntry e;
    e.id = query.value(0).toLongLong();
    e.ie = query.value(1).toString();
    e.kind = query.value(2).toString();
    e.references = query.value(3).toString();
    e.sha256 = query.value(4).toString();
    e.size = query.value(5).toLongLong();
    e.fileName = query.value(6).toString();
    e.result = query.value(7).toString();
    e.reply = query.value(8).toString();
    e.wholeRequestSent = query.value(9).toInt() != 0;
    e.protocol = query.value(10).toString();
    e.startedAt = BindValue::readTime(query.value(11));
    e.endedAt = BindValue::readTime(query.value(12));
    e.desk = query.value(13).toString();
    e.claimer = query.value(14).toString();
    e.batchRowId = query.value(15).isNull() ? 0 : query.value(15).toLongLong();
    if (!query.value(16).isNull())
        e.rowState = batchRowStateFromCode(query.value(16).toString());
    e.outcome = query.value(17).toString();
    e.outcomeStatus = query.value(18).toString();
    e.outcomeText = query.value(19).toString();
    e.outcomeProtocols = query.value(20).toString();
    e.outcomeAt = BindValue::readTime(query.value(21));
    e.recordFile = query.value(22).toString();
    return e;
}

void bindEntry(QSqlQuery& query, const SendingEntry& e) {
    query.addBindValue(e.ie);
    query.addBindValue(e.kind);
    query.addBindValue(BindValue::text(e.references));
    query.addBindValue(e.sha256);
    query.addBindValue(e.size);
    query.addBindValue(BindValue::text(e.fileName));
    query.addBindValue(e.result);
    query.addBindValue(BindValue::text(e.reply));
    query.addBindValue(e.wholeRequestSent ? 1 : 0);
    query.addBindValue(BindValue::text(e.protocol));
    query.addBindValue(BindValue::time(e.startedAt));
    query.addBindValue(BindValue::time(e.endedAt));
    query.addBindValue(e.desk);
    query.addBindValue(BindValue::text(e.claimer));
    query.addBindValue(e.batchRowId != 0 ? QVariant(e.batchRowId)
                                         : QVariant(QMetaType::fromType<qint64>()));
    query.addBindValue(BindValue::text(e.recordFile));
}

const QString kInsertColumns =
    QStringLiteral("ie, kind, refs, sha256, size, file_name, result, reply, whole_request_sent, "
                   "protocol, started_at, ended_at, desk, claimer, batch_row_id, record_file");

} // namespace

QString thisDesk() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user + QLatin1Char('@') + QSysInfo::machineHostName();
}

SendingEntry entryOf(const SentArchive::Record& record) {
    SendingEntry e;
    e.ie = record.ie;
    e.kind = record.kind;
    e.references = record.references;
    e.sha256 = record.sha256;
    e.size = record.size;
    e.fileName = record.fileName;
    e.result = record.result;
    e.reply = record.reply;
    e.wholeRequestSent = record.wholeRequestSent;
    return e;
}

QList<SendingEntry> sendingsFor(LocalDb& db, const QString& ie, const QString& references) {
    const QString operation = QStringLiteral("sendingsFor");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT %1 FROM sending s LEFT JOIN batch_row r ON r.id = s.batch_row_id "
                       "WHERE s.ie = ? AND s.refs = ? ORDER BY s.started_at DESC, s.id DESC")
            .arg(kEntryColumns),
        operation);
    query.addBindValue(ie);
    query.addBindValue(BindValue::text(references));
    db.exec(query, operation);
    QList<SendingEntry> entries;
    while (query.next())
        entries << entryFrom(query);
    return entries;
}

QList<QueuedElsewhere> queuedElsewhere(LocalDb& db, const QString& ie, const QString& references,
                                       qint64 ownBatchId) {
    const QString operation = QStringLiteral("queuedElsewhere");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT r.id, q.desk, q.created_at FROM batch_row r "
                       "JOIN batch_queue q ON q.id = r.batch_id WHERE r.ie = ? AND r.refs = ? "
                       "AND r.state = ? AND r.batch_id <> ? ORDER BY q.id, r.seq"),
        operation);
    query.addBindValue(ie);
    query.addBindValue(BindValue::text(references));
    query.addBindValue(batchRowStateCode(BatchRowState::Queued));
    query.addBindValue(ownBatchId);
    db.exec(query, operation);
    QList<QueuedElsewhere> rows;
    while (query.next())
        rows.append({query.value(0).toLongLong(), query.value(1).toString(),
                     BindValue::readTime(query.value(2))});
    return rows;
}

qint64 insertSending(LocalDb& db, const SendingEntry& entry) {
    const QString operation = QStringLiteral("insertSending");
    QSqlQuery insert = db.prepare(
        QStringLiteral("INSERT INTO sending (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?) RETURNING id")
            .arg(kInsertColumns),
        operation);
    bindEntry(insert, entry);
    db.exec(insert, operation);
    if (!insert.next())
        throw db.failure(insert.lastError(), operation);
    return insert.value(0).toLongLong();
}

void finishSending(LocalDb& db, qint64 id, const QString& result, const QString& reply,
                   bool wholeRequestSent, const QDateTime& endedAt) {
    const QString operation = QStringLiteral("finishSending");
    QSqlQuery query =
        db.prepare(QStringLiteral("UPDATE sending SET result = ?, reply = ?, "
                                  "whole_request_sent = ?, ended_at = ? WHERE id = ?"),
                   operation);
    query.addBindValue(result);
    query.addBindValue(BindValue::text(reply));
    query.addBindValue(wholeRequestSent ? 1 : 0);
    query.addBindValue(BindValue::time(endedAt));
    query.addBindValue(id);
    db.exec(query, operation);
}

void dropSending(LocalDb& db, qint64 id) {
    const QString operation = QStringLiteral("dropSending");
    QSqlQuery query = db.prepare(QStringLiteral("DELETE FROM sending WHERE id = ?"), operation);
    query.addBindValue(id);
    db.exec(query, operation);
}

void dropSendingsOfRow(LocalDb& db, qint64 batchRowId) {
    const QString operation = QStringLiteral("dropSendingsOfRow");
    QSqlQuery query = db.prepare(
        QStringLiteral("DELETE FROM sending WHERE batch_row_id = ? AND result = ?"), operation);
    query.addBindValue(batchRowId);
    query.addBindValue(kSendingInProgress);
    db.exec(query, operation);
}

void setSendingProtocol(LocalDb& db, qint64 batchRowId, const QString& protocol) {
    const QString operation = QStringLiteral("setSendingProtocol");
    QSqlQuery query = db.prepare(
        QStringLiteral("UPDATE sending SET protocol = ? WHERE batch_row_id = ?"), operation);
    query.addBindValue(BindValue::text(protocol));
    query.addBindValue(batchRowId);
    db.exec(query, operation);
}

std::optional<qint64> sendingOfRow(LocalDb& db, qint64 batchRowId) {
    const QString operation = QStringLiteral("sendingOfRow");
    QSqlQuery query = db.prepare(QStringLiteral("SELECT id FROM sending WHERE batch_row_id = ? "
                                                "AND result = ? ORDER BY id DESC LIMIT 1"),
                                 operation);
    query.addBindValue(batchRowId);
    query.addBindValue(kSendingInProgress);
    db.exec(query, operation);
    if (query.next())
        return query.value(0).toLongLong();
    return std::nullopt;
}

namespace {

bool archiveImported(LocalDb& db, const QString& desk, const QString& folder) {
    const QString operation = QStringLiteral("importArchive");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT count(*) FROM sending_import WHERE desk = ? AND folder = ?"),
        operation);
    query.addBindValue(desk);
    query.addBindValue(folder);
    db.exec(query, operation);
    return query.next() && query.value(0).toInt() > 0;
}

} // namespace

int importArchive(LocalDb& db, const QString& desk) {
    const QString operation = QStringLiteral("importArchive");
    const QString folder = QDir(SentArchive::rootFolder()).absolutePath();
    DbTransaction transaction(db, operation, {"sending"});
    // Another process of this desk may have read it while this one waited.
    if (archiveImported(db, desk, folder))
        return 0;
    int added = 0;
    for (const SentArchive::Record& r : SentArchive::listAll()) {
        QSqlQuery known = db.prepare(QStringLiteral("SELECT count(*) FROM sending WHERE "
                                                    "record_file = ? AND sha256 = ? AND "
                                                    "ended_at = ?"),
                                     operation);
        known.addBindValue(r.recordFile);
        known.addBindValue(r.sha256);
        known.addBindValue(BindValue::time(r.sentAt));
        db.exec(known, operation);
        if (known.next() && known.value(0).toInt() > 0)
            continue;
        known.finish();
        SendingEntry e = entryOf(r);
        // The record keeps when the sending ended only.
        e.startedAt = r.sentAt;
        e.endedAt = r.sentAt;
        e.desk = desk;
        e.recordFile = r.recordFile;
        insertSending(db, e);
        ++added;
    }
    QSqlQuery mark = db.prepare(
        QStringLiteral("INSERT INTO sending_import (desk, folder, imported_at) VALUES (?, ?, ?)"),
        operation);
    mark.addBindValue(desk);
    mark.addBindValue(folder);
    mark.addBindValue(BindValue::time(QDateTime::currentDateTime()));
    db.exec(mark, operation);
    transaction.commit();
    return added;
}

void importArchiveOnce(LocalDb& db) {
    // An archive not made yet is marked read all the same: what is sent from
    // now on goes to both.
    if (AppPaths::applicationFolder().isEmpty())
        return;
    const QString desk = thisDesk();
    const QString key = db.path() + QLatin1Char('\n') +
                        QDir(SentArchive::rootFolder()).absolutePath() + QLatin1Char('\n') + desk;
    static QMutex mutex;
    static QSet<QString> asked;
    {
        const QMutexLocker lock(&mutex);
        if (asked.contains(key))
            return;
    }
    if (!archiveImported(db, desk, QDir(SentArchive::rootFolder()).absolutePath()))
        importArchive(db, desk);
    const QMutexLocker lock(&mutex);
    asked.insert(key);
}

namespace {

QList<SendingEntry> selectEntries(LocalDb& db, const QString& where, const QList<QVariant>& binds,
                                  const QString& operation) {
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT %1 FROM sending s LEFT JOIN batch_row r ON r.id = s.batch_row_id %2")
            .arg(kEntryColumns, where),
        operation);
    for (const QVariant& v : binds)
        query.addBindValue(v);
    db.exec(query, operation);
    QList<SendingEntry> entries;
    while (query.next())
        entries << entryFrom(query);
    return entries;
}

} // namespace

QList<SendingEntry> openSendings(LocalDb& db, const QDateTime& since) {
    // Times are text with the writer's offset: compared as times here, not
    // as text in the statement.
    QList<SendingEntry> entries = selectEntries(
        db,
        QStringLiteral("WHERE s.outcome = '' AND (s.result = ? OR (s.result = ? "
                       "AND s.whole_request_sent = 1)) ORDER BY s.id"),
        {SentArchive::kAccepted, SentArchive::kNoReply}, QStringLiteral("openSendings"));
    entries.removeIf([&](const SendingEntry& e) { return e.startedAt < since; });
    return entries;
}

QList<SendingEntry> sendingsOfTaxpayer(LocalDb& db, const QString& ie) {
    return selectEntries(db, QStringLiteral("WHERE s.ie = ? ORDER BY s.started_at DESC, s.id DESC"),
                         {ie}, QStringLiteral("sendingsOfTaxpayer"));
}

void setSendingOutcome(LocalDb& db, qint64 id, const QString& outcome, const QString& status,
                       const QString& text, const QString& protocols, const QDateTime& at) {
    const QString operation = QStringLiteral("setSendingOutcome");
    QSqlQuery query = db.prepare(QStringLiteral("UPDATE sending SET outcome = ?, outcome_status = "
                                                "?, outcome_text = ?, outcome_protocols = ?, "
                                                "outcome_at = ? WHERE id = ?"),
                                 operation);
    query.addBindValue(outcome);
    query.addBindValue(BindValue::text(status));
    query.addBindValue(BindValue::text(text));
    query.addBindValue(BindValue::text(protocols));
    query.addBindValue(BindValue::time(at));
    query.addBindValue(id);
    db.exec(query, operation);
}

QList<SendingEntry> refusedAfterProcessing(LocalDb& db) {
    return selectEntries(
        db, QStringLiteral("WHERE s.outcome = ? ORDER BY s.outcome_at DESC, s.id DESC"),
        {kOutcomeRefused}, QStringLiteral("refusedAfterProcessing"));
}
