// The reference months a batch proposes for a declaration: the months of the
// working years the declaration window offers (ReferenceList::build) that the
// taxpayer's list answer shows no processed transmission for (the office
// overview's reading of the same answer, Overview::Row). The user may change
// them; this only proposes. Also the text form the batch window shows and
// the user types ("01/2026, 02/2026"), and its form as sent ("1_2026,2_2026").
#pragma once

#include "overview/OverviewRow.h"

#include <QDate>
#include <QString>

#include <optional>

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

// "1_2026,2_2026" -> "01/2026, 02/2026".
QString textOf(const QString& references);

// The months the user typed ("1/2026, 02/2026", "01/2026 02/2026"), in
// order, repeats dropped, as sent ("1_2026,2_2026"); nullopt when the text
// holds anything but months (a month outside 1..12 included). An empty text
// is no months.
std::optional<QString> referencesOf(const QString& text);

} // namespace ReferenceProposal
