// The reference months offered for the working years, the collection of the
// selected months into the upload's list, and the archive name test.
#include "transmission/ReferenceList.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ReferenceList::Row;

QStringList ids(const QList<Row>& rows) {
    QStringList out;
    for (const Row& r : rows)
        out << r.id;
    return out;
}

struct BuildCase {
    const char* anos;
    QDate today;
    int rows;
    const char* first;
    const char* last;
};

class BuildTable : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildTable, ListsTheMonthsOfTheWorkingYears) {
    const BuildCase& c = GetParam();
    const QList<Row> rows = ReferenceList::build(QString::fromLatin1(c.anos), c.today);
    ASSERT_EQ(rows.size(), c.rows);
    if (c.rows == 0)
        return;
    EXPECT_EQ(rows.first().id, QString::fromLatin1(c.first));
    EXPECT_EQ(rows.last().id, QString::fromLatin1(c.last));
}

INSTANTIATE_TEST_SUITE_P(
    WorkingYears, BuildTable,
    ::testing::Values(
        // 2013 whole, 2014 up to February when today is in March 2014.
        BuildCase{"2013/2014", QDate(2014, 3, 15), 14, "1_2013", "2_2014"},
        // In January no month of the current year is listed.
        BuildCase{"2013/2014", QDate(2014, 1, 31), 12, "1_2013", "12_2013"},
        BuildCase{"2014", QDate(2014, 1, 1), 0, "", ""},
        // A year repeated right after itself is listed once...
        BuildCase{"2014/2014", QDate(2015, 6, 1), 12, "1_2014", "12_2014"},
        // ...a repeat further on is listed again.
        BuildCase{"2013/2014/2013", QDate(2015, 6, 1), 36, "1_2013", "12_2013"},
        // Blanks around years (the server pads the text) and empty pieces.
        BuildCase{" 2025/2026   ", QDate(2026, 12, 7), 23, "1_2025", "11_2026"},
        BuildCase{"", QDate(2026, 12, 7), 0, "", ""},
        BuildCase{"2026/", QDate(2026, 2, 7), 1, "1_2026", "1_2026"},
        // A future year is listed whole.
        BuildCase{"2027", QDate(2026, 12, 7), 12, "1_2027", "12_2027"}));

TEST(ReferenceList, RowTextsHaveNoLeadingZeroAndSpacedSlash) {
    const QList<Row> rows = ReferenceList::build(QStringLiteral("2013/2014"), QDate(2014, 3, 1));
    EXPECT_EQ(rows.at(2), (Row{QStringLiteral("3_2013"), QStringLiteral("3 / 2013")}));
    EXPECT_EQ(rows.at(11), (Row{QStringLiteral("12_2013"), QStringLiteral("12 / 2013")}));
    EXPECT_EQ(ids(rows).mid(12), (QStringList{QStringLiteral("1_2014"), QStringLiteral("2_2014")}));
}

TEST(ReferenceList, CollectsAcceptedRowsWithoutBlanks) {
    const QList<Row> rows = {{QStringLiteral("12_2013"), QStringLiteral("12 / 2013")},
                             {QStringLiteral("1_2014"), QStringLiteral("1 / 2014")},
                             {QStringLiteral("2_2014"), QStringLiteral(" 2 / 2014 ")}};

    const ReferenceList::Collected both = ReferenceList::collect(rows, QStringLiteral("2013/2014"));
    EXPECT_EQ(both.gias, QStringLiteral("12_2013,1_2014,2_2014"));
    EXPECT_EQ(both.accepted, 3);
    EXPECT_FALSE(both.refused);

    // Working years narrowed after the list was built: 2013 is refused.
    const ReferenceList::Collected narrowed = ReferenceList::collect(rows, QStringLiteral("2014"));
    EXPECT_EQ(narrowed.gias, QStringLiteral("1_2014,2_2014"));
    EXPECT_EQ(narrowed.accepted, 2);
    EXPECT_TRUE(narrowed.refused);

    const ReferenceList::Collected none =
        ReferenceList::collect(rows.mid(0, 1), QStringLiteral("2014"));
    EXPECT_EQ(none.gias, QString());
    EXPECT_EQ(none.accepted, 0);
    EXPECT_TRUE(none.refused);
}

TEST(ReferenceList, RefusalWordingFollowsTheSelectionDirection) {
    EXPECT_EQ(ReferenceList::refusalMessage(true, QStringLiteral("2014")),
              QStringLiteral("Você deverá consultar a administração para saber quais documentos "
                             "poderão ser aceitos. 2014"));
    EXPECT_EQ(ReferenceList::refusalMessage(false, QStringLiteral("2014")),
              QStringLiteral("Somente serão aceitas GIAS de 2014"));
}

TEST(ReferenceList, ArchiveIsJudgedByTheLastThreeCharacters) {
    const std::pair<const char*, bool> cases[] = {
        {"backup.zip", true},   {"BACKUP.ZIP", true},  {"Backup.Zip", true}, {"backupzip", true},
        {"backup.zipx", false}, {"backup.mdb", false}, {"zi", false},        {"", false}};
    for (const auto& [name, archive] : cases)
        EXPECT_EQ(ReferenceList::isArchiveName(QString::fromLatin1(name)), archive) << name;
}

} // namespace
