// The command line's CSV reader, bytes in and rows out; its quoting read back;
// the reading of the file itself (only a regular file within the bound); and
// the batch summary's wording the window and the command line share.
#include "batchcommand/BatchCsv.h"
#include "batch/BatchSummary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(BatchCsv, ReadsRowsOrSaysWhichLineIsWrong) {
    struct Case {
        const char* name;
        QByteArray bytes;
        // Each row "line|ie|file|references", or empty with an error.
        QStringList rows;
        const char* errorHas;
    };
    const Case cases[] = {
        {"header, CRLF, byte-order mark, blank line, months as more fields",
         "\xEF\xBB\xBFIE;arquivo;referências\r\n86123452;a.zip;01/2026 02/2026\r\n\r\n"
         "78045302;/x/b.pdf\r\n87206416; c.zip ;01/2026;02/2026\n",
         {"2|86123452|/lote/a.zip|01/2026 02/2026", "4|78045302|/x/b.pdf|",
          "5|87206416|/lote/c.zip|01/2026 02/2026"},
         ""},
        {"a header after blank lines",
         "\n \nIE;arquivo\n86123452;a.zip\n",
         {"4|86123452|/lote/a.zip|"},
         ""},
        {"quoted fields: a ';', doubled quotes, blanks kept",
         "86123452;\"a;\"\"b\"\".zip\";\"01/2026\"\n86123452;\" c.zip\";\n"
         "86123452;\"d\"\"\"\n",
         {"1|86123452|/lote/a;\"b\".zip|01/2026", "2|86123452|/lote/ c.zip|",
          "3|86123452|/lote/d\"|"},
         ""},
        {"a quote inside an unquoted field is a character",
         "86123452;a\"b.zip\n",
         {"1|86123452|/lote/a\"b.zip|"},
         ""},
        {"only the first line may be a header",
         "86123452;a.zip\nIE;arquivo\n",
         {},
         "Linha 2 do CSV: a IE \"IE\" não tem nenhum dígito"},
        {"a NUL in a field",
         QByteArray("IE;arquivo\n86123452;a") + '\0' + "b.zip\n",
         {},
         "Linha 2 do CSV: caractere de controle (código 0x00)"},
        {"a lone carriage return",
         "86123452;a.zip\r86123452;b.zip\n",
         {},
         "Linha 1 do CSV: caractere de controle (código 0x0d)"},
        {"a tab",
         "86123452;a.zip\n\n86123452;\tb.zip\n",
         {},
         "Linha 3 do CSV: caractere de controle (código 0x09)"},
        {"an escape", "86123452;a\x1b[2J.zip\n", {}, "código 0x1b"},
        {"a quote left open", "86123452;\"a;b.zip\n", {}, "Linha 1 do CSV: aspas não fechadas"},
        {"an empty quoted file", "86123452;\"\"\n", {}, "Linha 1 do CSV: são esperados"},
        {"one field", "IE\n86123452\n", {}, "Linha 2 do CSV: são esperados"},
        {"not UTF-8", "86123452;a\xE7.zip\n", {}, "não está em UTF-8"},
        {"only a header", "IE;arquivo;referências\n", {}, "nenhuma linha"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const std::optional<QList<BatchCsv::Row>> rows =
            BatchCsv::read(c.bytes, QStringLiteral("/lote"), &error);
        if (c.rows.isEmpty()) {
            EXPECT_FALSE(rows);
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorHas))) << error.toStdString();
            continue;
        }
        ASSERT_TRUE(rows) << error.toStdString();
        QStringList got;
        for (const BatchCsv::Row& row : *rows)
            got << QStringLiteral("%1|%2|%3|%4")
                       .arg(row.line)
                       .arg(row.ie, row.filePath, row.references);
        EXPECT_EQ(got, c.rows);
    }
}

