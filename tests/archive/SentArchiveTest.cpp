// The local archive in a temporary application folder: which sendings keep a
// copy, the copy holding the bytes sent (staged or not, never in place of
// another entry), an earlier digest reused only for an unchanged file,
// records of earlier versions, the references shown.
#include "archive/SentArchive.h"
#include "archive/ArchiveListing.h"
#include "archive/ArchivedSending.h"

#include "support/AppFolderTest.h"
#include "support/StaleDigest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using namespace SentArchive;

const QString kIe = QStringLiteral("86123452");
const QString kRefs = QStringLiteral("1_2014,2_2014");
const QDateTime kFirst(QDate(2014, 3, 15), QTime(10, 0));

class Archive : public AppFolderTest {
protected:
    QString source(const QByteArray& bytes, const QString& name = QStringLiteral("backup.zip")) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    // One sending of `path` that got as far as `wholeRequest` says, ended at `when`.
    QString send(const QString& path, const QString& result, bool wholeRequest,
                 const QDateTime& when = kFirst) {
        std::optional<ArchivedSending> s = ArchivedSending::prepare(kIe, kDeclaration, kRefs, path);
        EXPECT_TRUE(s.has_value());
        s->requestStarted();
        if (wholeRequest)
            s->wholeRequestSent();
        return s->finish(result, QStringLiteral("resposta"), when);
    }
};

// What the server may hold decides the copy kept (and whether the same bytes
// sent again are asked about: the rule itself reads the shared memory).
TEST_F(Archive, OnlyASendingTheServerMayHoldKeepsACopy) {
    struct Case {
        const char* what;
        QString result;
        bool wholeRequest;
        bool copyKept;
    };
    const Case cases[] = {
        {"accepted", kAccepted, true, true},
        {"refused", kRefused, true, false},
        {"no reply after the whole request", kNoReply, true, true},
        {"broken off before the end", kNoReply, false, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = source(QByteArray("declaracao ") + c.what);
        ASSERT_EQ(send(path, c.result, c.wholeRequest, kFirst.addSecs(n)), QString());
        const QList<Record> records = list(kIe);
        ASSERT_EQ(records.size(), ++n);
        const Record& r = records.at(0);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.wholeRequestSent, c.wholeRequest);
        EXPECT_EQ(!r.archivedFile.isEmpty(), c.copyKept);
        EXPECT_EQ(serverMayHoldIt(r), c.copyKept);
    }

    // A request that never started leaves nothing; an unreadable file is not prepared.
    std::optional<ArchivedSending> notStarted =
        ArchivedSending::prepare(kIe, kDeclaration, kRefs, source("x"));
    EXPECT_EQ(notStarted->finish(kNoReply, QStringLiteral("Invalid Host"), kFirst), QString());
    EXPECT_EQ(list(kIe).size(), n);
    EXPECT_FALSE(ArchivedSending::prepare(kIe, kDeclaration, kRefs, dir.filePath("nenhum")));
}

// The copy must be the bytes sent. A file changed after its digest, before
// its copy was made (at the end, or staged while the reply was awaited), is
// not archived: its month folder keeps neither a copy nor a record. A copy
// staged after the whole request left holds the bytes sent whatever the file
// becomes, and goes under its record's name even when the reply comes in a
// later second; a refusal drops it.
TEST_F(Archive, TheCopyHoldsTheBytesSentOrNothingIsKept) {
    struct Case {
        const char* what;
        bool staged;
        bool changedBeforeCopy;
        QString result;
        int replySecondsLater; // after the staging
        bool copyKept;
    };
    const Case cases[] = {
        {"changed, copied at the end", false, true, kAccepted, 0, false},
        {"changed, then staged", true, true, kAccepted, 0, false},
        {"staged, changed after, reply a second later", true, false, kAccepted, 1, true},
        {"staged, no reply in the same second", true, false, kNoReply, 0, true},
        {"staged, refused", true, false, kRefused, 0, false},
    };
    int month = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QDateTime when = kFirst.addMonths(month++);
        const QByteArray sent(300 * 1024, 'a');
        const QString path = source(sent);
        std::optional<ArchivedSending> s = ArchivedSending::prepare(kIe, kDeclaration, kRefs, path);
        ASSERT_TRUE(s);
        s->requestStarted();
        s->wholeRequestSent();
        if (c.changedBeforeCopy)
            source(QByteArray(300 * 1024, 'b'));
        if (c.staged)
            s->stageCopy(when);
        if (!c.changedBeforeCopy)
            source(QByteArray(300 * 1024, 'c'));
        const QString failure =
            s->finish(c.result, QStringLiteral("ok"), when.addSecs(c.replySecondsLater));
        const QStringList left =
            QDir(monthFolder(kIe, when))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (c.changedBeforeCopy) {
            EXPECT_TRUE(failure.contains(QStringLiteral("foi alterado depois do envio")));
            EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
            continue;
        }
        ASSERT_EQ(failure, QString());
        EXPECT_EQ(left.size(), c.copyKept ? 2 : 1) << left.join(' ').toStdString();
        const Record r = list(kIe).at(0);
        EXPECT_EQ(r.sentAt, when.addSecs(c.replySecondsLater));
        EXPECT_EQ(r.archivedFile.isEmpty(), !c.copyKept); // named after its record
        QFile copy(r.archivedFile);
        if (c.copyKept) {
            ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
            EXPECT_TRUE(copy.readAll() == sent);
        }
    }
}

