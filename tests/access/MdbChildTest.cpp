// Reading Access files in the reader child: the records the client refuses,
// tables read by name through the real child, and every way the child can
// fail (a crash in the Access library, a hang, its limits) ending in one
// error while the test process goes on.
#include "access/MdbChild.h"
#include "access/MdbFrames.h"

#include "base/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using MdbChild::Column;
using MdbChild::Request;
using ::testing::ElementsAre;

QString fixture(const char* name) {
    return QDir(QStringLiteral(DADAV_FIXTURES_DIR)).filePath(QString::fromLatin1(name));
}

std::string record(char tag, std::string_view payload) {
    const auto n = static_cast<std::uint32_t>(payload.size());
    std::string r(1, tag);
    for (int shift = 24; shift >= 0; shift -= 8)
        r.push_back(static_cast<char>((n >> shift) & 0xFF));
    return r.append(payload);
}

TEST(MdbFrames, RefusesEveryMalformedOutput) {
    using Kind = MdbFrames::Parsed::Kind;
    const std::vector<MdbFrames::Expected> expected{{"tblX", 2}};
    const std::string v = record('V', "dadav-leitor-mdb/2");
    const std::string t = record('T', "tblX");
    const std::string row = record('C', "a") + record('C', "b");
    const std::string e = record('E', "");
    std::string failure;
    MdbFrames::appendFailure(failure, 3078, "sem tabela");

    struct Case {
        const char* what;
        std::string output;
        Kind kind;
    };
    const Case cases[] = {
        {"whole", v + t + row + e, Kind::Complete},
        {"table without rows", v + t + e, Kind::Complete},
        {"a NULL cell", v + t + record('C', "a") + record('N', "") + e, Kind::Complete},
        {"a NULL cell with a payload", v + t + record('C', "a") + record('N', "b") + e,
         Kind::Malformed},
        {"a partial row ending in NULL", v + t + row + record('N', "") + e, Kind::Malformed},
        {"failure after some rows", v + t + row + failure, Kind::Failure},
        {"nothing", "", Kind::Malformed},
        {"no end", v + t + row, Kind::Malformed},
        {"another format", record('V', "dadav-leitor-mdb/1") + t + row + e, Kind::Malformed},
        {"no format", t + row + e, Kind::Malformed},
        {"truncated header", (v + t + row + e).substr(0, (v + t + row).size() + 3),
         Kind::Malformed},
        {"length past the output",
         v + t +
             std::string("C\0\0\x03\xE8"
                         "ab",
                         7),
         Kind::Malformed},
        {"length near 4 GiB",
         v + t +
             std::string("C\xFF\xFF\xFF\xFF"
                         "ab",
                         7),
         Kind::Malformed},
        {"unknown record", v + t + record('X', "") + row + e, Kind::Malformed},
        {"table not asked for", v + record('T', "tblY") + row + e, Kind::Malformed},
        {"one table more", v + t + row + t + row + e, Kind::Malformed},
        {"table missing", v + e, Kind::Malformed},
        {"partial row", v + t + row + record('C', "c") + e, Kind::Malformed},
        {"cell outside a table", v + row + t + e, Kind::Malformed},
        {"bytes after the end", v + t + row + e + "x", Kind::Malformed},
        {"end with a payload", v + t + row + record('E', "x"), Kind::Malformed},
        {"failure not last", v + failure + e, Kind::Malformed},
        {"failure without its number", v + record('F', "ab"), Kind::Malformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MdbFrames::Parsed parsed = MdbFrames::parse(c.output, expected);
        EXPECT_EQ(parsed.kind, c.kind) << parsed.text;
        // The same output arriving one byte at a time reads the same.
        MdbFrames::Stream stream(expected);
        std::size_t rows = 0;
        for (char byte : c.output)
            stream.feed(std::string_view(&byte, 1),
                        [&rows](std::size_t, std::vector<MdbFrames::Cell>&) { ++rows; });
        const MdbFrames::Stream::State state = stream.finish();
        EXPECT_EQ(state == MdbFrames::Stream::State::Complete  ? Kind::Complete
                  : state == MdbFrames::Stream::State::Failure ? Kind::Failure
                                                               : Kind::Malformed,
                  c.kind);
        if (c.kind == Kind::Complete) {
            EXPECT_EQ(parsed.tables.at(0).name, "tblX");
            EXPECT_EQ(rows, parsed.tables.at(0).rows.size());
        }
    }
    const MdbFrames::Parsed whole = MdbFrames::parse(v + t + row + e, expected);
    EXPECT_EQ(whole.tables.at(0).rows, (std::vector<std::vector<MdbFrames::Cell>>{{"a", "b"}}));
    const MdbFrames::Parsed withNull =
        MdbFrames::parse(v + t + record('C', "") + record('N', "") + e, expected);
    EXPECT_EQ(withNull.tables.at(0).rows,
              (std::vector<std::vector<MdbFrames::Cell>>{{"", std::nullopt}}));
    const MdbFrames::Parsed failed = MdbFrames::parse(v + t + row + failure, expected);
    EXPECT_EQ(failed.number, 3078);
    EXPECT_EQ(failed.text, "sem tabela");
}

TEST(MdbChild, ReadsNamedColumnsOfSeveralTables) {
    // Columns by name, in any letter case; a NULL text is null, a
    // zero-length one empty; Yes/No as 1 or 0.
    const QList<MdbChild::Rows> tables = MdbChild::readTables(
        fixture("legacy-dadav.mdb"),
        {{QStringLiteral("tblContador"),
          {Column::named(QStringLiteral("cont_cpf_cnpj")),
           Column::named(QStringLiteral("cont_razao_nome")),
           Column::named(QStringLiteral("cont_dsc_complemento"))}},
         {QStringLiteral("tblContribuinte"),
          {Column::named(QStringLiteral("ie")), Column::named(QStringLiteral("RazaoSocial")),
           Column::named(QStringLiteral("CNPJ")), Column::named(QStringLiteral("CCM")),
           Column::named(QStringLiteral("OptanteSimples"))}}});
    const auto row = [](std::initializer_list<const char*> cells) {
        QStringList r;
        for (const char* c : cells)
            r << QString::fromUtf8(c);
        return r;
    };
    ASSERT_EQ(tables.size(), 2);
    EXPECT_THAT(tables[0], ElementsAre(row({"123.456.789-09", "Márcia Gonçalves Contabilidade",
                                            "Sala 1204, 12º andar"})));
    EXPECT_THAT(
        tables[1],
        ElementsAre(
            row({"78045302", "Padaria São João Ltda", "11.222.333/0001-81", "0.123.456-7", "1"}),
            row({"86123452", "D'Ávila Comércio de Roupas Ltda", "04.567.891/0001-13", "", "0"}),
            row({"87206416", "Tecnologia Ômega Sistemas S.A. ", "33.184.762/0001-44", "", "0"})));
    const QString zeroLength = tables[1].at(1).at(3);
    const QString null = tables[1].at(2).at(3);
    EXPECT_TRUE(zeroLength.isEmpty() && !zeroLength.isNull());
    EXPECT_TRUE(null.isNull());
    int nulls = 0;
    for (const QStringList& r : tables[1])
        nulls += static_cast<int>(
            std::count_if(r.begin(), r.end(), [](const QString& cell) { return cell.isNull(); }));
    EXPECT_EQ(nulls, 1) << "the Yes/No column of the imported row is No, not NULL";
}

TEST(MdbChild, ReadsTheColumnNamesOfATable) {
    Request names{QStringLiteral("tblcontribuinte"), {}, true};
    const QList<MdbChild::Rows> tables = MdbChild::readTables(fixture("legacy-dadav.mdb"), {names});
    QStringList columns;
    for (const QStringList& r : tables.at(0))
        columns << r.at(0);
    EXPECT_EQ(columns,
              QStringList({QStringLiteral("IE"), QStringLiteral("RazaoSocial"),
                           QStringLiteral("Cnpj"), QStringLiteral("Cnae"), QStringLiteral("Chave"),
                           QStringLiteral("CCM"), QStringLiteral("OptanteSimples")}));
}

TEST(MdbChild, EveryFaultIsOneErrorAndTheClientGoesOn) {
    const Request exportTable{QStringLiteral("tblContribuinte"), {Column::at(0), Column::at(3)}};
    MdbChild::Limits smallOutput;
    smallOutput.outputBytes = 100;
    MdbChild::Limits fewRows;
    fewRows.rows = 5; // the export has six
    MdbChild::Limits littleMemory;
    littleMemory.memoryBytes = quint64(1) << 20; // less than its libraries take

    struct Case {
        const char* what;
        QString file;
        Request request;
        MdbChild::Limits limits;
        qint32 number;
    };
    const Case cases[] = {
        {"the Access library crashes on a damaged file",
         fixture("damaged-export.mdb"),
         exportTable,
         {},
         MdbFrames::kNotAccessFile},
        {"output over its bound", fixture("novagia-export.mdb"), exportTable, smallOutput,
         MdbFrames::kNotAccessFile},
        {"rows over their bound", fixture("novagia-export.mdb"), exportTable, fewRows,
         MdbFrames::kNotAccessFile},
        {"memory limit below what the child needs to start", fixture("novagia-export.mdb"),
         exportTable, littleMemory, MdbFrames::kNotAccessFile},
        {"no such table",
         fixture("legacy-dadav.mdb"),
         {QStringLiteral("tblEmpresa"), {Column::at(0)}},
         {},
         MdbFrames::kTableNotFound},
        {"no such column",
         fixture("legacy-dadav.mdb"),
         {QStringLiteral("tblContador"), {Column::named(QStringLiteral("cont_fax"))}},
         {},
         MdbFrames::kColumnNotFound},
        {"position past the last column",
         fixture("novagia-export.mdb"),
         {QStringLiteral("tblContribuinte"), {Column::at(4)}},
         {},
         MdbFrames::kColumnNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            MdbChild::readTables(c.file, {c.request}, c.limits);
            ADD_FAILURE() << "read without error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << e.description().toStdString();
        }
    }
    // And the good file still reads after all that.
    EXPECT_EQ(MdbChild::readTables(fixture("novagia-export.mdb"), {exportTable}).at(0).size(), 6);
}

TEST(MdbChild, AMissingReaderIsReportedAsSuch) {
    const QString installed = MdbChild::program();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MdbChild::setProgram(dir.filePath(QString::fromLatin1(MdbChild::kProgramName)));
    try {
        MdbChild::readTables(fixture("novagia-export.mdb"),
                             {{QStringLiteral("tblContribuinte"), {Column::at(0)}}});
        ADD_FAILURE() << "read without its reader";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), MdbChild::kHelperMissing);
    }
    MdbChild::setProgram(installed);
}

