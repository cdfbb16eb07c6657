// Opening the local database: schema creation, refusal of foreign files,
// unusual folder names, a second instance and locked or unwritable files.
#include "StoreTestSupport.h"
#include "base/AppPaths.h"
#include "base/PrivateFiles.h"
#include "store/ContadorRepository.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseSettings.h"
#include "store/DbError.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QStringList>

#include <optional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QStringList columnsOf(LocalDb& db, const QString& table) {
    QSqlQuery query(db.database());
    EXPECT_TRUE(query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)));
    QStringList columns;
    while (query.next())
        columns << query.value(1).toString() + QLatin1Char(' ') + query.value(2).toString();
    return columns;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes a file immutable for as long as it lives, so that even root cannot
// write it (root ignores permission bits). Needs a file system with inode
// flags; isSet() tells whether it took.
class ImmutableFile {
public:
    explicit ImmutableFile(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY)) {
        m_set = m_fd >= 0 && setImmutable(true);
    }
    ~ImmutableFile() {
        if (m_set)
            setImmutable(false);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool isSet() const { return m_set; }

private:
    bool setImmutable(bool on) {
        int flags = 0;
        if (::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0)
            return false;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        return ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    int m_fd;
    bool m_set = false;
};

ContadorRow sampleContador(const QString& name) {
    ContadorRow row;
    row.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    row.cont_razao_nome = name;
    row.cont_num_telefone = QStringLiteral("____-____");
    return row;
}

} // namespace

using LocalDbTest = StoreTest;

TEST_F(LocalDbTest, CreatesAbsentFileWithBothTablesAndExactColumns) {
    ASSERT_FALSE(QFile::exists(dbPath()));
    LocalDb db(dbPath());
    EXPECT_EQ(detectDatabaseFile(dbPath()), DatabaseFileKind::Sqlite);
    EXPECT_EQ(
        columnsOf(db, QStringLiteral("tblContador")),
        (QStringList{"cont_cpf_cnpj TEXT", "cont_num_crc TEXT", "cont_razao_nome TEXT",
                     "cont_nom_endereco TEXT", "cont_num_predial TEXT", "cont_dsc_complemento TEXT",
                     "cont_nom_bairro TEXT", "cont_nom_cidade TEXT", "cont_nom_estado TEXT",
                     "cont_num_telefone TEXT", "cont_num_cep TEXT", "cont_email TEXT"}));
    EXPECT_EQ(columnsOf(db, QStringLiteral("tblContribuinte")),
              (QStringList{"IE TEXT", "RazaoSocial TEXT", "Cnpj TEXT", "Cnae TEXT", "Chave TEXT",
                           "CCM TEXT", "OptanteSimples INTEGER"}));
    EXPECT_EQ(countContador(db), 0);
}

TEST_F(LocalDbTest, EmptyFileIsInitialisedAndExistingDataIsKept) {
    {
        QFile empty(dbPath());
        ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    }
    {
        LocalDb db(dbPath());
        replaceContador(db, sampleContador(QStringLiteral("Primeira")));
    }
    LocalDb reopened(dbPath());
    ASSERT_TRUE(selectContador(reopened).has_value());
    EXPECT_EQ(selectContador(reopened)->cont_razao_nome, QStringLiteral("Primeira"));
}

TEST_F(LocalDbTest, ForeignFilesAreRefusedAndLeftUntouched) {
    const QString fixtures = QStringLiteral(DADAV_FIXTURES_DIR);
    ASSERT_TRUE(QFile::exists(QDir(fixtures).filePath(QStringLiteral("legacy-dadav.mdb"))))
        << "no fixtures in " << fixtures.toStdString();
    struct Case {
        const char* name;
        QByteArray content;
        DatabaseFileKind kind;
    };
    const Case cases[] = {
        {"legacy Access", readAll(QDir(fixtures).filePath(QStringLiteral("legacy-dadav.mdb"))),
         DatabaseFileKind::Access},
        {"text", QByteArray("[servidor]\r\nhost=x\r\n"), DatabaseFileKind::Unknown},
        {"short", QByteArray("SQLite"), DatabaseFileKind::Unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.content.isEmpty());
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("dadav.mdb"));
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        EXPECT_EQ(detectDatabaseFile(path), c.kind);
        try {
            LocalDb db(path);
            ADD_FAILURE() << "a foreign file was opened";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), DbError::kNotADatabaseNumber);
            // The program's own sentence, shown alone, naming the file.
            EXPECT_TRUE(e.isDiagnosed());
            EXPECT_EQ(e.description(), databaseFileProblem(path));
            EXPECT_TRUE(e.description().contains(path));
        }
        EXPECT_EQ(readAll(path), c.content);
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"dadav.mdb"});
    }

    // Something at the database's place that cannot be read as a file: the
    // start-up says so in words (databaseFileProblem), and so does every open.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("dadav.mdb"));
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_EQ(detectDatabaseFile(path), DatabaseFileKind::Unreadable);
    EXPECT_EQ(databaseFileProblem(path),
              QStringLiteral("O banco de dados %1 não pode ser lido: verifique se ele é um "
                             "arquivo e se o seu usuário tem permissão para lê-lo e gravá-lo. "
                             "Ele não foi alterado.")
                  .arg(path));
    EXPECT_THROW(LocalDb db(path), DbError);
    EXPECT_EQ(databaseFileProblem(folder.filePath(QStringLiteral("ausente.mdb"))), QString());
}

