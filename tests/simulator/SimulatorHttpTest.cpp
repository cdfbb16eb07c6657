// The simulator over the wire: SOAP calls through an HTTP client, uploads
// through a raw socket exactly as the client writes them, the receipt page,
// and the state the test API reports. Time is a fake clock moved by hand.
#include "support/SimulatorFixture.h"

#include "simulator/Simulator.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace valdoria {
namespace {

const char* const kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap12:Envelope "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:soap12=\"http://www.w3.org/2003/05/soap-envelope\"> <soap12:Body>";
const char* const kTail = "</soap12:Body></soap12:Envelope>";

std::string escaped(const std::string& value) {
    std::string out;
    for (char c : value) {
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    return out;
}

// The envelope as the client builds it.
std::string envelope(const std::string& op,
                     const std::vector<std::pair<std::string, std::string>>& params) {
    std::string body = std::string(kHead) + "<" + op + " xmlns=\"\">";
    for (const auto& [name, value] : params) {
        body += "<" + name + ">" + escaped(value) + "</" + name + ">";
    }
    return body + "</" + op + ">" + kTail;
}

// The text of "return" at depth four, or "" as the client's reader gives it.
std::string returnOf(const std::string& answer) {
    QDomDocument doc;
    if (!doc.setContent(QString::fromStdString(answer))) {
        return {};
    }
    auto ret = doc.documentElement().firstChildElement().firstChildElement().firstChildElement(
        QStringLiteral("return"));
    return ret.text().toStdString();
}

std::string chars(const std::string& text, int from, int to) {
    return QString::fromStdString(text).mid(from - 1, to - from + 1).toStdString();
}

std::string sha256(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string allBytes() {
    std::string file;
    for (int i = 0; i < 256; ++i) {
        file += static_cast<char>(i);
    }
    return file;
}

// An upload request byte for byte as the client's builder lays it out.
std::string uploadRequest(const std::string& target, const std::string& file,
                          const std::string& boundary = "Zq3Xw9Ab0Cd1Ef2Gh3Ij4Kl5Mn6Op7Qr") {
    std::string body = "--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"objArquivo\"; "
                       "filename=\"BACKUP.ZIP\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                       file + "\r\n--" + boundary + "--";
    return "POST " + target +
           " HTTP/1.0\r\nHost: 127.0.0.1\r\n"
           "Content-Type: multipart/form-data, boundary=" +
           boundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct RawReply {
    std::string first; // the first chunk received, as the client's first data event
    std::string all;
};

RawReply rawExchange(int port, const std::string& request) {
    RawReply reply;
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{10, 0};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(sock);
        ADD_FAILURE() << "cannot connect";
        return reply;
    }
    for (size_t sent = 0; sent < request.size();) {
        auto n = send(sock, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<size_t>(n);
    }
    char buffer[65536];
    for (;;) {
        auto n = recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        if (reply.all.empty()) {
            reply.first.assign(buffer, static_cast<size_t>(n));
        }
        reply.all.append(buffer, static_cast<size_t>(n));
    }
    close(sock);
    return reply;
}

class SimulatorHttp : public ::testing::Test {
protected:
    void start(SimulatorOptions options = {}) {
        options.clock = [this] {
            return std::chrono::system_clock::time_point(std::chrono::seconds(now_.load()));
        };
        if (options.version.empty()) {
            options.version = "1.16.01";
        }
        if (options.years.empty()) {
            options.years = "2025/2026";
        }
        fixture_ = std::make_unique<dadav::test::SimulatorFixture>(std::move(options));
    }

    Simulator& sim() { return fixture_->simulator(); }
    int port() { return sim().port(); }
    void advance(int seconds) { now_ += seconds; }
    std::string serverTime() const {
        return QDateTime::fromSecsSinceEpoch(now_.load())
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            .toStdString();
    }

    // Whole HTTP answer body of a SOAP call.
    httplib::Result call(const std::string& path, const std::string& action,
                         const std::string& body) {
        httplib::Client client("127.0.0.1", port());
        httplib::Headers headers;
        if (!action.empty()) {
            headers.emplace("SOAPAction", action);
        }
        return client.Post((path + "?wsdl").c_str(), headers, body, "text/xml");
    }
    std::string soap(const std::string& op,
                     const std::vector<std::pair<std::string, std::string>>& params,
                     const std::string& path = "/orn/server/index.php") {
        auto res = call(path, op, envelope(op, params));
        EXPECT_TRUE(res) << "no answer to " << op;
        return res ? res->body : std::string();
    }
    std::string ver2(const std::string& ie, const std::string& key) {
        return soap("Transferencia.ver2",
                    {{"strNome", ie}, {"strDiretorioDestino", "vbs"}, {"Chave", key}});
    }
    std::string ecnpj(const std::string& ie, const std::string& cnpj,
                      const std::string& key = "!KTRVWXNBQ!") {
        return soap("Transferencia.ecnpj", {{"ie", ie}, {"cnpj", cnpj}, {"key", key}});
    }
    RawReply declaration(const std::string& query, const std::string& file) {
        return rawExchange(port(), uploadRequest("/client/xt_upload_1_15_01.php?" + query, file));
    }
    RawReply simples(const std::string& key, const std::string& file) {
        return rawExchange(port(), uploadRequest("/client/xt_upload_simples.php?contador="
                                                 "123.456.789-09&chave=" +
                                                     key + "&gias=",
                                                 file));
    }

    std::atomic<std::int64_t> now_{1781000000}; // a June 2026 instant
    std::unique_ptr<dadav::test::SimulatorFixture> fixture_;
};

TEST_F(SimulatorHttp, VersionCallCarriesDateYearsAndVersionAtFixedPositions) {
    start({.version = "1.17.02", .years = "2025/2026"});
    auto answer = ver2("78045302", "A7K2M9QX");
    auto ret = returnOf(answer);
    EXPECT_EQ(chars(ret, 32, 50), serverTime());
    EXPECT_EQ(chars(ret, 59, 67), "2025/2026");
    EXPECT_EQ(chars(ret, 78, 97), "1.17.02             ");
    EXPECT_EQ(answer.find("CHAVE_I"), std::string::npos);
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QString::fromStdString(ret)));
    EXPECT_EQ(doc.documentElement().tagName(), "listaTransferencias");
    EXPECT_EQ(doc.documentElement().elementsByTagName("transferencia").size(), 0);
}

TEST_F(SimulatorHttp, VersionCallRejectsUnknownKeyPairs) {
    start();
    const std::pair<const char*, const char*> cases[] = {
        {"78045302", "WRONGKEY"}, // known IE, other key
        {"78045302", ""},         // no key
        {"77310088", ""},         // company that has no key yet
        {"99999999", "A7K2M9QX"}, // key of another company
    };
    for (const auto& [ie, key] : cases) {
        auto answer = ver2(ie, key);
        EXPECT_EQ(returnOf(answer), "CHAVE_INVALIDA") << ie << "/" << key;
    }
}

TEST_F(SimulatorHttp, AccessKeyRequestIssuesAndRemembersKeys) {
    start();
    auto first = returnOf(ecnpj("77310088", "27.891.543/0001-00"));
    EXPECT_EQ(chars(first, 21, 39), serverTime());
    EXPECT_EQ(chars(first, 51, 51), "S");
    auto key = chars(first, 61, 68);
    ASSERT_EQ(key.size(), 8u);
    EXPECT_EQ(key.find(' '), std::string::npos);
    EXPECT_EQ(sim().company("77310088")->chave, key);

    auto again = returnOf(ecnpj("77310088", "27891543000100"));
    EXPECT_EQ(chars(again, 61, 68), key);
    EXPECT_NE(returnOf(ver2("77310088", key)), "CHAVE_INVALIDA");

    auto legacy = returnOf(ecnpj("86123452", "04.567.891/0001-13"));
    EXPECT_EQ(chars(legacy, 51, 51), "N");
    EXPECT_EQ(chars(legacy, 61, 68), "Z3P8W1RT");
}

TEST_F(SimulatorHttp, AccessKeyRequestRefusesUnknownPairsAndWrongRequestKey) {
    start();
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"77310088", "27.891.543/0001-00", "!KTRVWXNBQ"}, // request key cut short
        {"77310088", "27.891.543/0001-00", ""},
        {"77310088", "11.222.333/0001-81", "!KTRVWXNBQ!"}, // CNPJ of another company
        {"12345678", "27.891.543/0001-00", "!KTRVWXNBQ!"}, // unknown IE
        {"", "", "!KTRVWXNBQ!"},
    };
    for (const auto& [ie, cnpj, key] : cases) {
        auto answer = ecnpj(ie, cnpj, key);
        EXPECT_NE(answer.find("NAO_AUTORIZADO"), std::string::npos) << ie << " " << cnpj;
    }
    EXPECT_EQ(sim().company("77310088")->chave, "");
}

