// Statements on the taxpayer table: what each one leaves in the file.
#include "store/ContribuinteRepository.h"
#include "StoreTestSupport.h"

namespace {

ContribuinteRow taxpayer(const QString& ie, const QString& name, std::optional<bool> simples) {
    return ContribuinteRow{ie,
                           name,
                           QStringLiteral("11.222.333/0001-81"),
                           QStringLiteral("4721-1/02"),
                           QStringLiteral("A7K2M9QX"),
                           QStringLiteral("0.123.456-7"),
                           simples};
}

QStringList ies(const QList<ContribuinteRow>& rows) {
    QStringList list;
    for (const ContribuinteRow& row : rows)
        list << row.IE;
    return list;
}

} // namespace

using ContribuinteRepositoryTest = StoreTest;

TEST_F(ContribuinteRepositoryTest, InsertStoresEveryColumnAsGiven) {
    LocalDb db(dbPath());
    const ContribuinteRow row =
        taxpayer(QStringLiteral("86123452"), QStringLiteral("D'Ávila Comércio"), true);
    insertContribuinte(db, row);
    EXPECT_EQ(findContribuinte(db, QStringLiteral("86123452")), row);
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT RazaoSocial FROM tblContribuinte")).toString(),
              QStringLiteral("D'Ávila Comércio"));
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT OptanteSimples FROM tblContribuinte")).toInt(), 1);

    insertContribuinte(db, taxpayer(QStringLiteral("78045302"), QStringLiteral("Padaria"), false));
    EXPECT_EQ(findContribuinte(db, QStringLiteral("78045302"))->OptanteSimples,
              std::optional<bool>(false));
}

TEST_F(ContribuinteRepositoryTest, CountAndFindByIe) {
    LocalDb db(dbPath());
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302")), 0);
    EXPECT_FALSE(findContribuinte(db, QStringLiteral("78045302")).has_value());
    insertContribuinte(db, taxpayer(QStringLiteral("78045302"), QStringLiteral("Padaria"), false));
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302")), 1);
    EXPECT_EQ(countContribuinte(db, QStringLiteral("7804530")), 0);
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302' OR '1'='1")), 0);
}

TEST_F(ContribuinteRepositoryTest, UpdateChangesNameCnaeCcmAndSimplesButNeverCnpjOrChave) {
    LocalDb db(dbPath());
    const ContribuinteRow before =
        taxpayer(QStringLiteral("78045302"), QStringLiteral("Padaria"), false);
    insertContribuinte(db, before);
    insertContribuinte(db, taxpayer(QStringLiteral("86123452"), QStringLiteral("Outra"), false));

    ContribuinteRow change{before.IE,
                           QStringLiteral("Padaria D'Ouro"),
                           QStringLiteral("99.999.999/9999-99"),
                           QStringLiteral("5611-2/01"),
                           QStringLiteral("ZZZZZZZZ"),
                           QString(),
                           true};
    EXPECT_EQ(updateContribuinte(db, change), 1);

    ContribuinteRow expected = before;
    expected.RazaoSocial = change.RazaoSocial;
    expected.Cnae = change.Cnae;
    expected.CCM = QString();
    expected.OptanteSimples = true;
    const auto after = findContribuinte(db, before.IE);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(*after, expected);
    EXPECT_EQ(after->RazaoSocial, QStringLiteral("Padaria D'Ouro"));
    EXPECT_EQ(findContribuinte(db, QStringLiteral("86123452"))->RazaoSocial,
              QStringLiteral("Outra"));

    change.IE = QStringLiteral("00000000");
    EXPECT_EQ(updateContribuinte(db, change), 0);
}

TEST_F(ContribuinteRepositoryTest, ListKeepsInsertionOrderAfterDeletes) {
    LocalDb db(dbPath());
    for (const char* ie : {"85340123", "78045302", "86123452", "77310088"})
        insertContribuinte(db, taxpayer(QString::fromLatin1(ie), QStringLiteral("X"), false));
    EXPECT_EQ(ies(listContribuintes(db)),
              (QStringList{"85340123", "78045302", "86123452", "77310088"}));

    EXPECT_EQ(deleteContribuinte(db, QStringLiteral("78045302")), 1);
    EXPECT_EQ(deleteContribuinte(db, QStringLiteral("78045302")), 0);
    EXPECT_EQ(deleteContribuinte(db, QStringLiteral("x' OR '1'='1")), 0);
    insertContribuinte(db, taxpayer(QStringLiteral("11111111"), QStringLiteral("Y"), false));
    EXPECT_EQ(ies(listContribuintes(db)),
              (QStringList{"85340123", "86123452", "77310088", "11111111"}));
}

TEST_F(ContribuinteRepositoryTest, ImportLeavesCcmAndSimplesNull) {
    LocalDb db(dbPath());
    ContribuinteRow imported =
        taxpayer(QStringLiteral("87206416"), QStringLiteral("Tecnologia Ômega S.A. "), true);
    imported.Chave = QString(); // key request not answered
    insertImportedContribuinte(db, imported);

    EXPECT_EQ(scalar(db, QStringLiteral("SELECT count(*) FROM tblContribuinte WHERE "
                                        "CCM IS NULL AND OptanteSimples IS NULL AND Chave = ''"))
                  .toInt(),
              1);
    const auto row = findContribuinte(db, QStringLiteral("87206416"));
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->RazaoSocial, QStringLiteral("Tecnologia Ômega S.A. "));
    EXPECT_EQ(row->Cnpj, imported.Cnpj);
    EXPECT_EQ(row->Cnae, imported.Cnae);
    EXPECT_EQ(row->CCM, QString());
    EXPECT_FALSE(row->OptanteSimples.has_value());
}
