// The reference months a batch proposes for a declaration: the months of the
// working years the declaration window offers (ReferenceList::build) that the
// taxpayer's list answer shows no processed transmission for (the office
// overview's reading of the same answer, Overview::Row). The user may change
// them; this only proposes.
#pragma once

#include "overview/OverviewRow.h"

#include <QDate>
#include <QString>

namespace ReferenceProposal {

struct Proposal {
    QString references; // as sent ("1_2026,2_2026"); empty when none proposed
    QString note;       // why none or why to look twice (Portuguese); may be empty
};

// For a taxpayer's overview row: nothing before its list answer came (the
// note says the row's "Situação"); nothing while a transmission is pending,
// since the list does not say which months it holds and proposing them could
// send a month twice; otherwise the working years' months up to the month
// before `today`, less those covered by processed transmissions. Never throws.
Proposal propose(const Overview::Row& row, const QDate& today);

} // namespace ReferenceProposal
