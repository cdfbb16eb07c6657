// The state program's backup folder candidates and which one the browser opens.
#include "transmission/BackupFolders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace {

QString root(QChar letter) {
    return QStringLiteral("/wine/drive_") + letter.toLower();
}

QString candidate(int number) {
    return BackupFolders::candidates(root).at(number - 1).folder;
}

TEST(BackupFolders, EightCandidatesInTheirOrder) {
    const QList<BackupFolders::Candidate> list = BackupFolders::candidates(root);
    ASSERT_EQ(list.size(), 8);
    const char* const expected[] = {
        "/wine/drive_c/Arquivos de Programas/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_c/Program Files/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_c/Program Files (x86)/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_c/Arquivos de Programas (x86)/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_d/Arquivos de Programas/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_d/Program Files/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_d/Program Files (x86)/SEFAZ-RJ/VAV-UVOD/Backup",
        "/wine/drive_d/Arquivos de Programas (x86)/SEFAZ-RJ/VAV-UVOD/Backup",
    };
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(list.at(i).folder, QString::fromLatin1(expected[i]));
        EXPECT_EQ(list.at(i).drive, i < 4 ? QLatin1Char('C') : QLatin1Char('D'));
    }
    // A drive the prefix does not have gives no candidates (never a folder
    // relative to the working folder).
    const QList<BackupFolders::Candidate> onlyC = BackupFolders::candidates(
        [](QChar letter) { return letter == QLatin1Char('C') ? root(letter) : QString(); });
    ASSERT_EQ(onlyC.size(), 4);
    EXPECT_EQ(onlyC.back().folder, QString::fromLatin1(expected[3]));
}

struct DiscoverCase {
    std::set<int> existing; // candidate numbers 1..8
    char drive;             // 0: none
    int folder;             // 0: none
};

class DiscoverTable : public ::testing::TestWithParam<DiscoverCase> {};

TEST_P(DiscoverTable, DriveDWinsAndTheLastExistingFolderIsShown) {
    const DiscoverCase& c = GetParam();
    const BackupFolders::Discovery found =
        BackupFolders::discover(BackupFolders::candidates(root), [&c](const QString& folder) {
            for (int n : c.existing)
                if (candidate(n) == folder)
                    return true;
            return false;
        });
    EXPECT_EQ(found.drive, c.drive ? QChar(QLatin1Char(c.drive)) : QChar());
    EXPECT_EQ(found.folder, c.folder ? candidate(c.folder) : QString());
}

INSTANTIATE_TEST_SUITE_P(Candidates, DiscoverTable,
                         ::testing::Values(DiscoverCase{{}, 0, 0}, DiscoverCase{{2}, 'C', 2},
                                           DiscoverCase{{1, 3}, 'C', 3}, DiscoverCase{{6}, 'D', 6},
                                           DiscoverCase{{2, 5}, 'D', 5},
                                           DiscoverCase{{4, 7, 8}, 'D', 8}));

} // namespace
