// Converting an earlier installation's Access database: every value of the
// legacy file read back through the repositories, the original kept byte for
// byte under its dated name, a second start that converts nothing, and
// conversions that fail half-way leaving the original and nothing else.
#include "store/AccessConversion.h"
#include "StoreTestSupport.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/DatabaseFile.h"

#include "base/RuntimeError.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

#include <cerrno>

namespace {

using AccessConversion::Result;

const QDate kToday(2026, 12, 7);

QString fixture(const char* name) {
    return QDir(QStringLiteral(DADAV_FIXTURES_DIR)).filePath(QString::fromLatin1(name));
}

QByteArray hashOf(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

AccessConversion::Options on(const QDate& today) {
    AccessConversion::Options options;
    options.today = today;
    return options;
}

class AccessConversionTest : public StoreTest {
protected:
    // Copies a fixture as the application folder's database, optionally
    // changing bytes at `offset`, and returns its hash.
    QByteArray place(const char* name, qsizetype offset = -1, const QByteArray& bytes = {}) {
        QFile source(fixture(name));
        EXPECT_TRUE(source.open(QIODevice::ReadOnly));
        QByteArray data = source.readAll();
        if (offset >= 0)
            data.replace(offset, bytes.size(), bytes);
        QFile target(dbPath());
        EXPECT_TRUE(target.open(QIODevice::WriteOnly) && target.write(data) == data.size());
        return hashOf(dbPath());
    }

    // The folder's entries, hidden ones included, as "a, b".
    std::string files() const {
        return QDir(dir.path())
            .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)
            .join(QStringLiteral(", "))
            .toStdString();
    }
};

TEST_F(AccessConversionTest, CarriesEveryValueOverAndKeepsTheOriginal) {
    const QByteArray original = place("legacy-dadav.mdb");
    const Result result = AccessConversion::convertIfAccess(dbPath(), on(kToday));
    ASSERT_EQ(result.outcome, Result::Outcome::Converted) << result.error.toStdString();
    const QString aside = dir.filePath(QStringLiteral("dadav-access-20261207.mdb"));
    EXPECT_EQ(result.originalPath, aside);
    EXPECT_EQ(result.taxpayers, 3);
    EXPECT_TRUE(result.accountant);
    EXPECT_TRUE(result.missingColumns.isEmpty() && result.extraColumns.isEmpty());
    EXPECT_EQ(files(), "dadav-access-20261207.mdb, dadav.mdb");
    EXPECT_EQ(hashOf(aside), original);
    EXPECT_EQ(detectDatabaseFile(dbPath()), DatabaseFileKind::Sqlite);
    EXPECT_EQ(AccessConversion::message(result),
              QStringLiteral("O banco de dados do programa anterior foi convertido.\n\n"
                             "3 contribuintes trazidos.\nContador trazido.\n\n"
                             "O arquivo original foi guardado, sem alterações, em:\n") +
                  aside);

    {
        LocalDb db(dbPath());
        const ContadorRow contador{
            QStringLiteral("123.456.789-09"),
            QStringLiteral("RJ-098765/O-3"),
            QStringLiteral("Márcia Gonçalves Contabilidade"),
            QStringLiteral("Rua Visconde de Pirajá"),
            QStringLiteral("550"),
            QStringLiteral("Sala 1204, 12º andar"),
            QStringLiteral("Ipanema"),
            QStringLiteral("Rio de Janeiro"),
            QStringLiteral("RJ"),
            QStringLiteral("(21) 2512-3344"),
            QStringLiteral("22410-002"),
            QStringLiteral("marcia@contabil.example"),
        };
        EXPECT_EQ(selectContador(db), contador);
        EXPECT_EQ(countContador(db), 1);

        struct Taxpayer {
            ContribuinteRow row;
            const char* storedCcm; // typeof() of the stored CCM
        };
        const Taxpayer taxpayers[] = {
            {{QStringLiteral("78045302"), QStringLiteral("Padaria São João Ltda"),
              QStringLiteral("11.222.333/0001-81"), QStringLiteral("4721-1/02"),
              QStringLiteral("A7K2M9QX"), QStringLiteral("0.123.456-7"), true},
             "text"},
            {{QStringLiteral("86123452"), QStringLiteral("D'Ávila Comércio de Roupas Ltda"),
              QStringLiteral("04.567.891/0001-13"), QStringLiteral("4781-4/00"),
              QStringLiteral("Z3P8W1RT"), QString(), false},
             "text"},
            {{QStringLiteral("87206416"), QStringLiteral("Tecnologia Ômega Sistemas S.A. "),
              QStringLiteral("33.184.762/0001-44"), QStringLiteral("6201-5/01"),
              QStringLiteral("H5N4C6DB"), QString(), false},
             "null"},
        };
        const QList<ContribuinteRow> rows = listContribuintes(db);
        ASSERT_EQ(rows.size(), 3);
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const Taxpayer& t = taxpayers[i];
            SCOPED_TRACE(t.row.IE.toStdString());
            EXPECT_EQ(rows[i], t.row);
            EXPECT_EQ(findContribuinte(db, t.row.IE), t.row);
            EXPECT_EQ(scalar(db, QStringLiteral("SELECT typeof(CCM) FROM tblContribuinte "
                                                "WHERE IE = '%1'")
                                     .arg(t.row.IE))
                          .toString()
                          .toStdString(),
                      t.storedCcm);
        }
    }

