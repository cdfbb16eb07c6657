// The simulator's readers of outside input: the XML reader of SOAP requests,
// the multipart reader of uploads, the seed file and the command line.
#include "simulator/CommandLine.h"
#include "simulator/Multipart.h"
#include "simulator/Seed.h"
#include "simulator/XmlReader.h"

#include <gtest/gtest.h>

namespace valdoria {
namespace {

TEST(XmlReader, ReadsNamesTextAndEveryReferenceKind) {
    auto root = parseXml("<?xml version=\"1.0\"?><!-- c --><s:Envelope xmlns:s=\"u\">"
                         "<s:Body><Op xmlns=\"\"><a>x &amp; y &lt;&gt; &quot;&apos;</a>"
                         "<b>&#65;&#x42;&#xE9;&#x1F600;</b><c><![CDATA[<raw & text>]]></c>"
                         "<d/></Op></s:Body></s:Envelope>");
    EXPECT_EQ(root->name, "s:Envelope");
    EXPECT_EQ(root->localName(), "Envelope");
    const XmlElement* op = root->child("Body")->firstChild();
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->name, "Op");
    EXPECT_EQ(op->child("a")->text, "x & y <> \"'");
    EXPECT_EQ(op->child("b")->text, "AB\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(op->child("c")->text, "<raw & text>");
    EXPECT_EQ(op->child("d")->text, "");
    EXPECT_EQ(op->child("missing"), nullptr);
}

TEST(XmlReader, RefusesWhatItDoesNotKnowOrIsMalformed) {
    const char* cases[] = {
        "",
        "   ",
        "<!DOCTYPE a [<!ENTITY e \"boom\">]><a>&e;</a>",
        "<a>&e;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&#x110000;</a>",
        "<a>&#;</a>",
        "<a><b></a></b>",
        "<a>",
        "<a></a><b></b>",
        "<a x=\"1\" x=\"2\"/>",
        "<a x=1/>",
        "<a x=\"<\"/>",
        "<a><![CDATA[open</a>",
        "<a><!-- open</a>",
        "text<a/>",
    };
    for (const char* text : cases) {
        EXPECT_THROW(parseXml(text), XmlError) << text;
    }
}

TEST(XmlReader, LimitsNesting) {
    std::string deep;
    for (int i = 0; i < 100; ++i) {
        deep += "<a>";
    }
    for (int i = 0; i < 100; ++i) {
        deep += "</a>";
    }
    EXPECT_THROW(parseXml(deep), XmlError);
    EXPECT_NO_THROW(parseXml(deep, 100));
}

TEST(XmlReader, EscapeRoundTripsThroughTheReader) {
    std::string nasty = "a&b<c>d\"e'f";
    EXPECT_EQ(escapeXml(nasty), "a&amp;b&lt;c&gt;d&quot;e&#39;f");
    auto root = parseXml("<r k=\"" + escapeXml(nasty) + "\">" + escapeXml(nasty) + "</r>");
    EXPECT_EQ(root->text, nasty);
    EXPECT_EQ(root->attributes.at(0).second, nasty);
}

TEST(Multipart, FindsTheBoundaryAfterCommaOrSemicolon) {
    struct Case {
        const char* contentType;
        const char* boundary;
    };
    const Case cases[] = {
        {"multipart/form-data, boundary=AbC123", "AbC123"},
        {"multipart/form-data; boundary=AbC123", "AbC123"},
        {"multipart/form-data; BOUNDARY=\"quoted b\"; charset=x", "quoted b"},
        {"multipart/form-data; boundary=AbC; charset=x", "AbC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(multipartBoundary(c.contentType), c.boundary) << c.contentType;
    }
    EXPECT_THROW(multipartBoundary("multipart/form-data"), MultipartError);
    EXPECT_THROW(multipartBoundary("multipart/form-data; boundary="), MultipartError);
    EXPECT_THROW(multipartBoundary("multipart/form-data; boundary=\"open"), MultipartError);
}

std::string body(const std::string& b, const std::string& file, const std::string& tail = "--") {
    return "--" + b +
           "\r\nContent-Disposition: form-data; name=\"objArquivo\"; filename=\"a b.zip\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n" +
           file + "\r\n--" + b + tail;
}

TEST(Multipart, KeepsEveryByteValueAndNearDelimiterBytes) {
    const std::string b = "Xy7Q0abcdefghijklmnopqrstuvwxyz12";
    std::string file;
    for (int i = 0; i < 256; ++i) {
        file += static_cast<char>(i);
    }
    file += "\r\n--" + b.substr(0, 10) + "\r\n--\r\n"; // almost a delimiter, twice
    for (const std::string& tail : {std::string("--"), std::string("--\r\n")}) {
        auto parts = parseMultipart(body(b, file, tail), b);
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_EQ(parts[0].data, file);
        EXPECT_EQ(parts[0].name, "objArquivo");
        EXPECT_EQ(parts[0].fileName, "a b.zip");
        EXPECT_EQ(parts[0].contentType, "application/octet-stream");
    }
}

TEST(Multipart, ReadsEmptyFilesPreamblesAndSeveralParts) {
    EXPECT_EQ(parseMultipart(body("B", ""), "B").at(0).data, "");

    auto withPreamble = parseMultipart("ignored\r\n" + body("B", "x"), "B");
    EXPECT_EQ(withPreamble.at(0).data, "x");

    std::string two = "--B\r\nContent-Disposition: form-data; name=\"first\"\r\n\r\none\r\n"
                      "--B\r\nContent-Disposition: form-data; filename=\"f\"; name=\"second\"\r\n"
                      "\r\ntwo\r\n--B--";
    auto parts = parseMultipart(two, "B");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].name, "first");
    EXPECT_EQ(parts[0].fileName, "");
    EXPECT_EQ(parts[1].name, "second");
    EXPECT_EQ(parts[1].fileName, "f");
    EXPECT_EQ(parts[1].data, "two");
}

TEST(Multipart, ReadsFileNamesWrittenInWindows1252OrUtf8) {
    struct Case {
        std::string onTheWire;
        const char* utf8;
    };
    const Case cases[] = {
        {"GIA MAR\xC7O.zip", "GIA MARÇO.zip"}, // the client: one byte per character
        {"GIA MARÇO.zip", "GIA MARÇO.zip"},    // already UTF-8
        {"\xE9\xA9", "é©"},                    // not a whole UTF-8 sequence
        {"GIA\x96"
         "1 \x80\x93\x94\x81.zip",
         "GIA–1 €“”\u0081.zip"}, // the client's code page
        {"plain.pdf", "plain.pdf"},
    };
    for (const auto& c : cases) {
        auto parts = parseMultipart("--B\r\nContent-Disposition: form-data; name=\"objArquivo\"; "
                                    "filename=\"" +
                                        c.onTheWire + "\"\r\n\r\nx\r\n--B--",
                                    "B");
        EXPECT_EQ(parts.at(0).fileName, c.utf8) << c.onTheWire;
    }
}

TEST(Multipart, RefusesBrokenBodies) {
    const std::string cases[] = {
        "",
        "no delimiter at all",
        "--B\r\nContent-Type: x\r\n", // headers never end
        "--B\r\n\r\nfile bytes without closing delimiter",
        "--B\r\n\r\nfile\r\n--B",     // ends right after a delimiter
        "--B\r\n\r\nfile\r\n--Bjunk", // neither "--" nor CRLF after it
        "--Bjunk",
    };
    for (const auto& text : cases) {
        EXPECT_THROW(parseMultipart(text, "B"), MultipartError) << text;
    }
}

TEST(Seed, ReadsCompaniesTransmissionsAndServerFields) {
    auto seed = parseSeed("# comment\n[servidor]\nversao = 1.17.00\nanos=2013/2014\r\n\n"
                          "[empresa]\nie=78.045.302\ncnpj=11.222.333/0001-81\n"
                          "razao=Padaria São João Ltda\nsimples=S\nchave=A7K2M9QX\n"
                          "[empresa]\nie=86123452\ncnpj=04567891000113\n"
                          "[transmissao]\nie=78045302\nprotocolo=P1\nreferencia=01/2014\n"
                          "status=2\n");
    EXPECT_EQ(seed.version, "1.17.00");
    EXPECT_EQ(seed.years, "2013/2014");
    ASSERT_EQ(seed.companies.size(), 2u);
    EXPECT_EQ(seed.companies[0].ie, "78045302");
    EXPECT_EQ(seed.companies[0].cnpj, "11222333000181");
    EXPECT_EQ(seed.companies[0].razaoSocial, "Padaria São João Ltda");
    EXPECT_TRUE(seed.companies[0].simples);
    EXPECT_EQ(seed.companies[0].chave, "A7K2M9QX");
    EXPECT_FALSE(seed.companies[1].simples);
    EXPECT_EQ(seed.companies[1].chave, "");
    ASSERT_EQ(seed.transmissions.size(), 1u);
    EXPECT_EQ(seed.transmissions[0].protocolo, "P1");
    EXPECT_EQ(seed.transmissions[0].status, "2");
}

TEST(Seed, NamesTheLineOfTheFirstFault) {
    struct Case {
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"ie=1\n", "line 1"},
        {"[servidor]\nversao=1\n[outra]\n", "line 3"},
        {"[empresa]\nie=1\ncnpj=2\nfoo=3\n", "line 4"},
        {"[empresa]\nie=1\n", "line 1"},
        {"[empresa]\nie=1\ncnpj=2\nsimples=s\n", "line 4"},
        {"[empresa]\nie=1\ncnpj=2\nchave=SHORT\n", "line 1"},
        {"[transmissao]\nie=1\n", "line 1"},
        {"[servidor\n", "line 1"},
        {"[servidor]\nno equals sign\n", "line 2"},
    };
    for (const auto& c : cases) {
        try {
            parseSeed(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const SeedError& e) {
            EXPECT_NE(std::string(e.what()).find(c.line), std::string::npos)
                << c.text << " -> " << e.what();
        }
    }
    EXPECT_THROW(readSeedFile("/nonexistent/seed.ini"), SeedError);
}

TEST(CommandLine, ReadsEveryOption) {
    auto cl = parseCommandLine({"--port", "9090", "--data", "/tmp/v", "--process-after", "30",
                                "--seed", "s.ini", "--version", "1.17", "--years", "2025/2026"});
    EXPECT_FALSE(cl.help);
    EXPECT_EQ(cl.options.port, 9090);
    EXPECT_EQ(cl.options.dataDir, "/tmp/v");
    EXPECT_EQ(cl.options.processAfterSeconds, 30);
    EXPECT_EQ(cl.options.seedFile, "s.ini");
    EXPECT_EQ(cl.options.version, "1.17");
    EXPECT_EQ(cl.options.years, "2025/2026");
    EXPECT_EQ(parseCommandLine({}).options.port, 8080);
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
}

TEST(CommandLine, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {"--port"},       {"--port", "x"},  {"--port", "65536"},       {"--port", "80x"},
        {"--port", "-1"}, {"--bogus", "1"}, {"--process-after", "-5"}, {"stray"},
    };
    for (const auto& args : cases) {
        EXPECT_THROW(parseCommandLine(args), UsageError) << args.front();
    }
}

} // namespace
} // namespace valdoria
