// The batch queue's engine.
#include "batch/BatchQueue.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "platform/Clock.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "transmission/ReferenceList.h"
#include "transmission/SimplesReply.h"
#include "transmission/SingleUpload.h"
#include "transmission/UploadAddress.h"
#include "transmission/UploadVerdict.h"

#include <QFileInfo>
#include <QStringList>
#include <QSysInfo>
#include <QTimer>

BatchQueue::BatchQueue(qint64 batchId, Setup setup, QObject* parent)
    : QObject(parent), m_batchId(batchId), m_setup(std::move(setup)),
      m_upload(new MultipartUpload(this)) {
    if (m_setup.desk.isEmpty())
        m_setup.desk = thisDesk();
    m_upload->setOptions(m_setup.uploadOptions);
    m_upload->setProxyAuth(m_setup.proxyAuth);
    connect(m_upload, &MultipartUpload::requestReady, this, &BatchQueue::onRequestReady);
    connect(m_upload, &MultipartUpload::progress, this, [this](int percent, const QString&) {
        if (m_row)
            emit rowProgress(m_row->id, percent);
    });
    connect(m_upload, &MultipartUpload::sent, this, &BatchQueue::onSent);
    connect(m_upload, &MultipartUpload::replyReceived, this, &BatchQueue::onReply);
    connect(m_upload, &MultipartUpload::failed, this, &BatchQueue::onFailed);
}

QString BatchQueue::thisDesk() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user + QLatin1Char('@') + QSysInfo::machineHostName();
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

BatchRecovery BatchQueue::recover() {
    LocalDb db;
    return recoverInterrupted(db, m_batchId, noReplyText(), now());
}

void BatchQueue::start() {
    if (m_running)
        return;
    m_running = true;
    m_stopRequested = false;
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}

void BatchQueue::stop(const QString& problem) {
    m_running = false;
    m_row.reset();
    m_sending.reset();
    emit finished(problem);
}

void BatchQueue::sendNext() {
    try {
        LocalDb db;
        if (m_stopRequested) {
            cancelQueuedRows(db, m_batchId, now());
            stop(QString());
            return;
        }
        m_row = claimNextRow(db, m_batchId, m_setup.desk, now());
        if (!m_row) {
            stop(QString());
            return;
        }
        emit rowStarted(m_row->id);

        const QString name = QFileInfo(m_row->filePath).fileName();
        const bool declaration = m_row->kind == SentArchive::kDeclaration;
        if (!QFileInfo(m_row->filePath).isFile()) {
            refuseRow(QStringLiteral("Arquivo não encontrado: %1").arg(m_row->filePath));
            return;
        }
        if (declaration ? !ReferenceList::isArchiveName(name) : !SimplesReply::isPdfName(name)) {
            refuseRow(declaration ? QStringLiteral("Uma declaração é enviada em arquivo .ZIP.")
                                  : QStringLiteral("Um extrato do Simples Nacional é enviado "
                                                   "em arquivo .PDF."));
            return;
        }
        const std::optional<ContribuinteRow> taxpayer = findContribuinte(db, m_row->ie);
        if (!taxpayer) {
            refuseRow(QStringLiteral("Contribuinte %1 não cadastrado.").arg(m_row->ie));
            return;
        }
        if (taxpayer->Chave.isEmpty()) {
            refuseRow(QStringLiteral("Contribuinte %1 sem chave de acesso.").arg(m_row->ie));
            return;
        }
        m_sending = SentArchive::ArchivedSending::prepare(m_row->ie, m_row->kind, m_row->references,
                                                          m_row->filePath);
        if (!m_sending) {
            refuseRow(QStringLiteral("Arquivo ilegível: %1").arg(m_row->filePath));
            return;
        }
        // The same bytes the server may already hold: never sent without the
        // user asking for it again.
        const QString question = m_row->sendAgain ? QString() : m_sending->duplicateQuestion();
        if (!question.isEmpty()) {
            refuseRow(question);
            return;
        }

        const QString host =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
        const QString port =
            ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
        const QString address =
            declaration
                ? UploadAddress::declaration(host, port, taxpayer->IE, m_setup.accountantDocument,
                                             taxpayer->Chave, m_row->references)
                : UploadAddress::simples(host, port, m_setup.accountantDocument, taxpayer->Chave);
        // A failure before connecting arrives at onFailed before this returns.
        SingleUpload::start(*m_upload, address, m_row->filePath);
    } catch (const std::exception& error) {
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
    }
}

void BatchQueue::refuseRow(const QString& why) {
    m_sending.reset();
    endRow(BatchRowState::NotSent, why, QString(), QString());
}

void BatchQueue::onRequestReady() {
    if (!m_row)
        return;
    try {
        // Written before the first byte leaves: a row without this mark
        // never reached the server, whatever happens next.
        LocalDb db;
        markRequestStarted(db, m_row->id);
        if (m_sending)
            m_sending->requestStarted();
    } catch (const std::exception& error) {
        // Nothing has left yet: drop the connection and keep the row unsent.
        m_upload->abort();
        m_sending.reset();
        const QString why = RuntimeError::from(QStringLiteral("BatchQueue"), error).description();
        try {
            LocalDb db;
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
        LocalDb db;
        markWholeRequestSent(db, m_row->id);
    } catch (const std::exception&) {
        // The request has started, so a crash now is judged as "no reply"
        // anyway; the row's end is written when the verdict comes.
    }
}

void BatchQueue::onReply(const QByteArray& reply) {
    if (!m_row)
        return;
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

void BatchQueue::onFailed(const QString& description, MultipartUpload::Failure) {
    if (!m_row)
        return;
    // Cut off before its end, the request cannot be held by the server.
    if (m_sending && m_sending->record().wholeRequestSent)
        endRow(BatchRowState::NoReply, noReplyText() + QLatin1Char(' ') + description,
               SentArchive::kNoReply, description);
    else
        endRow(BatchRowState::NotSent, description, SentArchive::kNoReply, description);
}

void BatchQueue::endRow(BatchRowState state, const QString& text, const QString& archiveResult,
                        const QString& archiveReply) {
    const qint64 rowId = m_row->id;
    const QDateTime endedAt = now();
    QString shown = text;
    if (m_sending) {
        SentArchive::ArchivedSending sending = *m_sending;
        m_sending.reset();
        const QString failure = sending.finish(archiveResult, archiveReply, endedAt);
        if (!failure.isEmpty())
            shown +=
                QStringLiteral("\nO envio não foi guardado no arquivo local: %1.").arg(failure);
    }
    try {
        LocalDb db;
        finishRow(db, rowId, state, shown, endedAt);
    } catch (const std::exception& error) {
        stop(RuntimeError::from(QStringLiteral("BatchQueue"), error).description());
        return;
    }
    m_row.reset();
    emit rowFinished(rowId, state, shown);
    QTimer::singleShot(0, this, &BatchQueue::sendNext);
}