    // A second start finds the SQLite file and leaves everything as it is.
    const QByteArray converted = hashOf(dbPath());
    EXPECT_EQ(AccessConversion::convertIfAccess(dbPath(), on(kToday)).outcome,
              Result::Outcome::NotNeeded);
    EXPECT_EQ(hashOf(dbPath()), converted);
    EXPECT_EQ(files(), "dadav-access-20261207.mdb, dadav.mdb");
}

TEST_F(AccessConversionTest, AnOriginalNameAlreadyTakenIsNotOverwritten) {
    QFile earlier(dir.filePath(QStringLiteral("dadav-access-20261207.mdb")));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("anterior") == 8);
    earlier.close();
    const QByteArray original = place("legacy-dadav.mdb");
    const Result result = AccessConversion::convertIfAccess(dbPath(), on(kToday));
    ASSERT_EQ(result.outcome, Result::Outcome::Converted) << result.error.toStdString();
    EXPECT_EQ(result.originalPath, dir.filePath(QStringLiteral("dadav-access-20261207-2.mdb")));
    EXPECT_EQ(hashOf(result.originalPath), original);
    EXPECT_EQ(hashOf(earlier.fileName()),
              QCryptographicHash::hash("anterior", QCryptographicHash::Sha256).toHex());
}

TEST_F(AccessConversionTest, ColumnsAreFoundByName) {
    // The fixture with its column "CCM" renamed "CCX" (the name is stored
    // once, in UTF-16): CCM is missing and stored empty, CCX is left out.
    place("legacy-dadav.mdb", 114994, QByteArray("X", 1));
    const Result result = AccessConversion::convertIfAccess(dbPath(), on(kToday));
    ASSERT_EQ(result.outcome, Result::Outcome::Converted) << result.error.toStdString();
    EXPECT_EQ(result.missingColumns, QStringList{QStringLiteral("tblContribuinte.CCM")});
    EXPECT_EQ(result.extraColumns, QStringList{QStringLiteral("tblContribuinte.CCX")});
    EXPECT_TRUE(AccessConversion::message(result).contains(
        QStringLiteral("Colunas ausentes no banco anterior (gravadas vazias): "
                       "tblContribuinte.CCM.\n\nColunas do banco anterior não trazidas: "
                       "tblContribuinte.CCX.\n")));
    LocalDb db(dbPath());
    EXPECT_EQ(
        scalar(db, QStringLiteral("SELECT count(*) FROM tblContribuinte WHERE CCM = ''")).toInt(),
        3);
    EXPECT_EQ(findContribuinte(db, QStringLiteral("78045302"))->Chave, QStringLiteral("A7K2M9QX"));
}