TEST_F(SimulatorHttp, AccountantRegistrationKeepsTheLastOneAsSent) {
    start();
    std::vector<std::pair<std::string, std::string>> params = {
        {"thisCont_cpf_cnpj", "123.456.789-09"},
        {"thisCont_num_crc", "RJ-1"},
        {"thisCont_razao_nome", "D''Ávila & Cia"},
        {"thisCont_nom_endereco", "Rua <A>"},
        {"thisCont_num_endereco", "1"},
        {"thisCont_complemento", ""},
        {"thisCont_nom_bairro", "Centro"},
        {"thisCont_nom_cidade", "Valdoria"},
        {"thisCont_nom_estado", "RJ"},
        {"thisCont_num_telefone", "(21) ____-____"},
        {"thisCont_num_cep", "22410-002"},
        {"thisCont_email", "a@b.example"}};
    auto answer = soap("Transferencia.contador", params, "/orn/server/index_dapi.php");
    EXPECT_EQ(returnOf(answer), "CONTADOR_CADASTRADO");
    auto stored = sim().accountant();
    ASSERT_EQ(stored.size(), 12u);
    for (const auto& [name, value] : params) {
        EXPECT_EQ(stored[name], value) << name;
    }

    params[0].second = "11.222.333/0001-81";
    soap("Transferencia.contador", params, "/orn/server/index_dapi.php");
    EXPECT_EQ(sim().accountant()["thisCont_cpf_cnpj"], "11.222.333/0001-81");

    // The registration lives on its own endpoint only.
    auto wrong = call("/orn/server/index.php", "Transferencia.contador",
                      envelope("Transferencia.contador", params));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 400);
    EXPECT_NE(wrong->body.find("Fault"), std::string::npos);
}

