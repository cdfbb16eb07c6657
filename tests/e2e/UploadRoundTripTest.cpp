// Uploads through the client's socket upload to both upload scripts of the
// in-process simulator, with the addresses the two transmission windows build:
// the bytes arrive intact, the request on the wire is the one the client's
// builder renders, the transmission turns up in the list and, once processed,
// has a receipt; the Simples Nacional verdicts arrive whole in one reply.
#include "WireFixture.h"

#include "history/Receipt.h"
#include "history/TransmissionList.h"
#include "net/UploadRequest.h"
#include "net/url_helper.h"
#include "transmission/SimplesReply.h"
#include "transmission/UploadAddress.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace dadav::e2e {
namespace {

const QString kContador = QStringLiteral("123.456.789-09");

// A file name as a Portuguese-speaking user writes it: the client sends header
// texts one byte per character (Latin-1).
const QString kAccentedName = QStringLiteral("GIA MARÇO 2025.ZIP");

// Seconds after which the simulator processes an upload.
constexpr int kProcessAfter = 300;

class UploadRoundTrip : public WireTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(files_.isValid());
        startSimulator({.processAfterSeconds = kProcessAfter});
    }

    // The declaration window's address for the taxpayer in use, from the settings.
    static QString declarationUrl(const QString& ie, const QString& key) {
        return UploadAddress::declaration(host(), port(), ie, kContador, key,
                                          QStringLiteral("3_2025,4_2025"));
    }
    // The Simples Nacional window's address: a blank before the path, no months.
    static QString simplesUrl(const QString& key) {
        return UploadAddress::simples(host(), port(), kContador, key);
    }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = files_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size())
            << name.toStdString();
        return path;
    }

    // The list rows of a taxpayer as the main window reads them from the version call.
    QList<QStringList> listRows(const QString& ie, const QString& key) {
        const History::ListAnswer list =
            History::readTransmissionList(Soap::GetResult(ver2(ie, key), QStringLiteral("return")));
        EXPECT_EQ(list.kind, History::ListAnswerKind::Transmissions) << list.reason.toStdString();
        return list.rows;
    }

    QTemporaryDir files_;
};

TEST_F(UploadRoundTrip, FilesReachBothScriptsIntactAsTheBuilderRendersThem) {
    struct Script {
        const char* name;
        QString url;
        const char* kind;
        const char* gias;
        const char* requestLine;
    };
    const Script scripts[] = {
        {"declaration", declarationUrl(QStringLiteral("86123452"), QStringLiteral("Z3P8W1RT")),
         "declaracao", "3_2025,4_2025",
         "POST /client/xt_upload_1_15_01.php?ie=86123452&contador=123.456.789-09&chave=Z3P8W1RT"
         "&gias=3_2025,4_2025 HTTP/1.0\r\nHost: 127.0.0.1\r\n"},
        {"simples", simplesUrl(QStringLiteral("A7K2M9QX")), "simples", "",
         "POST /client/xt_upload_simples.php?contador=123.456.789-09&chave=A7K2M9QX&gias= "
         "HTTP/1.0\r\nHost: 127.0.0.1\r\n"},
    };
    struct File {
        const char* name;
        QByteArray bytes;
    };
    // Empty, every byte value, and one that the upload streams in several chunks.
    const File files[] = {{"VAZIO.ZIP", QByteArray()},
                          {"BYTES.ZIP", allByteValues()},
                          {"GRANDE.ZIP", allByteValues().repeated(3 * 4096 + 7)}};

    for (const Script& s : scripts) {
        // A URL's port field holds up to 32767; a port beyond it is left to the
        // settings, which the upload reads then.
        const UrlParts url = url_helper::ExtractUrl(s.url);
        const int settingsPort = port().toInt();
        EXPECT_EQ(url.Port, settingsPort <= 32767 ? settingsPort : 0) << s.name;
        EXPECT_EQ(url.Host, QStringLiteral("127.0.0.1")) << s.name;

        for (const File& f : files) {
            SCOPED_TRACE(std::string(s.name) + " " + f.name);
            const QString fileName = QString::fromLatin1(f.name);
            const UploadOutcome out = upload(url, writeFile(fileName, f.bytes), fileName);
            ASSERT_TRUE(out.reply) << out.failure.toStdString();
            EXPECT_EQ(out.replies, 1);

            const auto uploads = sim().uploads();
            ASSERT_FALSE(uploads.empty());
            const valdoria::UploadRecord& stored = uploads.back();
            EXPECT_EQ(stored.kind, s.kind);
            EXPECT_EQ(stored.fileName, f.name);
            EXPECT_EQ(stored.fieldName, "objArquivo");
            EXPECT_EQ(stored.contador, kContador.toStdString());
            EXPECT_EQ(stored.gias, s.gias);
            EXPECT_EQ(stored.size, f.bytes.size());
            EXPECT_EQ(stored.sha256, QCryptographicHash::hash(f.bytes, QCryptographicHash::Sha256)
                                         .toHex()
                                         .toStdString());

            // The bytes on the wire are the builder's rendering but for the
            // boundary, which is new for every request.
            const QByteArray raw = QByteArray::fromStdString(sim().rawRequests().back());
            QByteArray rendered =
                upload::BuildFileUploadRequest(f.bytes, url, QStringLiteral("objArquivo"), fileName,
                                               QStringLiteral("application/octet-stream"));
            const QByteArray sentBoundary = boundaryOf(raw);
            const QByteArray renderedBoundary = boundaryOf(rendered);
            ASSERT_EQ(sentBoundary.size(), 32);
            ASSERT_EQ(renderedBoundary.size(), 32);
            rendered.replace(renderedBoundary, sentBoundary);
            EXPECT_TRUE(raw == rendered) << raw.left(400).toStdString();
            EXPECT_TRUE(raw.startsWith(s.requestLine)) << raw.left(160).toStdString();
        }
    }
}

