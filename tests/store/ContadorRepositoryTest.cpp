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

using ContadorRepositoryTest = StoreTest;

TEST_F(ContadorRepositoryTest, EmptyTableHasNoAccountant) {
    LocalDb db(dbPath());
    EXPECT_FALSE(selectContador(db).has_value());
    EXPECT_EQ(countContador(db), 0);
    EXPECT_EQ(DadosContador(db), QString());
}

TEST_F(ContadorRepositoryTest, ReplaceStoresEveryColumnAsGivenAndKeepsOneRow) {
    LocalDb db(dbPath());
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

TEST_F(ContadorRepositoryTest, EmptyFieldsAreStoredAsEmptyTextNotNull) {
    LocalDb db(dbPath());
    ContadorRow row;
    row.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
    row.cont_dsc_complemento = QString(); // a field the user never touched
    replaceContador(db, row);
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT count(*) FROM tblContador WHERE "
                                        "cont_dsc_complemento = '' AND cont_email = ''"))
                  .toInt(),
              1);
}

TEST_F(ContadorRepositoryTest, FailedReplaceKeepsTheAccountantOnFile) {
    LocalDb db(dbPath());
    replaceContador(db, fullRow());
    run(db, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON tblContador "
                           "BEGIN SELECT RAISE(ABORT, 'recusado'); END"));
    ContadorRow other = fullRow();
    other.cont_razao_nome = QStringLiteral("Não deve ficar");
    try {
        replaceContador(db, other);
        ADD_FAILURE() << "the refused insert was reported as success";
    } catch (const DbError& e) {
        EXPECT_EQ(e.source(), QStringLiteral("replaceContador"));
        ASSERT_FALSE(e.errors().isEmpty());
        EXPECT_TRUE(e.errors().front().description.contains(QStringLiteral("recusado")));
    }
    EXPECT_EQ(countContador(db), 1);
    EXPECT_EQ(selectContador(db), fullRow());

    // The connection is usable again after the rollback.
    run(db, QStringLiteral("DROP TRIGGER refuse"));
    replaceContador(db, other);
    EXPECT_EQ(selectContador(db), other);
}

TEST_F(ContadorRepositoryTest, DeleteRemovesTheAccountant) {
    LocalDb db(dbPath());
    replaceContador(db, fullRow());
    deleteContador(db);
    EXPECT_EQ(countContador(db), 0);
    EXPECT_EQ(DadosContador(db), QString());
}

TEST_F(ContadorRepositoryTest, DadosContadorStripsDotsDashesAndSlashesOnly) {
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
    LocalDb db(dbPath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        ContadorRow row;
        row.cont_cpf_cnpj = c.stored;
        replaceContador(db, row);
        EXPECT_EQ(DadosContador(db), c.document);
    }
}