TEST_F(SimulatorHttp, DispatchFallsBackToTheElementAndRefusesBadEnvelopes) {
    start();
    auto body = envelope("Transferencia.ver2", {{"strNome", "78045302"}, {"Chave", "A7K2M9QX"}});
    for (const std::string action : {"", "\"Transferencia.ver2\""}) {
        auto res = call("/orn/server/index.php", action, body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << action;
        EXPECT_EQ(chars(returnOf(res->body), 59, 67), "2025/2026") << action;
    }

    struct Case {
        const char* action;
        std::string body;
    };
    const Case bad[] = {
        {"Transferencia.nada", envelope("Transferencia.nada", {})},
        {"", "not xml"},
        {"", "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x \"CHAVE\">]><e>&x;</e>"},
        {"", std::string(kHead) + kTail}, // no operation element
        {"", "<Other><Body><Transferencia.ver2/></Body></Other>"},
    };
    for (const auto& c : bad) {
        auto res = call("/orn/server/index.php", c.action, c.body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400) << c.body;
        EXPECT_EQ(returnOf(res->body), "") << c.body;
        EXPECT_NE(res->body.find("soap:Sender"), std::string::npos);
    }
}

// A connection serves request after request, as a common web server's: two
// calls sent at once on one connection get both their answers, in order, and
// the connection closes after the one that asks for it.
TEST_F(SimulatorHttp, AConnectionIsKeptForTheNextRequest) {
    start();
    const auto request = [](const std::string& key, const std::string& connection) {
        const std::string body =
            envelope("Transferencia.ver2",
                     {{"strNome", "78045302"}, {"strDiretorioDestino", "vbs"}, {"Chave", key}});
        return "POST /orn/server/index.php?wsdl HTTP/1.1\r\nHost: 127.0.0.1\r\n"
               "Content-Type: text/xml\r\nSOAPAction: Transferencia.ver2\r\n" +
               connection + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const auto reply =
        rawExchange(port(), request("A7K2M9QX", "") + request("WRONGKEY", "Connection: close\r\n"));
    const auto first = reply.all.find("HTTP/1.1 200");
    ASSERT_NE(first, std::string::npos) << reply.all;
    EXPECT_NE(reply.all.find("HTTP/1.1 200", first + 1), std::string::npos) << reply.all;
    EXPECT_EQ(sim().rawRequests().size(), 2u);
}

TEST_F(SimulatorHttp, DeclarationUploadKeepsEveryByteAndTheRawRequest) {
    start();
    auto file = allBytes() + allBytes();
    auto request = uploadRequest("/client/xt_upload_1_15_01.php?ie=78045302&contador="
                                 "123.456.789-09&chave=A7K2M9QX&gias=3_2014,4_2014",
                                 file);
    auto reply = rawExchange(port(), request);
    EXPECT_EQ(reply.first, reply.all) << "the whole answer comes in one piece";
    EXPECT_NE(reply.first.find(" 200 "), std::string::npos);
    EXPECT_NE(reply.first.find("BACKUP.ZIP recebido (512 bytes)"), std::string::npos);

    auto uploads = sim().uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const auto& u = uploads[0];
    EXPECT_EQ(u.kind, "declaracao");
    EXPECT_EQ(u.ie, "78045302");
    EXPECT_EQ(u.contador, "123.456.789-09");
    EXPECT_EQ(u.chave, "A7K2M9QX");
    EXPECT_EQ(u.gias, "3_2014,4_2014");
    EXPECT_EQ(u.fieldName, "objArquivo");
    EXPECT_EQ(u.fileName, "BACKUP.ZIP");
    EXPECT_EQ(u.size, 512);
    EXPECT_EQ(u.sha256, sha256(file));
    EXPECT_EQ(u.verdict, "aceito");
    std::ifstream stored(u.storedPath, std::ios::binary);
    std::stringstream bytes;
    bytes << stored.rdbuf();
    EXPECT_EQ(bytes.str(), file);

    auto raw = sim().rawRequests();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0], request);
    std::ifstream log(sim().rawLogPath(), std::ios::binary);
    std::stringstream logged;
    logged << log.rdbuf();
    EXPECT_EQ(logged.str(),
              "=== request 1, " + std::to_string(request.size()) + " bytes ===\n" + request + "\n");
}

