// The summary of a batch's rows.
#include "batch/BatchSummary.h"

#include <QStringList>

namespace {

// The numbered wording of one state: singular for one row, else plural.
QString counted(int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
}

} // namespace

BatchSummary::BatchSummary(const QList<BatchRow>& rows) {
    for (const BatchRow& row : rows)
        add(row.state);
}

void BatchSummary::add(BatchRowState state) {
    ++m_counts[std::size_t(state)];
    ++m_total;
}

int BatchSummary::count(BatchRowState state) const {
    return m_counts[std::size_t(state)];
}

QString BatchSummary::text() const {
    // These three always, so a reader finds them in the same place.
    QStringList parts{counted(count(BatchRowState::Accepted), "aceito", "aceitos"),
                      counted(count(BatchRowState::Refused), "recusado", "recusados"),
                      counted(count(BatchRowState::NoReply), "sem resposta", "sem resposta")};
    const struct {
        BatchRowState state;
        const char* one;
        const char* many;
    } others[] = {
        {BatchRowState::NotListed, "não consta na lista", "não constam na lista"},
        {BatchRowState::NotSent, "não enviado", "não enviados"},
        {BatchRowState::Cancelled, "cancelado", "cancelados"},
        {BatchRowState::Queued, "na fila", "na fila"},
        {BatchRowState::Sending, "enviando", "enviando"},
    };
    for (const auto& other : others)
        if (const int n = count(other.state); n > 0)
            parts << counted(n, other.one, other.many);
    return parts.join(QStringLiteral(", "));
}