// In the user's own data folder the database, new or left by an earlier
// version, is the user's alone; in a portable folder it keeps what its owner
// gave it.
TEST_F(LocalDbTest, TheDatabaseIsTheUsersAloneInTheUsersDataFolder) {
    struct Case {
        const char* what;
        bool isPrivate;
        std::optional<QFile::Permissions> before; // nullopt: no file yet
        QFile::Permissions after;
    };
    const QFile::Permissions rw = QFile::ReadOwner | QFile::WriteOwner;
    const QFile::Permissions shared = rw | QFile::ReadGroup | QFile::ReadOther;
    const Case cases[] = {
        {"new, private", true, std::nullopt, rw},
        {"earlier version's, private", true, shared, rw},
        {"portable", false, shared | QFile::WriteGroup, shared | QFile::WriteGroup},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("dadav.mdb"));
        if (c.before) {
            LocalDb(path).exec(QStringLiteral("SELECT 1"), QStringLiteral("t"));
            ASSERT_TRUE(QFile::setPermissions(path, *c.before));
        }
        PrivateFiles::setApplicationFolderPrivate(c.isPrivate);
        {
            LocalDb db(path);
            db.exec(QStringLiteral("INSERT INTO tblContador (cont_cpf_cnpj) VALUES ('x')"),
                    QStringLiteral("t"));
        }
        PrivateFiles::setApplicationFolderPrivate(false);
        EXPECT_EQ(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                  c.after);
    }
}

TEST_F(LocalDbTest, FolderNamesWithBlanksAndSemicolonsWork) {
    for (const QString& sub :
         {QStringLiteral("Arquivos de Programas"), QStringLiteral("a;b"),
          QStringLiteral("Dbq=x;Uid=Admin;Pwd=;"), QStringLiteral("Contabilidade D'Ávila")}) {
        SCOPED_TRACE(sub.toStdString());
        ASSERT_TRUE(QDir(dir.path()).mkpath(sub));
        const QString path = QDir(dir.filePath(sub)).filePath(QStringLiteral("dadav.mdb"));
        {
            LocalDb db(path);
            replaceContador(db, sampleContador(sub));
        }
        ASSERT_TRUE(QFile::exists(path));
        LocalDb db(path);
        ASSERT_TRUE(selectContador(db).has_value());
        EXPECT_EQ(selectContador(db)->cont_razao_nome, sub);
    }
}

TEST_F(LocalDbTest, MissingFolderRaisesDbErrorWithTheEngineError) {
    try {
        LocalDb db(dir.filePath(QStringLiteral("nao-existe/dadav.mdb")));
        ADD_FAILURE() << "opened a file in a missing folder";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), 14); // cannot open
        ASSERT_EQ(e.errors().size(), 1);
        EXPECT_EQ(e.errors().front().source, QStringLiteral("QSQLITE"));
        EXPECT_FALSE(e.errors().front().description.isEmpty());
    }
}

TEST_F(LocalDbTest, SecondInstanceSeesWhatTheFirstWrote) {
    LocalDb first(dbPath());
    LocalDb second(dbPath());
    EXPECT_FALSE(selectContador(second).has_value());
    replaceContador(first, sampleContador(QStringLiteral("Escrita pela primeira")));
    ASSERT_TRUE(selectContador(second).has_value());
    EXPECT_EQ(selectContador(second)->cont_razao_nome, QStringLiteral("Escrita pela primeira"));
}