TEST_F(SimulatorHttp, UploadTurnsProcessedAfterTheDelay) {
    start({.processAfterSeconds = 60});
    declaration("ie=78045302&contador=123.456.789-09&chave=A7K2M9QX&gias=3_2014,4_2014",
                "PK\x03\x04 zip bytes");

    auto rowOf = [](const std::string& answer) {
        QDomDocument doc;
        EXPECT_TRUE(doc.setContent(QString::fromStdString(returnOf(answer))));
        return doc.documentElement().firstChildElement("transferencia");
    };
    auto pending = rowOf(ver2("78045302", "A7K2M9QX"));
    EXPECT_EQ(pending.firstChildElement("referencia").text(), "Verificando");
    EXPECT_EQ(pending.firstChildElement("status").text(), "1");
    EXPECT_EQ(pending.firstChildElement("protocolo").text(), "");

    advance(59);
    EXPECT_EQ(sim().transmissions().at(0).status, "1");
    advance(1);
    // One transmission per month, each with its protocol, newest first.
    const std::string listed = ver2("78045302", "A7K2M9QX");
    auto done = rowOf(listed);
    EXPECT_EQ(done.firstChildElement("referencia").text(), "04/2014");
    QDomDocument whole;
    ASSERT_TRUE(whole.setContent(QString::fromStdString(returnOf(listed))));
    const QDomElement other =
        whole.documentElement().firstChildElement("transferencia").nextSiblingElement();
    EXPECT_EQ(other.firstChildElement("referencia").text(), "03/2014");
    EXPECT_NE(other.firstChildElement("protocolo").text(),
              done.firstChildElement("protocolo").text());
    EXPECT_EQ(done.firstChildElement("status").text(), "3");
    auto protocolo = done.firstChildElement("protocolo").text().toStdString();
    ASSERT_FALSE(protocolo.empty());
    EXPECT_FALSE(done.firstChildElement("adicionado").text().isEmpty());
    EXPECT_FALSE(done.firstChildElement("data").text().isEmpty());

    // The receipt of the processed transmission, and its printable page.
    auto receipt = returnOf(
        soap("Transferencia.ver",
             {{"strNome", protocolo}, {"strDiretorioDestino", "vbs"}, {"Chave", "A7K2M9QX"}}));
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QString::fromStdString(receipt))) << receipt;
    EXPECT_EQ(doc.documentElement().tagName(), "recibo");
    EXPECT_EQ(doc.documentElement()
                  .firstChildElement("entrega")
                  .firstChildElement("protocolo")
                  .text()
                  .toStdString(),
              protocolo);
    EXPECT_EQ(returnOf(soap(
                  "Transferencia.ver",
                  {{"strNome", protocolo}, {"strDiretorioDestino", "vbs"}, {"Chave", "Z3P8W1RT"}})),
              "CHAVE_INVALIDA");
    EXPECT_EQ(
        returnOf(soap("Transferencia.ver",
                      {{"strNome", "999"}, {"strDiretorioDestino", "vbs"}, {"Chave", "A7K2M9QX"}})),
        "PROTOCOLO_INEXISTENTE");

    httplib::Client client("127.0.0.1", port());
    auto page = client.Get("/protocoloDown.php?IE=78045302&key=A7K2M9QX&ref=04/2014");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find(protocolo), std::string::npos);
}