TEST_F(AccessConversionTest, AFailedConversionLeavesTheOriginalAndNoNewFile) {
    struct Case {
        const char* what;
        const char* file;
        int failAtRow; // 0: no fault injected
        const char* error;
        void (*adjust)(AccessConversion::Options&) = nullptr;
    };
    const Case cases[] = {
        {"a fault between two rows", "legacy-dadav.mdb", 3, "falha no meio"},
        {"a fault before the first row", "legacy-dadav.mdb", 1, "falha no meio"},
        {"no accountant table", "novagia-export.mdb", 0, "Tabela tblContador não encontrada"},
        {"a file the Access library cannot read", "damaged-export.mdb", 0, ""},
        {"more rows than the reading allows", "legacy-dadav.mdb", 0, "linhas demais",
         [](AccessConversion::Options& o) {
             o.reading.rows = 3;
         }},
        {"the last rename, after the original was linked aside", "legacy-dadav.mdb", 0,
         "não foi possível renomear o banco convertido",
         [](AccessConversion::Options& o) {
             o.renameInto = [](const char*, const char*) {
                 errno = EIO;
                 return -1;
             };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray original = place(c.file);
        AccessConversion::Options options = on(kToday);
        if (c.adjust)
            c.adjust(options);
        int row = 0;
        options.beforeRow = [&row, &c] {
            if (++row == c.failAtRow)
                throw RuntimeError(1, QStringLiteral("teste"), QStringLiteral("falha no meio"));
        };
        const Result result = AccessConversion::convertIfAccess(dbPath(), options);
        EXPECT_EQ(result.outcome, Result::Outcome::Failed);
        EXPECT_TRUE(result.error.contains(QString::fromUtf8(c.error)))
            << result.error.toStdString();
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_EQ(files(), "dadav.mdb");
        EXPECT_EQ(hashOf(dbPath()), original);
        EXPECT_TRUE(AccessConversion::message(result).contains(
            QStringLiteral("não pôde ser convertido: %1.\n\nO arquivo original não foi alterado.")
                .arg(result.error)));
        QFile::remove(dbPath());
    }
}

// Runs a command as the unprivileged user 65534 (setpriv, util-linux);
// returns its exit code and, in output, what it printed.
int runUnprivileged(const QStringList& command, QByteArray* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("setpriv"),
                  QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                              QStringLiteral("--clear-groups")} +
                      command);
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST_F(AccessConversionTest, AReadOnlyFolderLeavesTheOriginal) {
    if (::geteuid() == 0) {
        // Root writes through a folder's permissions. Where an unprivileged
        // user can reach this build and the fixtures, the test runs again as
        // that user and must pass there; elsewhere the new file's name is
        // taken by a folder, which no permission lets the conversion replace.
        const QString self = QCoreApplication::applicationFilePath();
        const bool reachable = runUnprivileged({QStringLiteral("test"), QStringLiteral("-x"), self,
                                                QStringLiteral("-a"), QStringLiteral("-r"),
                                                fixture("legacy-dadav.mdb")}) == 0;
        if (reachable) {
            QByteArray output;
            EXPECT_EQ(runUnprivileged({self, QStringLiteral("--gtest_filter=AccessConversionTest."
                                                            "AReadOnlyFolderLeavesTheOriginal")},
                                      &output),
                      0)
                << output.constData();
            EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
            return;
        }
        const QByteArray original = place("legacy-dadav.mdb");
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("dadav.mdb.convertendo/x")));
        const Result result = AccessConversion::convertIfAccess(dbPath(), on(kToday));
        EXPECT_EQ(result.outcome, Result::Outcome::Failed);
        EXPECT_EQ(files(), "dadav.mdb, dadav.mdb.convertendo");
        EXPECT_EQ(hashOf(dbPath()), original);
        return;
    }
    const QByteArray original = place("legacy-dadav.mdb");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const Result result = AccessConversion::convertIfAccess(dbPath(), on(kToday));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(result.outcome, Result::Outcome::Failed);
    // The reason in the user's words, not the engine's.
    EXPECT_EQ(result.error,
              QStringLiteral("não foi possível criar o banco convertido na pasta %1 (sem "
                             "permissão de gravação na pasta)")
                  .arg(dir.path()));
    EXPECT_EQ(files(), "dadav.mdb");
    EXPECT_EQ(hashOf(dbPath()), original);
}

} // namespace