TEST_F(UploadRoundTrip, DeclarationIsListedAsPendingThenProcessedWithAReceipt) {
    const QString ie = QStringLiteral("86123452");
    const QString key = QStringLiteral("Z3P8W1RT");
    const UploadOutcome out =
        upload(url_helper::ExtractUrl(declarationUrl(ie, key)),
               writeFile(QStringLiteral("backup.zip"), QByteArray("PK\x03\x04 backup", 11)),
               kAccentedName);
    ASSERT_TRUE(out.reply) << out.failure.toStdString();
    EXPECT_TRUE(QString::fromUtf8(*out.reply).contains(kAccentedName + QStringLiteral(" recebido")))
        << out.reply->toStdString();

    auto rows = listRows(ie, key);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][History::ColReferencia], History::kPendingReference);
    EXPECT_EQ(rows[0][History::ColStatus], QStringLiteral("1"));

    advanceClock(kProcessAfter);
    // One transmission per month, newest first.
    rows = listRows(ie, key);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0][History::ColReferencia], QStringLiteral("04/2025"));
    EXPECT_EQ(rows[1][History::ColReferencia], QStringLiteral("03/2025"));
    EXPECT_EQ(History::detailActionForStatus(rows[0][History::ColStatus]),
              History::DetailAction::FetchReceipt);
    const QString protocolo = rows[0][History::ColProtocolo];
    ASSERT_FALSE(protocolo.isEmpty());

    // The receipt of the processed row, asked with its protocol number.
    const QString answer = call(Soap::ServicePath, QStringLiteral("Transferencia.ver"),
                                {{QStringLiteral("strNome"), protocolo},
                                 {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                                 {QStringLiteral("Chave"), key}});
    expectSoapRequest(
        QStringLiteral("/orn/server/index.php?wsdl"), QStringLiteral("Transferencia.ver"),
        kEnvelopeHead + QStringLiteral("<Transferencia.ver xmlns=\"\"><strNome>") + protocolo +
            QStringLiteral("</strNome><strDiretorioDestino>vbs"
                           "</strDiretorioDestino><Chave>Z3P8W1RT</Chave>"
                           "</Transferencia.ver>") +
            kEnvelopeTail);
    const History::ReceiptDocument receipt =
        History::readReceipt(Soap::GetResult(answer, QStringLiteral("return")));
    ASSERT_TRUE(receipt.wellFormed) << receipt.reason.toStdString();
    ASSERT_FALSE(receipt.items.isEmpty());
    for (const History::ReceiptItem& item : receipt.items) {
        ASSERT_TRUE(item.detalhe) << item.name.toStdString();
        EXPECT_EQ(History::itemNodeText(item.name, *item.detalhe),
                  item.name + QStringLiteral(": ") + *item.detalhe);
    }
    const History::ReceiptItem& entrega = receipt.items.front();
    EXPECT_EQ(entrega.name, QStringLiteral("entrega"));
    EXPECT_TRUE(entrega.childTexts.contains(protocolo));
    // The file name went out one byte per character; the receipt names it as chosen.
    EXPECT_TRUE(entrega.childTexts.contains(kAccentedName))
        << entrega.childTexts.join(QStringLiteral(" | ")).toStdString();
}

TEST_F(UploadRoundTrip, SimplesVerdictsArriveWholeInTheOneReply) {
    const QString key = QStringLiteral("A7K2M9QX");
    const UrlParts url = url_helper::ExtractUrl(simplesUrl(key));
    const char* const markers[] = {"ARQUIVO INVALIDO - EXTRATO", "ARQUIVO INVALIDO - RECIBO",
                                   "ARQUIVO INVALIDO - MODIFICADO"};
    struct Case {
        QByteArray file;
        const char* marker;  // nullptr: accepted
        const char* message; // a piece of the one message the window shows
    };
    const Case cases[] = {
        {QByteArray("PK\x03\x04 not a pdf"), markers[0], "(Extrato)"},
        {QByteArray("%PDF-1.4 another document\n%%EOF\n"), markers[1], "(Recibo)"},
        {QByteArray("%PDF-1.4 PGDAS-D extrato\n%%EOF\n%%EOF\n"), markers[2], "foi modificado"},
        {QByteArray("%PDF-1.4 PGDAS-D extrato\n%%EOF\n"), nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marker ? c.marker : "accepted");
        const UploadOutcome out = upload(url, writeFile(QStringLiteral("PGDAS.pdf"), c.file),
                                         QStringLiteral("PGDAS.pdf"));
        ASSERT_TRUE(out.reply) << out.failure.toStdString();
        EXPECT_EQ(out.replies, 1);
        for (const char* m : markers)
            EXPECT_EQ(out.reply->contains(m), c.marker == m) << m;
        // What the window makes of the reply.
        const QStringList messages = SimplesReply::messages(*out.reply);
        ASSERT_EQ(messages.size(), c.message ? 1 : 0);
        if (c.message) {
            EXPECT_TRUE(messages.front().contains(QString::fromUtf8(c.message)));
        }
    }

    // Only the accepted extract became a transmission, pending at first.
    const auto rows = listRows(QStringLiteral("78045302"), key);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][History::ColReferencia], History::kPendingReference);
}

} // namespace
} // namespace dadav::e2e