TEST_F(SimulatorHttp, RefusedDeclarationUploadsLeaveNoTransmission) {
    start();
    struct Case {
        const char* query;
        const char* answer;
    };
    const Case cases[] = {
        {"ie=78045302&contador=1&chave=Z3P8W1RT&gias=3_2014", "CHAVE_INVALIDA"},
        {"ie=12345678&contador=1&chave=A7K2M9QX&gias=3_2014", "CHAVE_INVALIDA"},
        {"ie=78045302&contador=1&chave=A7K2M9QX&gias=13_2014", "REFERENCIA INVALIDA"},
    };
    for (const auto& c : cases) {
        auto reply = declaration(c.query, "bytes");
        EXPECT_NE(reply.first.find(c.answer), std::string::npos) << c.query;
    }
    auto broken = rawExchange(port(), "POST /client/xt_upload_1_15_01.php?ie=78045302&chave="
                                      "A7K2M9QX HTTP/1.0\r\nContent-Type: multipart/form-data, "
                                      "boundary=B\r\nContent-Length: 9\r\n\r\nno parts!");
    EXPECT_NE(broken.first.find("ARQUIVO NAO RECEBIDO"), std::string::npos);
    EXPECT_TRUE(sim().transmissions().empty());
}

TEST_F(SimulatorHttp, SimplesUploadAnswersItsMarkers) {
    start();
    struct Case {
        std::string file;
        const char* marker;
    };
    const Case cases[] = {
        {"PK\x03\x04 not a pdf", "ARQUIVO INVALIDO - EXTRATO"},
        {"%PDF-1.4 some other document\n%%EOF\n", "ARQUIVO INVALIDO - RECIBO"},
        {"%PDF-1.4 PGDAS-D extrato\n%%EOF\nedited", "ARQUIVO INVALIDO - MODIFICADO"},
    };
    for (const auto& c : cases) {
        auto reply = simples("A7K2M9QX", c.file);
        EXPECT_NE(reply.first.find(c.marker), std::string::npos) << c.marker;
    }
    EXPECT_TRUE(sim().transmissions().empty());

    auto good = simples("A7K2M9QX", "%PDF-1.4 PGDAS-D extrato\n%%EOF\n");
    EXPECT_EQ(good.first.find("ARQUIVO INVALIDO"), std::string::npos);
    auto unknown = simples("NOSUCHKY", "%PDF-1.4 PGDAS-D extrato\n%%EOF\n");
    EXPECT_NE(unknown.first.find("CHAVE_INVALIDA"), std::string::npos);

    auto transmissions = sim().transmissions();
    ASSERT_EQ(transmissions.size(), 1u);
    EXPECT_EQ(transmissions[0].ie, "78045302");
    EXPECT_EQ(transmissions[0].status, "3");
    EXPECT_EQ(transmissions[0].referencia, QDateTime::fromSecsSinceEpoch(now_.load())
                                               .toString(QStringLiteral("MM/yyyy"))
                                               .toStdString());
    EXPECT_EQ(sim().uploads().size(), 5u);
}