// The children of this process whose program is `program`, from /proc.
std::vector<pid_t> childrenRunning(const std::string& program) {
    std::vector<pid_t> found;
    for (const QFileInfo& entry : QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs)) {
        bool isPid = false;
        const pid_t pid = entry.fileName().toInt(&isPid);
        if (!isPid)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        int parent = 0;
        char state = 0;
        std::istringstream(line.substr(close + 1)) >> state >> parent;
        if (parent == ::getpid() &&
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath().toStdString() ==
                program)
            found.push_back(pid);
    }
    return found;
}

// "Max address space  <soft>  <hard>  bytes" and its like, as text.
std::string limitLine(pid_t pid, const std::string& name) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);) {
        if (line.rfind(name, 0) == 0) {
            std::istringstream fields(line.substr(name.size()));
            std::string soft, hard;
            fields >> soft >> hard;
            return soft + " " + hard;
        }
    }
    return "not found";
}

TEST(MdbChild, AHangingChildRunsUnderItsLimitsAndIsKilledAtTheTimeOut) {
    // A pipe that nobody writes: opening it blocks, as a network share that
    // stopped answering would.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("export.mdb"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0) << std::strerror(errno);
    MdbChild::Limits limits;
    limits.timeout = std::chrono::milliseconds(1500);
    limits.memoryBytes = quint64(96) << 20;

    const std::string program = QFileInfo(MdbChild::program()).canonicalFilePath().toStdString();
    std::atomic<bool> done{false};
    pid_t seen = 0;
    std::string space, core;
    std::thread watcher([&] {
        while (!done && seen == 0) {
            for (pid_t pid : childrenRunning(program)) {
                seen = pid;
                space = limitLine(pid, "Max address space");
                core = limitLine(pid, "Max core file size");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    try {
        MdbChild::readTables(fifo, {{QStringLiteral("tblContribuinte"), {Column::at(0)}}}, limits);
        ADD_FAILURE() << "read without error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), MdbFrames::kNotAccessFile);
    }
    done = true;
    watcher.join();

    ASSERT_NE(seen, 0) << "the child was never seen running";
    EXPECT_EQ(space, "100663296 100663296");
    EXPECT_EQ(core, "0 0");
    EXPECT_TRUE(::kill(seen, 0) == -1 && errno == ESRCH) << "the child is gone";
}

} // namespace