TEST(BatchCsv, QuotesAFieldOnlyWhenItWouldNotReadBackAsItIs) {
    const struct {
        const char* field;
        const char* written;
    } cases[] = {
        {"/lote/a.zip", "/lote/a.zip"},   {"/lote/backup;1.zip", "\"/lote/backup;1.zip\""},
        {"a \"b\"", "\"a \"\"b\"\"\""},   {" a", "\" a\""},
        {"linha\numa", "\"linha\numa\""}, {"", ""},
    };
    for (const auto& c : cases) {
        const QString field = QString::fromUtf8(c.field);
        EXPECT_EQ(BatchCsv::quoted(field), QString::fromUtf8(c.written)) << c.field;
        if (field.contains(QLatin1Char('\n')) || field.isEmpty())
            continue; // the reader reads one line, and a row needs its file
        const std::optional<QList<BatchCsv::Row>> back = BatchCsv::read(
            ("86123452;" + BatchCsv::quoted(field)).toUtf8(), QStringLiteral("/"), nullptr);
        ASSERT_TRUE(back) << c.field;
        EXPECT_EQ(back->at(0).filePath,
                  QDir::cleanPath(QDir(QStringLiteral("/")).absoluteFilePath(field)));
    }
}

TEST(BatchCsv, ReadsOnlyARegularFileWithinTheBound) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto path = [&](const char* name) {
        return dir.filePath(QString::fromLatin1(name));
    };
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("lote.csv", "86123452;a.zip\n");
    write("limite.csv", QByteArray(BatchCsv::kMaxBytes, '\n'));
    {
        // Sparse: its size is what counts, not what it holds.
        QFile f(path("grande.csv"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(10) << 30));
    }
    // Nothing ever writes to it: opening it for reading would wait for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo.csv")).constData(), 0600), 0);
    const struct {
        QString path;
        qsizetype size; // read, or -1 with the error
        const char* errorHas;
    } cases[] = {
        {path("lote.csv"), 15, ""},
        {path("limite.csv"), qsizetype(BatchCsv::kMaxBytes), ""},
        {path("grande.csv"), -1, "passa do limite de 1048576 bytes"},
        {path("fifo.csv"), -1, "não é um arquivo comum"},
        {QStringLiteral("/dev/zero"), -1, "não é um arquivo comum"},
        {dir.path(), -1, "não é um arquivo comum"},
        {path("nenhum.csv"), -1, "o arquivo não existe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString error;
        const std::optional<QByteArray> bytes = BatchCsv::readFile(c.path, &error);
        EXPECT_EQ(bytes ? bytes->size() : -1, c.size);
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.errorHas))) << error.toStdString();
        EXPECT_EQ(error.contains(c.path), !bytes) << error.toStdString();
    }
}

TEST(BatchSummary, CountsEveryStateOnceAndWordsItForOneOrMany) {
    using S = BatchRowState;
    const struct {
        QList<S> states;
        const char* text;
        bool allAccepted;
    } cases[] = {
        {{S::Accepted, S::Accepted, S::Accepted, S::Refused},
         "3 aceitos, 1 recusado, 0 sem resposta",
         false},
        {{S::Accepted}, "1 aceito, 0 recusados, 0 sem resposta", true},
        {{S::NoReply, S::NotListed, S::NotListed, S::NotSent, S::Cancelled, S::Cancelled, S::Queued,
          S::Sending},
         "0 aceitos, 0 recusados, 1 sem resposta, 2 não constam na lista, 1 não enviado, "
         "2 cancelados, 1 na fila, 1 enviando",
         false},
        {{S::NotListed, S::NotSent, S::NotSent},
         "0 aceitos, 0 recusados, 0 sem resposta, 1 não consta na lista, 2 não enviados",
         false},
    };
    for (const auto& c : cases) {
        BatchSummary summary;
        for (const S state : c.states)
            summary.add(state);
        EXPECT_EQ(summary.text(), QString::fromUtf8(c.text));
        EXPECT_EQ(summary.total(), c.states.size());
        EXPECT_EQ(summary.allAccepted(), c.allAccepted) << c.text;
    }
}

} // namespace
