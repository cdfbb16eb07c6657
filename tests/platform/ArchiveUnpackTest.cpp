// Unpacking the backup archive: entries land inside the target folder only,
// names that would leave it are refused before anything is written, and the
// size written is capped.
#include "platform/ArchiveUnpack.h"
#include "base/RuntimeError.h"
#include "support/ZipWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using dadav::test::writeZip;

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class Unpack : public ::testing::Test {
protected:
    QString zipPath() const { return work.filePath(QStringLiteral("backup.zip")); }
    QString dest() const { return work.filePath(QStringLiteral("app/temp")); }
    QTemporaryDir work;
};

TEST(ArchiveNames, OnlyNamesInsideTheFolderAreConfined) {
    const std::pair<const char*, bool> cases[] = {{"dbdef.bkp", true},
                                                  {"dados/2014/gia.mdb", true},
                                                  {"dados\\gia.mdb", true},
                                                  {"./a.txt", true},
                                                  {"a..b.txt", true},
                                                  {"../evil.txt", false},
                                                  {"dados/../../x", false},
                                                  {"..\\evil.txt", false},
                                                  {"/etc/passwd", false},
                                                  {"\\windows\\x", false},
                                                  {"C:/x.txt", false},
                                                  {"c:x.txt", false},
                                                  {"", false},
                                                  {"./", false},
                                                  {"..", false}};
    for (const auto& [name, confined] : cases)
        EXPECT_EQ(ArchiveUnpack::isConfinedName(QString::fromLatin1(name)), confined) << name;
}

TEST_F(Unpack, WritesEveryEntryWithItsFolders) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    writeZip(zipPath(), {{"dbdef.bkp", QByteArray("definicoes")},
                         {"vazia/", {}},
                         {"dados/2014/gia.mdb", all},
                         {"dados\\win.txt", QByteArray("barra invertida")}});

    const ArchiveUnpack::Result r = ArchiveUnpack::unpack(zipPath(), dest());

    EXPECT_EQ(r.files, 3);
    EXPECT_EQ(r.bytes, 10 + 256 + 15);
    EXPECT_EQ(readFile(dest() + QStringLiteral("/dbdef.bkp")), QByteArray("definicoes"));
    EXPECT_EQ(readFile(dest() + QStringLiteral("/dados/2014/gia.mdb")), all);
    EXPECT_EQ(readFile(dest() + QStringLiteral("/dados/win.txt")), QByteArray("barra invertida"));
    EXPECT_TRUE(QDir(dest() + QStringLiteral("/vazia")).exists());
}

TEST_F(Unpack, ReplacesAnOlderCopyAndLeavesOtherFiles) {
    ASSERT_TRUE(QDir().mkpath(dest()));
    QFile old(dest() + QStringLiteral("/dbdef.bkp"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("uma copia antiga e mais longa");
    old.close();
    QFile other(dest() + QStringLiteral("/outro.txt"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    writeZip(zipPath(), {{"dbdef.bkp", QByteArray("nova")}});

    ArchiveUnpack::unpack(zipPath(), dest());

    EXPECT_EQ(readFile(dest() + QStringLiteral("/dbdef.bkp")), QByteArray("nova"));
    EXPECT_TRUE(QFile::exists(dest() + QStringLiteral("/outro.txt")));
}

TEST_F(Unpack, RefusesEscapingNamesBeforeWritingAnything) {
    const char* const escaping[] = {"../fora.txt", "dados/../../fora.txt", "/tmp/fora.txt",
                                    "..\\fora.txt"};
    for (const char* name : escaping) {
        writeZip(zipPath(), {{"primeiro.txt", QByteArray("antes")}, {name, QByteArray("fora")}});
        try {
            ArchiveUnpack::unpack(zipPath(), dest());
            ADD_FAILURE() << "accepted " << name;
        } catch (const RuntimeError& e) {
            EXPECT_THAT(e.description().toStdString(),
                        ::testing::HasSubstr("caminho não permitido"));
        }
        EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("app/fora.txt")))) << name;
        EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("fora.txt")))) << name;
        EXPECT_FALSE(QFile::exists(dest() + QStringLiteral("/primeiro.txt"))) << name;
    }
}

TEST_F(Unpack, DoesNotWriteThroughALinkInTheFolder) {
    QTemporaryDir outside;
    ASSERT_TRUE(QDir().mkpath(dest()));
    ASSERT_TRUE(QFile::link(outside.path(), dest() + QStringLiteral("/dados")));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("alvo.txt")),
                            dest() + QStringLiteral("/alvo.txt")));
    writeZip(zipPath(), {{"dados/gia.mdb", QByteArray("x")}});

    EXPECT_THROW(ArchiveUnpack::unpack(zipPath(), dest()), RuntimeError);
    EXPECT_FALSE(QFile::exists(outside.filePath(QStringLiteral("gia.mdb"))));

    // A link at a file's own place is replaced by the file, not followed.
    writeZip(zipPath(), {{"alvo.txt", QByteArray("conteudo")}});
    ArchiveUnpack::unpack(zipPath(), dest());
    EXPECT_FALSE(QFile::exists(outside.filePath(QStringLiteral("alvo.txt"))));
    EXPECT_FALSE(QFileInfo(dest() + QStringLiteral("/alvo.txt")).isSymLink());
    EXPECT_EQ(readFile(dest() + QStringLiteral("/alvo.txt")), QByteArray("conteudo"));
}

TEST_F(Unpack, StopsAtTheSizeCapCountingInflatedBytes) {
    // Highly compressible: the archive is tiny, what it inflates to is not.
    writeZip(zipPath(), {{"a.bin", QByteArray(600, 'a')}, {"b.bin", QByteArray(600, 'b')}});
    ArchiveUnpack::Limits limits;
    limits.maxTotalBytes = 1000;
    try {
        ArchiveUnpack::unpack(zipPath(), dest(), limits);
        ADD_FAILURE() << "no cap";
    } catch (const RuntimeError& e) {
        EXPECT_THAT(e.description().toStdString(), ::testing::HasSubstr("limite de 1000 bytes"));
    }
    EXPECT_EQ(QFileInfo(dest() + QStringLiteral("/a.bin")).size(), 600);
    EXPECT_FALSE(QFile::exists(dest() + QStringLiteral("/b.bin")));
}

TEST_F(Unpack, ReportsAFileThatIsNotAnArchive) {
    QFile f(zipPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("isto não é um zip");
    f.close();
    try {
        ArchiveUnpack::unpack(zipPath(), dest());
        ADD_FAILURE() << "accepted";
    } catch (const RuntimeError& e) {
        EXPECT_THAT(e.description().toStdString(), ::testing::HasSubstr("não pôde ser aberto"));
    }
    EXPECT_THROW(ArchiveUnpack::unpack(work.filePath(QStringLiteral("nada.zip")), dest()),
                 RuntimeError);
}

} // namespace