TEST_F(LocalDbTest, WriteWhileAnotherInstanceHoldsTheLockFailsAndLosesNothing) {
    LocalDb holder(dbPath());
    replaceContador(holder, sampleContador(QStringLiteral("Original")));
    LocalDb impatient(dbPath(), 50);
    {
        DbTransaction lock(holder, QStringLiteral("test"));
        try {
            replaceContador(impatient, sampleContador(QStringLiteral("Nova")));
            ADD_FAILURE() << "wrote while another instance held the lock";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), 5); // busy
            EXPECT_EQ(e.source(), QStringLiteral("replaceContador"));
            EXPECT_EQ(e.description(),
                      QStringLiteral("O banco de dados local %1 está ocupado com a gravação de "
                                     "outra janela ou outro programa; nada foi gravado. Tente de "
                                     "novo em instantes.")
                          .arg(dbPath()));
        }
    }
    EXPECT_EQ(countContador(impatient), 1);
    EXPECT_EQ(selectContador(impatient)->cont_razao_nome, QStringLiteral("Original"));
}

TEST_F(LocalDbTest, UnwritableFileRaisesDbErrorAndLosesNothing) {
    {
        LocalDb db(dbPath());
        replaceContador(db, sampleContador(QStringLiteral("Original")));
    }
    QFile file(dbPath());
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    std::optional<ImmutableFile> immutable; // root writes read-only files
    if (file.open(QIODevice::ReadWrite)) {
        file.close();
        immutable.emplace(dbPath());
        if (!immutable->isSet())
            GTEST_SKIP() << "running as root on a file system without immutable files";
    }

    LocalDb db(dbPath());
    EXPECT_THROW(replaceContador(db, sampleContador(QStringLiteral("Nova"))), DbError);
    EXPECT_THROW(deleteContador(db), DbError);
    EXPECT_EQ(selectContador(db)->cont_razao_nome, QStringLiteral("Original"));
}

TEST_F(LocalDbTest, SettingsWithoutAServerKeepTheFileAndUnusableOnesAreRefusedInWords) {
    struct Case {
        const char* ini;
        QString problem; // empty: the application folder's file is opened
    };
    const Case cases[] = {
        {"", {}},
        {"[servidor]\nhost=127.0.0.1\n", {}},
        {"[banco]\ntipo=sqlite\nhost=servidor\nnome=dadav\n", {}},
        {"[BANCO]\r\nTipo = SQLite\r\n", {}},
        {"[banco]\ntipo=oracle\nnome=dadav\n",
         QStringLiteral("O tipo de banco de dados \"oracle\" da seção [banco] de dadav.ini não "
                        "é conhecido; use tipo=sqlite ou tipo=postgresql.")},
        {"[banco]\ntipo=postgresql\nhost=servidor\nusuario=ana\n",
         QStringLiteral("A seção [banco] de dadav.ini pede um servidor PostgreSQL, mas não dá o "
                        "nome do banco (nome=).")},
        {"[banco]\ntipo=postgresql\nhost=servidor\nporta=54x2\nnome=dadav\n",
         QStringLiteral("A porta \"54x2\" da seção [banco] de dadav.ini não é um número de "
                        "porta válido.")},
        {"[banco]\ntipo=postgresql\nhost=servidor\nporta=70000\nnome=dadav\n",
         QStringLiteral("A porta \"70000\" da seção [banco] de dadav.ini não é um número de "
                        "porta válido.")},
    };
    AppPaths::setApplicationFolder(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        QFile::remove(AppPaths::databasePath());
        QFile ini(AppPaths::IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(c.ini);
        ini.close();
        try {
            LocalDb db;
            EXPECT_TRUE(c.problem.isEmpty()) << "opened despite the settings";
            EXPECT_EQ(db.engine(), LocalDb::Engine::Sqlite);
            EXPECT_EQ(db.path(), AppPaths::databasePath());
            EXPECT_EQ(countContador(db), 0);
        } catch (const DbError& e) {
            EXPECT_EQ(e.description(), c.problem);
            EXPECT_EQ(e.number(), DbError::kServerNumber);
            // A desk meant to share its data never quietly gets a file of its own.
            EXPECT_FALSE(QFile::exists(AppPaths::databasePath()));
        }
    }

    // A server without a port is asked on PostgreSQL's own.
    QFile ini(AppPaths::IniPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[banco]\ntipo=postgresql\nhost=servidor\nnome=dadav\n");
    ini.close();
    const DatabaseSettings::Settings settings = DatabaseSettings::read();
    EXPECT_EQ(settings.problem, QString());
    EXPECT_EQ(settings.engine, DatabaseSettings::Engine::Postgresql);
    EXPECT_EQ(settings.server.port, 5432);
}
