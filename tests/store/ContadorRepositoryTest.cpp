// Statements on the accountant table: what each one leaves in the file.
#include "store/ContadorRepository.h"
#include "StoreTestSupport.h"
#include "store/DbError.h"

namespace {

ContadorRow fullRow() {
    return ContadorRow{
        QStringLiteral("123.456.789-09"),
        QStringLiteral("RJ-098765/O-3"),
        QStringLiteral("Márcia D'Ávila"),
        QStringLiteral("Rua Visconde de Pirajá"),
        QStringLiteral("550"),
        QStringLiteral("Sala 1204, 12º andar"),
        QStringLiteral("Ipanema"),
        QStringLiteral("Rio de Janeiro"),
        QStringLiteral("RJ"),
        QStringLiteral("____-____"),
        QStringLiteral("22410-002"),
        QStringLiteral("marcia@contabil.example"),
    };
}

} // namespace

using ContadorRepositoryTest = EngineStoreTest;

TEST_P(ContadorRepositoryTest, EmptyTableHasNoAccountant) {
    LocalDb& db = openDb();
    EXPECT_FALSE(selectContador(db).has_value());
    EXPECT_EQ(countContador(db), 0);
    EXPECT_EQ(DadosContador(db), QString());
}

TEST_P(ContadorRepositoryTest, ReplaceStoresEveryColumnAsGivenAndKeepsOneRow) {
    LocalDb& db = openDb();
    ContadorRow first = fullRow();
    replaceContador(db, first);
    EXPECT_EQ(selectContador(db), first);

    ContadorRow second = fullRow();
    second.cont_cpf_cnpj = QStringLiteral("11.222.333/0001-81");
    second.cont_razao_nome = QStringLiteral("Outro Escritório");
    replaceContador(db, second);
    EXPECT_EQ(countContador(db), 1);
    EXPECT_EQ(selectContador(db), second);

    // The apostrophe is stored once; masks keep their "_" placeholders.
    replaceContador(db, first);
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT cont_razao_nome FROM tblContador")).toString(),
              QStringLiteral("Márcia D'Ávila"));
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT cont_num_telefone FROM tblContador")).toString(),
              QStringLiteral("____-____"));
}

TEST_P(ContadorRepositoryTest, EmptyFieldsAreStoredAsEmptyTextNotNull) {
    LocalDb& db = openDb();
    ContadorRow row;
    row.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    row.cont_dsc_complemento = QString(); // a field the user never touched
    replaceContador(db, row);
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT count(*) FROM tblContador WHERE "
                                        "cont_dsc_complemento = '' AND cont_email = ''"))
                  .toInt(),
              1);
}

TEST_P(ContadorRepositoryTest, FailedReplaceKeepsTheAccountantOnFile) {
    LocalDb& db = openDb();
    replaceContador(db, fullRow());
    refuseInserts(db, QStringLiteral("tblContador"));
    ContadorRow other = fullRow();
    other.cont_razao_nome = QStringLiteral("Não deve ficar");
    try {
        replaceContador(db, other);
        ADD_FAILURE() << "the refused insert was reported as success";
    } catch (const DbError& e) {
        EXPECT_EQ(e.source(), QStringLiteral("replaceContador"));
        ASSERT_FALSE(e.errors().isEmpty());
        EXPECT_TRUE(e.errors().front().description.contains(QStringLiteral("recusado")));
        if (GetParam() == LocalDb::Engine::Postgresql) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("127.0.0.1:")))
                << e.description().toStdString();
        }
    }
    EXPECT_EQ(countContador(db), 1);
    EXPECT_EQ(selectContador(db), fullRow());

    // The connection is usable again after the rollback.
    allowInserts(db, QStringLiteral("tblContador"));
    replaceContador(db, other);
    EXPECT_EQ(selectContador(db), other);
}

TEST_P(ContadorRepositoryTest, DeleteRemovesTheAccountant) {
    LocalDb& db = openDb();
    replaceContador(db, fullRow());
    deleteContador(db);
    EXPECT_EQ(countContador(db), 0);
    EXPECT_EQ(DadosContador(db), QString());
}

TEST_P(ContadorRepositoryTest, DadosContadorStripsDotsDashesAndSlashesOnly) {
    struct Case {
        QString stored;
        QString document;
    };
    const Case cases[] = {
        {QStringLiteral("123.456.789-09"), QStringLiteral("12345678909")},
        {QStringLiteral("11.222.333/0001-81"), QStringLiteral("11222333000181")},
        {QStringLiteral("12.ABC.345/01DE-35"), QStringLiteral("12ABC34501DE35")},
        {QStringLiteral("___.___.___-__"), QStringLiteral("___________")},
        {QStringLiteral(" 123 "), QStringLiteral(" 123 ")},
    };
    LocalDb& db = openDb();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        ContadorRow row;
        row.cont_cpf_cnpj = c.stored;
        replaceContador(db, row);
        EXPECT_EQ(DadosContador(db), c.document);
    }
}

DADAV_ON_BOTH_ENGINES(ContadorRepositoryTest);

TEST_P(ContadorRepositoryTest, TwoDesksReplacingAtOnceLeaveOneOfTheirRows) {
    LocalDb& db = openDb(); // the tables exist before the desks start
    const QStringList outputs =
        twoDesks({QStringLiteral("replace"), QStringLiteral("A"), QStringLiteral("150")},
                 {QStringLiteral("replace"), QStringLiteral("B"), QStringLiteral("150")});
    // Never two rows at once, not even for a moment between two replaces.
    EXPECT_EQ(outputs.join(u'|').toStdString(),
              "substituido=150 maximo=1\n|substituido=150 maximo=1\n");
    EXPECT_EQ(countContador(db), 1);
    const std::optional<ContadorRow> row = selectContador(db);
    ASSERT_TRUE(row.has_value());
    EXPECT_TRUE(row->cont_razao_nome == QLatin1String("A 149") ||
                row->cont_razao_nome == QLatin1String("B 149"))
        << row->cont_razao_nome.toStdString();
}
