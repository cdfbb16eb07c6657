// Settings reader: what the client reads from the settings file for the many
// ways a hand-edited file can look.
#include "base/ReadWrite.h"
#include "base/AppPaths.h"
#include "support/AppFolderTest.h"

#include <QFile>
#include <QTemporaryDir>

#include <optional>

#include <gtest/gtest.h>

namespace {

// The text as a Windows tool saves it in UTF-16, byte-order mark first.
QByteArray utf16(const QString& text, bool bigEndian) {
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

class ReadIniValueTest : public AppFolderTest {
protected:
    static QString read(const char* section, const char* key) {
        return ReadWrite::ReadIniValue(QString::fromLatin1(section), QString::fromLatin1(key));
    }
};

struct IniCase {
    const char* label;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

TEST_F(ReadIniValueTest, ReadsLikeTheProfileReader) {
    const QString v254(254, QLatin1Char('h'));
    const IniCase cases[] = {
        {"plain", "[servidor]\r\nhost=server.gov.br\r\nport=8080\r\n", "servidor", "host",
         QStringLiteral("server.gov.br")},
        {"second key", "[servidor]\r\nhost=server.gov.br\r\nport=8080\r\n", "servidor", "port",
         QStringLiteral("8080")},
        {"case-insensitive names", "[SERVIDOR]\nHost=abc\n", "Servidor", "HOST",
         QStringLiteral("abc")},
        {"blanks around names and value", "  [ servidor ]  \n  host  =   a b  \t\n", "servidor",
         "host", QStringLiteral("a b")},
        {"one character reads empty", "[servidor]\nhost=x\n", "servidor", "host", QString()},
        {"two characters whole", "[servidor]\nhost=xy\n", "servidor", "host", QStringLiteral("xy")},
        {"one character after trimming", "[servidor]\nhost=  x  \n", "servidor", "host", QString()},
        {"empty value", "[servidor]\nhost=\n", "servidor", "host", QString()},
        {"254 characters whole", "[servidor]\nhost=" + v254.toLatin1() + "\n", "servidor", "host",
         v254},
        {"longer cut to 254", "[servidor]\nhost=" + v254.toLatin1() + "TAIL\n", "servidor", "host",
         v254},
        {"quotes removed", "[servidor]\nhost=\"my host\"\nport='81'\n", "servidor", "host",
         QStringLiteral("my host")},
        {"unbalanced quote kept", "[servidor]\nhost=\"abc\n", "servidor", "host",
         QStringLiteral("\"abc")},
        {"equals in value", "[servidor]\nhost=a=b\n", "servidor", "host", QStringLiteral("a=b")},
        {"missing section", "[outro]\nhost=abc\n", "servidor", "host", QString()},
        {"missing key", "[servidor]\nport=80\n", "servidor", "host", QString()},
        {"key in another section", "[servidor]\nport=80\n[outro]\nhost=abc\n", "servidor", "host",
         QString()},
        {"key before any section", "host=abc\n[servidor]\nport=80\n", "servidor", "host",
         QString()},
        {"first key wins", "[servidor]\nhost=first\nhost=second\n", "servidor", "host",
         QStringLiteral("first")},
        {"first section wins", "[servidor]\nport=80\n[servidor]\nhost=abc\n", "servidor", "host",
         QString()},
        {"lines without equals ignored", "[servidor]\n; comment\nnoise\nhost=abc\n", "servidor",
         "host", QStringLiteral("abc")},
        {"old Mac line ends", "[servidor]\rhost=abc\rport=81\r", "servidor", "port",
         QStringLiteral("81")},
        {"no final line end", "[servidor]\nhost=abc", "servidor", "host", QStringLiteral("abc")},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[servidor]\nhost=s\xC3\xA3o\n", "servidor",
         "host", QStringLiteral("são")},
        {"Latin-1 file", "[servidor]\nhost=s\xE3o\n", "servidor", "host", QStringLiteral("são")},
        {"empty file", "", "servidor", "host", QString()},
        {"Windows line ends, last line without one", "[servidor]\r\nhost=abc\r\nport=8080",
         "servidor", "port", QStringLiteral("8080")},
        {"UTF-16 little-endian, host",
         utf16(QStringLiteral("[servidor]\r\nhost=servidor.são\r\nport=8080"), false), "servidor",
         "host", QStringLiteral("servidor.são")},
        {"UTF-16 little-endian, port on the last line without a line end",
         utf16(QStringLiteral("[servidor]\r\nhost=servidor.são\r\nport=8080"), false), "servidor",
         "port", QStringLiteral("8080")},
        {"UTF-16 big-endian", utf16(QStringLiteral("[servidor]\r\nport=8080\r\n"), true),
         "servidor", "port", QStringLiteral("8080")},
        {"UTF-16 byte-order mark only", QByteArray("\xFF\xFE", 2), "servidor", "host", QString()},
    };
    for (const IniCase& c : cases) {
        writeIni(c.file);
        EXPECT_EQ(read(c.section, c.key), c.expected) << c.label;
    }
}

TEST_F(ReadIniValueTest, MissingFileGivesEmptyText) {
    EXPECT_EQ(read("servidor", "host"), QString());
}

TEST_F(ReadIniValueTest, EditsTakeEffectAtTheNextCall) {
    writeIni("[servidor]\nhost=first.host\n");
    EXPECT_EQ(read("servidor", "host"), QStringLiteral("first.host"));
    writeIni("[servidor]\nhost=second.host\n");
    EXPECT_EQ(read("servidor", "host"), QStringLiteral("second.host"));
    ASSERT_TRUE(QFile::remove(AppPaths::IniPath()));
    EXPECT_EQ(read("servidor", "host"), QString());
}

struct WriteCase {
    const char* label;
    std::optional<QByteArray> before; // empty: no file
    QByteArray after;
};

// The client writes its own section and leaves every other byte alone, in
// whatever encoding and line ends the file has.
TEST_F(ReadIniValueTest, WritingASectionKeepsEveryOtherByte) {
    const QList<QPair<QString, QString>> values = {
        {QStringLiteral("modo"), QStringLiteral("manual")},
        {QStringLiteral("host"), QStringLiteral("pr.x")}};
    const QByteArray latin1Server = "; configura\xE7\xE3o\r\n[servidor]\r\nhost=s\xE3o.gov\r\n";
    const QString unicode = QStringLiteral("[servidor]\r\nhost=s\u00e3o\r\n");
    const WriteCase cases[] = {
        {"no file", std::nullopt, "[proxy]\nmodo=manual\nhost=pr.x\n"},
        {"Latin-1, CR LF, appended", latin1Server,
         latin1Server + "[proxy]\r\nmodo=manual\r\nhost=pr.x\r\n"},
        {"UTF-8 with mark, last line without end", "\xEF\xBB\xBF[servidor]\nhost=s\xC3\xA3o",
         "\xEF\xBB\xBF[servidor]\nhost=s\xC3\xA3o\n[proxy]\nmodo=manual\nhost=pr.x\n"},
        {"section between others replaced, case kept elsewhere",
         "[servidor]\nHOST=a.b\n[Proxy]\nmodo=nenhum\nporta=1\n[outra]\nk=v \xC3\xA7\n",
         "[servidor]\nHOST=a.b\n[proxy]\nmodo=manual\nhost=pr.x\n[outra]\nk=v \xC3\xA7\n"},
        {"UTF-16 little-endian", utf16(unicode, false),
         utf16(unicode + QStringLiteral("[proxy]\r\nmodo=manual\r\nhost=pr.x\r\n"), false)},
        {"UTF-16 big-endian", utf16(unicode, true),
         utf16(unicode + QStringLiteral("[proxy]\r\nmodo=manual\r\nhost=pr.x\r\n"), true)},
    };
    for (const WriteCase& c : cases) {
        if (c.before)
            writeIni(*c.before);
        else
            QFile::remove(AppPaths::IniPath());
        ASSERT_TRUE(ReadWrite::WriteIniSection(QStringLiteral("proxy"), values)) << c.label;
        QFile file(AppPaths::IniPath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.label;
        EXPECT_EQ(file.readAll(), c.after) << c.label;
        EXPECT_EQ(read("proxy", "host"), QStringLiteral("pr.x")) << c.label;
    }
}

TEST_F(ReadIniValueTest, WritingRefusesTheServerSectionAndUnstorableText) {
    const QByteArray before = "[servidor]\nhost=a\xE7.b\n"; // Latin-1
    writeIni(before);
    EXPECT_FALSE(ReadWrite::WriteIniSection(QStringLiteral(" Servidor "),
                                            {{QStringLiteral("host"), QStringLiteral("x.y")}}));
    EXPECT_FALSE(ReadWrite::WriteIniSection(QStringLiteral("proxy"),
                                            {{QStringLiteral("host"), QStringLiteral("a\nb")}}));
    EXPECT_FALSE(ReadWrite::WriteIniSection(
        QStringLiteral("proxy"), {{QStringLiteral("host"), QStringLiteral("\u20ac.example")}}));
    QFile file(AppPaths::IniPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

} // namespace
