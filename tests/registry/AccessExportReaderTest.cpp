// Reading the companies of NovaGIA export files: the fixtures in
// tests/fixtures, a damaged one, and files that are not exports at all.
#include "registry/AccessExportReader.h"

#include "base/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using AccessExport::Company;
using AccessExport::readCompanies;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

QString fixture(const char* name) {
    return QDir(QStringLiteral(DADAV_FIXTURES_DIR)).filePath(QString::fromLatin1(name));
}

Company company(const char* ie, const char* name, const char* cnpj, const char* cnae) {
    return {QString::fromLatin1(ie), QString::fromUtf8(name), QString::fromLatin1(cnpj),
            QString::fromLatin1(cnae)};
}

TEST(AccessExportReader, ReadsEveryCompanyInFileOrderWithTheTrailingBlank) {
    EXPECT_THAT(
        readCompanies(fixture("novagia-export.mdb")),
        ElementsAre(
            company("78045302", "Padaria São João Ltda ", "11.222.333/0001-81", "4721-1/02"),
            company("86123452", "D'Ávila Comércio de Roupas Ltda ", "04.567.891/0001-13",
                    "4781-4/00"),
            company("77310088", "Restaurante Açaí & Cia Ltda ", "27.891.543/0001-00", "5611-2/01"),
            company("87206416", "Tecnologia Ômega Sistemas S.A. ", "33.184.762/0001-44",
                    "6201-5/01"),
            company("84902764", "Transportes Guanabara Ltda ", "09.341.257/0002-62", "4930-2/02"),
            company("85340123", "Clínica Odontológica Sorriso Ltda ", "19.056.384/0001-92",
                    "8630-5/04")));
}

TEST(AccessExportReader, ReadsInconsistentRowsAsTheyAre) {
    EXPECT_THAT(readCompanies(fixture("novagia-export-inconsistent.mdb")),
                ElementsAre(company("81053375", "Mercearia Bom Preço Ltda ", "28.451.906/0001-41",
                                    "4712-1/00"),
                            company("79220183", "Oficina Mecânica Irmãos Peçanha Ltda ",
                                    "36.720.915/0001-10", "4520-0/01"),
                            company("83415592", "    ", "40.287.136/0001-49", "9602-5/01")));
}

TEST(AccessExportReader, EmptyTableGivesNoCompany) {
    EXPECT_THAT(readCompanies(fixture("novagia-export-empty.mdb")), IsEmpty());
}

TEST(AccessExportReader, PathWithAccentsBlanksAndSemicolonIsReadTwiceAlike) {
    // The import reads the file again after the load; nothing may linger.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Exportação NovaGIA; março.mdb"));
    ASSERT_TRUE(QFile::copy(fixture("novagia-export.mdb"), path));
    const QList<Company> first = readCompanies(path);
    EXPECT_EQ(first.size(), 6);
    EXPECT_EQ(readCompanies(path), first);
}

TEST(AccessExportReader, RefusesWhatIsNotAnExport) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    };
    QFile legacy(fixture("legacy-dadav.mdb"));
    ASSERT_TRUE(legacy.open(QIODevice::ReadOnly));
    const QByteArray access = legacy.readAll();
    // The same bytes with the table's name spelt otherwise in the catalogue
    // (names are stored as UTF-16).
    QByteArray renamed = access;
    {
        QByteArray utf16;
        for (char c : QByteArray("tblContribuinte"))
            utf16.append(c).append('\0');
        QByteArray other = utf16;
        other[0] = 'x';
        ASSERT_TRUE(renamed.contains(utf16));
        renamed.replace(utf16, other);
    }

    // Numbers as the error report would show them: 53 file not found, 3343
    // not a database, 3078 no such table.
    struct Case {
        const char* what;
        QString path;
        qint32 number;
    };
    const Case cases[] = {
        {"missing file", dir.filePath(QStringLiteral("nada.mdb")), 53},
        {"empty path", QString(), 53},
        {"a folder", dir.path(), 53},
        {"text file", write("texto.mdb", QByteArray("IE;RazaoSocial;CNPJ;CNAE\r\n").repeated(200)),
         3343},
        {"empty file", write("vazio.mdb", QByteArray()), 3343},
        {"signature only", write("cabecalho.mdb", access.left(64)), 3343},
        {"first page then nothing", write("curto.mdb", access.left(4096)), 3343},
        {"no such table", write("sem-tabela.mdb", renamed), 3078},
        {"damaged export on which the Access library crashes", fixture("damaged-export.mdb"), 3343},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            readCompanies(c.path);
            ADD_FAILURE() << "read without error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << e.description().toStdString();
        }
    }
}

} // namespace
