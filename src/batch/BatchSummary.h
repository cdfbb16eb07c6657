// How a batch's rows ended, counted by state, and the one wording of it that
// the "Envio em lote" window and the command line show: "3 aceitos, 1
// recusado, 0 sem resposta", followed by the other states that have rows
// ("2 não enviados, 1 não consta na lista"...), so the counts always add up
// to the batch's rows. Count the rows of one batch only (batchRows of its id).
#pragma once

#include "store/BatchRepository.h"

#include <QList>
#include <QString>

#include <array>
#include <cstddef>

class BatchSummary {
public:
    BatchSummary() = default;
    explicit BatchSummary(const QList<BatchRow>& rows);

    void add(BatchRowState state);

    int count(BatchRowState state) const;
    int total() const { return m_total; }
    // Every row accepted (true for no rows, as nothing failed).
    bool allAccepted() const { return count(BatchRowState::Accepted) == m_total; }

    // The wording above, without a final full stop.
    QString text() const;

private:
    // One count per state; NotListed is the last of the enum.
    std::array<int, std::size_t(BatchRowState::NotListed) + 1> m_counts{};
    int m_total = 0;
};