TEST_F(SimulatorHttp, ReceiptPageEscapesWhatItWasAsked) {
    start();
    httplib::Client client("127.0.0.1", port());
    auto page = client.Get("/protocoloDown.php?IE=%3Cscript%3E&key=a%22b&ref=%26x");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 404);
    EXPECT_EQ(page->body.find("<script>"), std::string::npos);
    EXPECT_NE(page->body.find("&lt;script&gt;"), std::string::npos);
    EXPECT_NE(page->body.find("a&quot;b"), std::string::npos);
    EXPECT_NE(page->body.find("&amp;x"), std::string::npos);
}

TEST_F(SimulatorHttp, SeedFileAndDataFolderSurviveARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto seedPath = QDir(dir.path()).filePath("seed.ini").toStdString();
    std::ofstream(seedPath) << "[servidor]\nversao=2.0.0\nanos=2024\n"
                               "[empresa]\nie=81053375\ncnpj=28.451.906/0001-41\nrazao=Mercearia\n"
                               "[transmissao]\nie=81053375\nprotocolo=P-1\nreferencia=01/2024\n";
    SimulatorOptions options;
    options.seedFile = seedPath;
    options.dataDir = QDir(dir.path()).filePath("data").toStdString();
    std::string key;
    {
        Simulator first(options);
        first.start();
        EXPECT_EQ(first.version(), "2.0.0");
        EXPECT_EQ(first.years(), "2024");
        httplib::Client client("127.0.0.1", first.port());
        auto res = client.Post(
            "/orn/server/index.php", {{"SOAPAction", "Transferencia.ecnpj"}},
            envelope("Transferencia.ecnpj",
                     {{"ie", "81053375"}, {"cnpj", "28451906000141"}, {"key", "!KTRVWXNBQ!"}}),
            "text/xml");
        ASSERT_TRUE(res);
        key = chars(returnOf(res->body), 61, 68);
        ASSERT_EQ(key.size(), 8u);
    }
    Simulator second(options);
    EXPECT_EQ(second.company("81053375")->chave, key);
    auto transmissions = second.transmissions();
    ASSERT_EQ(transmissions.size(), 1u) << "seeded rows are not added twice";
    EXPECT_EQ(transmissions[0].protocolo, "P-1");
    EXPECT_TRUE(second.company("78045302") == std::nullopt) << "a seed file replaces the defaults";
}

TEST(SimulatorLifecycle, RefusesBadOptionsAndABusyPort) {
    EXPECT_THROW(Simulator({.version = "a version text far too long"}), SimulatorError);
    EXPECT_THROW(Simulator({.years = "2020/2021/2022"}), SimulatorError);
    EXPECT_THROW(Simulator({.seedFile = "/nonexistent/seed.ini"}), SimulatorError);

    Simulator first;
    first.start();
    EXPECT_THROW(first.start(), SimulatorError);
    Simulator second({.port = first.port()});
    EXPECT_THROW(second.start(), SimulatorError);
    first.stop();
    first.stop();
}

TEST(SimulatorFixture, WritesSettingsThatPointAtTheSimulator) {
    dadav::test::SimulatorFixture fixture;
    QFile ini(QDir(fixture.applicationFolder()).filePath("dadav.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(ini.readAll()),
              QStringLiteral("[servidor]\nhost=127.0.0.1\nport=%1\n").arg(fixture.port()));
    httplib::Client client("127.0.0.1", fixture.port());
    auto res = client.Get("/protocoloDown.php");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
}

} // namespace
} // namespace valdoria
