// Statements on the taxpayer table: what each one leaves in the file.
#include "store/ContribuinteRepository.h"
#include "StoreTestSupport.h"
#include "store/DbError.h"

#include <QRegularExpression>

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

using ContribuinteRepositoryTest = EngineStoreTest;

TEST_P(ContribuinteRepositoryTest, InsertStoresEveryColumnAsGiven) {
    LocalDb& db = openDb();
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

TEST_P(ContribuinteRepositoryTest, CountAndFindByIe) {
    LocalDb& db = openDb();
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302")), 0);
    EXPECT_FALSE(findContribuinte(db, QStringLiteral("78045302")).has_value());
    insertContribuinte(db, taxpayer(QStringLiteral("78045302"), QStringLiteral("Padaria"), false));
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302")), 1);
    EXPECT_EQ(countContribuinte(db, QStringLiteral("7804530")), 0);
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302' OR '1'='1")), 0);
}

TEST_P(ContribuinteRepositoryTest, UpdateChangesNameCnaeCcmAndSimplesButNeverCnpjOrChave) {
    LocalDb& db = openDb();
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

TEST_P(ContribuinteRepositoryTest, ListKeepsInsertionOrderAfterDeletes) {
    LocalDb& db = openDb();
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

TEST_P(ContribuinteRepositoryTest, ImportLeavesCcmAndSimplesNull) {
    LocalDb& db = openDb();
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

TEST_P(ContribuinteRepositoryTest, AnIeAlreadyOnFileIsRefusedInWordsAndNothingIsWritten) {
    LocalDb& db = openDb();
    insertContribuinte(db, taxpayer(QStringLiteral("78045302"), QStringLiteral("Padaria"), false));
    // Registered meanwhile through another window or desk, in other letters.
    const ContribuinteRow later[] = {
        taxpayer(QStringLiteral("78045302"), QStringLiteral("Outra"), true),
        taxpayer(QStringLiteral("AB123"), QStringLiteral("Importada"), true),
        taxpayer(QStringLiteral("ab123"), QStringLiteral("Repetida"), true),
    };
    insertImportedContribuinte(db, later[1]);
    for (const auto& [row, imported] :
         {std::pair{later[0], false}, std::pair{later[2], false}, std::pair{later[2], true}}) {
        SCOPED_TRACE(row.IE.toStdString());
        try {
            imported ? insertImportedContribuinte(db, row) : insertContribuinte(db, row);
            ADD_FAILURE() << "a second row with the same IE was written";
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), DbError::kConflictNumber);
            EXPECT_EQ(e.description(),
                      QStringLiteral("A inscrição estadual %1 acabou de ser cadastrada em outra "
                                     "estação ou janela; a empresa não foi cadastrada de novo.")
                          .arg(row.IE));
        }
    }
    EXPECT_EQ(ies(listContribuintes(db)), (QStringList{"78045302", "AB123"}));
    EXPECT_EQ(findContribuinte(db, QStringLiteral("78045302"))->RazaoSocial,
              QStringLiteral("Padaria"));
    // The connection is usable again after the refusal.
    insertContribuinte(db, taxpayer(QStringLiteral("86123452"), QStringLiteral("Nova"), false));
    EXPECT_EQ(countContribuinte(db, QStringLiteral("86123452")), 1);
}

TEST_P(ContribuinteRepositoryTest, TwoDesksRegisteringTheSameIesStoreEachOnce) {
    LocalDb& db = openDb();
    const QStringList work{QStringLiteral("register"), QStringLiteral("10000000"),
                           QStringLiteral("200")};
    const QStringList outputs = twoDesks(work, work);
    int inserted = 0;
    const QRegularExpression counts(QStringLiteral("^inseridas=(\\d+) conflitos=(\\d+)\n"));
    for (const QString& output : outputs) {
        const QRegularExpressionMatch match = counts.match(output);
        ASSERT_TRUE(match.hasMatch()) << output.toStdString();
        inserted += match.captured(1).toInt();
        // A desk that lost a race was told so in words.
        if (match.captured(2).toInt() > 0) {
            EXPECT_TRUE(output.contains(QStringLiteral("acabou de ser cadastrada")))
                << output.toStdString();
        }
    }
    EXPECT_EQ(inserted, 200);
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT count(*) FROM tblContribuinte")).toInt(), 200);
    EXPECT_EQ(scalar(db, QStringLiteral("SELECT count(DISTINCT IE) FROM tblContribuinte")).toInt(),
              200);
}

TEST_P(ContribuinteRepositoryTest, ADeskDeletingWhileAnotherUpdatesEndsWithTheTaxpayerGone) {
    LocalDb& db = openDb();
    insertContribuinte(db, taxpayer(QStringLiteral("78045302"), QStringLiteral("Padaria"), false));
    const QStringList outputs =
        twoDesks({QStringLiteral("update"), QStringLiteral("78045302"), QStringLiteral("300")},
                 {QStringLiteral("delete"), QStringLiteral("78045302")});
    ASSERT_EQ(outputs.size(), 2);
    EXPECT_TRUE(outputs[0].startsWith(QLatin1String("atualizadas="))) << outputs[0].toStdString();
    EXPECT_EQ(outputs[1].toStdString(), "excluidas=1\n");
    // Updates after the delete change nothing: they never bring the row back.
    EXPECT_EQ(countContribuinte(db, QStringLiteral("78045302")), 0);
    EXPECT_TRUE(listContribuintes(db).isEmpty());
}

DADAV_ON_BOTH_ENGINES(ContribuinteRepositoryTest);
