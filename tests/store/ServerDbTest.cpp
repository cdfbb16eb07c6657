// The database server as a whole: chosen by the settings, tables created once
// and versioned, failures to connect told in Portuguese naming the server,
// and the copy of a local SQLite file into an empty server database.
#include "StoreTestSupport.h"
#include "base/AppPaths.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/DatabaseCopy.h"
#include "store/DbError.h"

#include <QTcpServer>

namespace {

class ServerDbTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        AppPaths::setApplicationFolder(dir.path());
        server = PgTestServer::createDatabase();
        ASSERT_FALSE(HasFailure());
    }
    void TearDown() override {
        if (server.port != 0)
            PgTestServer::dropDatabase(server);
    }

    void writeIni(const QByteArray& content) {
        QFile f(AppPaths::IniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

    void pointSettingsAtServer() {
        writeIni(QStringLiteral("[servidor]\r\nhost=127.0.0.1\r\n[banco]\r\ntipo=postgresql\r\n"
                                "host=127.0.0.1\r\nporta=%1\r\nnome=%2\r\nusuario=dadav\r\n")
                     .arg(server.port)
                     .arg(server.databaseName)
                     .toUtf8());
    }

    ContribuinteRow taxpayer(const QString& ie) {
        return ContribuinteRow{ie,
                               QStringLiteral("Comércio D'Ávila"),
                               QStringLiteral("11.222.333/0001-81"),
                               QStringLiteral("4721-1/02"),
                               QStringLiteral("A7K2M9QX"),
                               QStringLiteral("0.123.456-7"),
                               true};
    }

    DatabaseSettings::Server server;
};

// A port nothing listens on.
quint16 closedPort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost));
    return probe.serverPort();
}

} // namespace

TEST_F(ServerDbTest, TwoClientsNamedBySettingsShareOneDatabaseAndNoFileIsMade) {
    pointSettingsAtServer();
    LocalDb desk1;
    LocalDb desk2;
    EXPECT_EQ(desk1.engine(), LocalDb::Engine::Postgresql);
    EXPECT_EQ(desk1.path(), server.describe());
    insertContribuinte(desk1, taxpayer(QStringLiteral("78045302")));
    ContadorRow accountant;
    accountant.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    replaceContador(desk2, accountant);

    // What one desk wrote, the other reads at its next look.
    EXPECT_EQ(listContribuintes(desk2), QList<ContribuinteRow>{taxpayer("78045302")});
    EXPECT_EQ(DadosContador(desk1), QStringLiteral("12345678909"));
    EXPECT_FALSE(QFile::exists(AppPaths::databasePath()));
}

TEST_F(ServerDbTest, TablesAreCreatedOnceWithTheirVersionAndThoseOfANewerProgramRefused) {
    {
        LocalDb first(server);
        insertContribuinte(first, taxpayer(QStringLiteral("78045302")));
    }
    {
        LocalDb again(server);
        EXPECT_EQ(scalar(again, QStringLiteral("SELECT count(*) FROM tblContribuinte")).toInt(), 1);
        EXPECT_EQ(scalar(again, QStringLiteral("SELECT string_agg(versao::text, ',') "
                                               "FROM dadav_esquema"))
                      .toString(),
                  QString::number(LocalDb::kServerSchemaVersion));
        EXPECT_EQ(scalar(again, QStringLiteral("SELECT count(*) FROM pg_indexes WHERE tablename "
                                               "= 'tblcontribuinte' AND indexdef LIKE "
                                               "'%lower(ie)%'"))
                      .toInt(),
                  1);
        run(again, QStringLiteral("UPDATE dadav_esquema SET versao = 99"));
    }
    try {
        LocalDb db(server);
        ADD_FAILURE() << "tables of a newer program were opened";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), DbError::kServerNumber);
        EXPECT_EQ(e.description(),
                  QStringLiteral("As tabelas do servidor de banco de dados %1 são de uma versão "
                                 "mais nova do programa (versão 99); atualize o programa nesta "
                                 "estação.")
                      .arg(server.describe()));
    }
}

TEST_F(ServerDbTest, ConnectionFailuresNameTheServerInPortugueseNeverTheDriver) {
    struct Case {
        const char* what;
        DatabaseSettings::Server target;
    };
    DatabaseSettings::Server noServer = server;
    noServer.port = closedPort();
    DatabaseSettings::Server noDatabase = server;
    noDatabase.databaseName = QStringLiteral("nao_existe");
    DatabaseSettings::Server noUser = server;
    noUser.user = QStringLiteral("ninguem");
    const Case cases[] = {
        {"closed port", noServer}, {"unknown database", noDatabase}, {"unknown user", noUser}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            LocalDb db(c.target, 2000);
            ADD_FAILURE() << "opened";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), DbError::kServerNumber);
            EXPECT_EQ(e.source(), QStringLiteral("LocalDb"));
            EXPECT_EQ(e.description(),
                      QStringLiteral("Não foi possível conectar ao servidor de banco de dados "
                                     "PostgreSQL %1 como usuário \"%2\". Verifique a seção "
                                     "[banco] de dadav.ini, a senha em ~/.pgpass e se o "
                                     "servidor está ligado e aceita conexões.")
                          .arg(c.target.describe(), c.target.user));
            // The server's own words stay in the list the error report prints.
            ASSERT_EQ(e.errors().size(), 1);
            EXPECT_EQ(e.errors().front().source, QStringLiteral("QPSQL"));
            EXPECT_FALSE(e.errors().front().description.isEmpty());
        }
    }
}

