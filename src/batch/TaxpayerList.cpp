// One taxpayer's transmission list as a batch reads it.
#include "batch/TaxpayerList.h"

#include "history/VersionAnswer.h"
#include "net/SoapEnvelope.h"
#include "overview/OverviewRow.h"

#include <algorithm>
#include <optional>

namespace TaxpayerList {

namespace {

// Months (year * 12 + month - 1) sorted, without repeats; a list's text is
// read by the overview's referenceMonths.
QList<int> sortedMonths(QList<int> months) {
    std::sort(months.begin(), months.end());
    months.erase(std::unique(months.begin(), months.end()), months.end());
    return months;
}

QList<int> monthsOfReferences(const QString& references) {
    QList<int> months;
    for (const QString& id : references.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = id.split(QLatin1Char('_'));
        if (parts.size() == 2)
            months.append(parts[1].toInt() * 12 + parts[0].toInt() - 1);
    }
    return sortedMonths(months);
}

} // namespace

Facts read(const QString& wholeAnswer) {
    Facts facts;
    const QString returnText = Soap::GetResult(wholeAnswer, QStringLiteral("return"));
    History::ListAnswer list = History::readTransmissionList(returnText);
    facts.kind = list.kind;
    if (list.kind != History::ListAnswerKind::Transmissions)
        return facts;
    facts.rows = std::move(list.rows);
    facts.messages = std::move(list.messages);
    try {
        const History::VersionFields fields = History::readVersionFields(returnText);
        facts.anoTrabalho = fields.anoTrabalho;
        facts.dataServidor = fields.dataServidor;
    } catch (const std::exception&) {
        // No date at its place: the working years are unknown too.
    }
    return facts;
}

QString problemText(const Facts& facts) {
    switch (facts.kind) {
    case History::ListAnswerKind::InvalidKey:
        return History::kInvalidKeyText;
    case History::ListAnswerKind::AccessDenied:
        return History::kAccessDeniedText;
    case History::ListAnswerKind::NotXml:
        return QStringLiteral("Resposta do servidor ilegível");
    case History::ListAnswerKind::Transmissions:
        break;
    }
    return {};
}

namespace {

// One entry of the list, as settle() reads it.
struct Entry {
    QList<int> months; // empty for a pending entry
    bool pending = false;
    QString protocol;
    QString referencia;
    std::optional<qint64> at; // server time, seconds since the epoch; nullopt: unreadable
};

// One month of one sending (an extract has one "month" that any entry fits).
struct Unit {
    int sending = 0;
    int month = -1; // -1: an extract
};

enum class UnitState { None, Pending, Processed, Unsure };

QList<Entry> entriesOf(const Facts& facts, const QStringList& taken) {
    QList<Entry> entries;
    for (const QStringList& row : facts.rows) {
        Entry e;
        e.referencia = row.value(History::ColReferencia).trimmed();
        e.protocol = row.value(History::ColProtocolo).trimmed();
        if (!e.protocol.isEmpty() && taken.contains(e.protocol))
            continue;
        // A processed entry without a protocol cannot be named: it counts
        // as one still being processed.
        e.pending = e.referencia == History::kPendingReference || e.protocol.isEmpty();
        if (!e.pending)
            e.months = Overview::referenceMonths(e.referencia);
        if (const std::optional<QDateTime> when =
                History::parseServerDateTime(row.value(History::ColData).trimmed()))
            e.at = when->toSecsSinceEpoch();
        entries.append(e);
    }
    return entries;
}

QString monthName(int month) {
    return month < 0 ? QStringLiteral("o extrato")
                     : QStringLiteral("%1/%2")
                           .arg(month % 12 + 1, 2, 10, QLatin1Char('0'))
                           .arg(month / 12);
}

} // namespace

QList<Found> settle(const Facts& facts, const QList<Sending>& sendings, const QDateTime& answeredAt,
                    const QStringList& taken) {
    const QList<Entry> entries = entriesOf(facts, taken);
    // The server's clock less this program's: the list is dated by the
    // server, the sendings by this program. The answer's date is a whole
    // second stamped before it arrived, so the start in server time comes
    // out at most about a second early: never late, which would drop the
    // sending's own entry.
    const qint64 offsetMs = answeredAt.isValid() && facts.dataServidor.isValid()
                                ? answeredAt.msecsTo(facts.dataServidor)
                                : 0;
    QList<std::optional<qint64>> from; // per sending, server seconds
    QList<Unit> units;
    for (int s = 0; s < sendings.size(); ++s) {
        const Sending& sending = sendings[s];
        from.append(sending.startedAt.isValid()
                        ? std::optional(sending.startedAt.addMSecs(offsetMs).toSecsSinceEpoch())
                        : std::nullopt);
        const QList<int> months = monthsOfReferences(sending.references);
        if (months.isEmpty())
            units.append({s, -1});
        for (int m : months)
            units.append({s, m});
    }
    // Entries each unit could own: dated from its sending's start on (an
    // undated entry could be anyone's), of its month (a pending entry may
    // be of any month, an extract's unit takes any entry).
    QList<QList<int>> candidates;
    for (const Unit& u : units) {
        QList<int> c;
        for (int e = 0; e < entries.size(); ++e) {
            const Entry& entry = entries[e];
            const bool after = !from[u.sending] || !entry.at || *entry.at >= *from[u.sending];
            const bool fits = entry.pending || u.month < 0 || entry.months.contains(u.month);
            if (after && fits)
                c.append(e);
        }
        candidates.append(c);
    }
    QList<int> owner(entries.size(), -1); // sending owning each entry
    QList<int> assigned(units.size(), -1);
    const auto open = [&](int unit) {
        QList<int> c;
        for (int e : candidates[unit])
            if (owner[e] < 0 || owner[e] == units[unit].sending)
                c.append(e);
        return c;
    };
    // A sending the server accepted has an entry for each month: when only
    // one is left for a month, it is that one, and no other sending's.
    for (bool changed = true; changed;) {
        changed = false;
        for (int u = 0; u < units.size(); ++u) {
            if (assigned[u] >= 0 || sendings[units[u].sending].role != Sending::Role::Accepted)
                continue;
            const QList<int> c = open(u);
            if (c.size() == 1) {
                assigned[u] = c.first();
                owner[c.first()] = units[u].sending;
                changed = true;
            }
        }
    }
    // The rest: an entry left to one sending alone is its own.
    QList<UnitState> state(units.size(), UnitState::None);
    QList<int> chosen = assigned;
    for (int u = 0; u < units.size(); ++u) {
        if (assigned[u] >= 0) {
            state[u] = entries[assigned[u]].pending ? UnitState::Pending : UnitState::Processed;
            continue;
        }
        const QList<int> c = open(u);
        if (c.isEmpty())
            continue;
        bool shared = false;
        for (int v = 0; v < units.size() && !shared; ++v) {
            if (units[v].sending == units[u].sending || assigned[v] >= 0)
                continue;
            for (int e : open(v))
                shared = shared || c.contains(e);
        }
        const bool anyPending =
            std::any_of(c.begin(), c.end(), [&](int e) { return entries[e].pending; });
        if (shared)
            state[u] = UnitState::Unsure;
        else if (anyPending)
            state[u] = UnitState::Pending;
        else if (c.size() == 1)
            state[u] = UnitState::Processed, chosen[u] = c.first();
        else
            state[u] = UnitState::Unsure; // several sendings of this month: which is its own?
    }

    QList<Found> found;
    for (int s = 0; s < sendings.size(); ++s) {
        Found f;
        QStringList seen;
        bool allProcessed = true, allNone = true, anyUnsure = false, anyNone = false;
        for (int u = 0; u < units.size(); ++u) {
            if (units[u].sending != s)
                continue;
            const QString month = monthName(units[u].month);
            switch (state[u]) {
            case UnitState::Processed: {
                const QString protocol = entries[chosen[u]].protocol;
                if (!f.protocols.contains(protocol))
                    f.protocols.append(protocol);
                seen << QStringLiteral("%1 processado (protocolo %2)").arg(month, protocol);
                allNone = false;
                break;
            }
            case UnitState::Pending:
                seen << QStringLiteral("%1 em processamento").arg(month);
                allProcessed = allNone = false;
                break;
            case UnitState::Unsure:
                seen << QStringLiteral("%1 com um envio que pode ser de outra linha").arg(month);
                allProcessed = allNone = false;
                anyUnsure = true;
                break;
            case UnitState::None:
                seen << QStringLiteral("%1 sem envio depois deste").arg(month);
                allProcessed = false;
                anyNone = true;
                break;
            }
        }
        if (allNone)
            f.kind = Found::Kind::Absent;
        else if (allProcessed)
            f.kind = Found::Kind::Processed;
        else if (!anyUnsure && !anyNone)
            f.kind = Found::Kind::Pending;
        else
            f.kind = Found::Kind::Unsure;
        if (f.kind != Found::Kind::Processed)
            f.protocols.clear();
        if (f.kind == Found::Kind::Unsure)
            f.seen = QStringLiteral("A lista do contribuinte mostra: %1.")
                         .arg(seen.join(QStringLiteral("; ")));
        found.append(f);
    }
    return found;
}

QString monthsText(const QString& references) {
    QStringList out;
    for (const QString& id : references.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = id.split(QLatin1Char('_'));
        if (parts.size() == 2)
            out << QStringLiteral("%1/%2")
                       .arg(parts[0].toInt(), 2, 10, QLatin1Char('0'))
                       .arg(parts[1]);
    }
    return out.join(QStringLiteral(", "));
}

} // namespace TaxpayerList