// A staged copy whose name another sending took in the same second (ended
// first, without staging) never replaces that entry: each record keeps its
// own copy with its own bytes.
TEST_F(Archive, AStagedCopyNeverReplacesAnotherEntryOfTheSameSecond) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a")) &&
                QDir(dir.path()).mkpath(QStringLiteral("b")));
    const QByteArray first(200 * 1024, 'a');
    const QByteArray second(200 * 1024, 'b');
    const QString a = source(first, QStringLiteral("a/backup.zip"));
    const QString b = source(second, QStringLiteral("b/backup.zip"));
    std::optional<ArchivedSending> staged = ArchivedSending::prepare(kIe, kDeclaration, kRefs, a);
    ASSERT_TRUE(staged);
    staged->requestStarted();
    staged->wholeRequestSent();
    staged->stageCopy(kFirst);
    ASSERT_EQ(send(b, kAccepted, true, kFirst), QString());
    ASSERT_EQ(staged->finish(kAccepted, QStringLiteral("ok"), kFirst), QString());
    const QList<Record> records = list(kIe);
    ASSERT_EQ(records.size(), 2);
    QSet<QString> copies;
    for (const Record& r : records) {
        QFile copy(r.archivedFile);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << r.recordFile.toStdString();
        EXPECT_EQ(QString::fromLatin1(
                      QCryptographicHash::hash(copy.readAll(), QCryptographicHash::Sha256).toHex()),
                  r.sha256);
        copies.insert(r.sha256);
    }
    EXPECT_EQ(copies.size(), 2);
}

// A digest made earlier is reused only while the file shows the same size,
// modification and status-change times, and was not changed just before it
// was read; otherwise the sending digests the file again.
TEST_F(Archive, AnEarlierDigestIsReusedOnlyWhileTheFileIsUnchanged) {
    const QByteArray bytes(4096, 'a');
    struct Case {
        const char* what;
        std::function<Digest(const QString&)> change; // the digest made before
        bool current;
    };
    const auto older = [](const QString& path) {
        Digest d = *digestFile(path);
        d.tooRecent = false;
        return d;
    };
    const Case cases[] = {
        {"unchanged", older, true},
        {"changed just before its digest", [](const QString& path) { return *digestFile(path); },
         false},
        // Only the status-change time shows how recent the change is.
        {"changed just before its digest, modification time put back",
         [](const QString& path) {
             QFile f(path);
             EXPECT_TRUE(f.open(QIODevice::ReadWrite));
             f.setFileTime(kFirst, QFileDevice::FileModificationTime);
             f.close();
             return *digestFile(path);
         },
         false},
        {"grown",
         [&](const QString& path) {
             const Digest d = older(path);
             source(bytes + "z");
             return d;
         },
         false},
        {"rewritten, times put back",
         [](const QString& path) { return dadav::test::staleDigest(path, QByteArray(4096, 'b')); },
         false},
        {"removed",
         [&](const QString& path) {
             const Digest d = older(path);
             QFile::remove(path);
             return d;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = source(bytes);
        const Digest earlier = c.change(path);
        EXPECT_EQ(stillCurrent(earlier, path), c.current);
        // What the record holds is the file's digest now.
        const std::optional<ArchivedSending> s =
            ArchivedSending::prepare(kIe, kDeclaration, kRefs, path, earlier);
        const std::optional<Digest> now = digestFile(path);
        EXPECT_EQ(s.has_value(), now.has_value());
        if (s && now) {
            EXPECT_EQ(s->record().sha256, now->sha256);
        }
    }
}

// "tamanho" is written as a number; records that kept it as a text, and
// without "envioCompleto", still read (a sending without a reply then asks).
TEST_F(Archive, SizeIsANumberAndEarlierRecordsStillRead) {
    const QString path = source(QByteArray(1234, 'z'));
    ASSERT_EQ(send(path, kAccepted, true), QString());
    QFile written(list(kIe).at(0).recordFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(written.readAll()).object();
    EXPECT_TRUE(json.value(QStringLiteral("tamanho")).isDouble());
    EXPECT_EQ(json.value(QStringLiteral("tamanho")).toInteger(), 1234);

    const QString older = QDir(monthFolder(kIe, kFirst)).filePath("20140301-090000-velho.zip.json");
    QFile f(older);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"enviadoEm": "2014-03-01T09:00:00", "ie": "86123452", "tipo": "declaracao",
               "referencias": "1_2014", "arquivo": "velho.zip", "sha256": "ab12",
               "tamanho": "987654", "resultado": "sem resposta", "resposta": "x"})");
    f.close();
    const QList<Record> records = list(kIe);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records.at(1).size, 987654);
    EXPECT_TRUE(records.at(1).wholeRequestSent);
    EXPECT_TRUE(serverMayHoldIt(records.at(1)));
}

// References as the main window writes them (the archive window's order
// is checked with the window, beside the receipts).
TEST(ArchiveListing, ReferencesReadAsTheMainWindowWritesThem) {
    const std::pair<const char*, const char*> refs[] = {
        {"1_2026,2_2026", "01/2026, 02/2026"}, {"12_2013", "12/2013"}, {"", ""}, {"x_1", "x_1"}};
    for (const auto& [sent, shown] : refs)
        EXPECT_EQ(readableReferences(QString::fromLatin1(sent)), QString::fromLatin1(shown));
}

} // namespace