TEST_F(ServerDbTest, CopyCarriesEveryRowAndValueIntoAnEmptyServerDatabase) {
    ContadorRow accountant;
    accountant.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    accountant.cont_razao_nome = QStringLiteral("Márcia D'Ávila");
    ContribuinteRow imported = taxpayer(QStringLiteral("AB-77"));
    {
        LocalDb local(dbPath());
        replaceContador(local, accountant);
        for (const char* ie : {"85340123", "78045302", "86123452"})
            insertContribuinte(local, taxpayer(QString::fromLatin1(ie)));
        insertImportedContribuinte(local, imported);
        deleteContribuinte(local, QStringLiteral("78045302"));
    }
    pointSettingsAtServer();
    const DatabaseCopy::Outcome outcome = DatabaseCopy::copyLocalToServer();
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.message,
              QStringLiteral("O banco local %1 foi copiado para o servidor de banco de dados %2: "
                             "1 contador e 3 empresas.\n")
                  .arg(dbPath(), server.describe()));

    LocalDb copy(server);
    EXPECT_EQ(selectContador(copy), accountant);
    imported.CCM = QString();
    imported.OptanteSimples = std::nullopt;
    EXPECT_EQ(listContribuintes(copy),
              (QList<ContribuinteRow>{taxpayer("85340123"), taxpayer("86123452"), imported}));
    // Values the import left NULL stay NULL.
    EXPECT_EQ(scalar(copy, QStringLiteral("SELECT count(*) FROM tblContribuinte WHERE "
                                          "CCM IS NULL AND OptanteSimples IS NULL"))
                  .toInt(),
              1);
    // Rows registered later on the server follow the copied ones.
    insertContribuinte(copy, taxpayer(QStringLiteral("11111111")));
    EXPECT_EQ(listContribuintes(copy).back().IE, QStringLiteral("11111111"));
}

TEST_F(ServerDbTest, CopyRefusesATargetWithDataAndSettingsWithoutAServer) {
    {
        LocalDb local(dbPath());
        insertContribuinte(local, taxpayer(QStringLiteral("85340123")));
    }
    {
        LocalDb target(server);
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = QStringLiteral("1");
        replaceContador(target, accountant);
    }
    pointSettingsAtServer();
    DatabaseCopy::Outcome outcome = DatabaseCopy::copyLocalToServer();
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.message,
              QStringLiteral("O banco %1 do servidor já tem dados; a cópia só é feita para um "
                             "banco vazio. Nada foi copiado.\n")
                  .arg(server.describe()));
    {
        LocalDb target(server);
        EXPECT_EQ(countContador(target), 1);
        EXPECT_TRUE(listContribuintes(target).isEmpty());
    }

    writeIni("[banco]\r\ntipo=sqlite\r\n");
    outcome = DatabaseCopy::copyLocalToServer();
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.message,
              QStringLiteral("A seção [banco] de dadav.ini não indica um servidor PostgreSQL "
                             "(tipo=postgresql, host, porta, nome, usuario); não há para onde "
                             "copiar o banco local.\n"));
}

TEST_F(ServerDbTest, AWriteWaitingTooLongForAnotherDeskIsToldInWordsAndLosesNothing) {
    LocalDb holder(server);
    ContadorRow original;
    original.cont_razao_nome = QStringLiteral("Original");
    replaceContador(holder, original);
    LocalDb impatient(server, 50);
    {
        DbTransaction lock(holder, QStringLiteral("test"), {"tblContador"});
        ContadorRow other;
        other.cont_razao_nome = QStringLiteral("Nova");
        try {
            replaceContador(impatient, other);
            ADD_FAILURE() << "wrote while another desk held the lock";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), DbError::kServerNumber);
            EXPECT_EQ(e.source(), QStringLiteral("replaceContador"));
            EXPECT_EQ(e.description(),
                      QStringLiteral("O servidor de banco de dados %1 está ocupado com a gravação "
                                     "de outra estação; nada foi gravado. Tente de novo em "
                                     "instantes.")
                          .arg(server.describe()));
        }
    }
    EXPECT_EQ(countContador(impatient), 1);
    EXPECT_EQ(selectContador(impatient), original);
}
