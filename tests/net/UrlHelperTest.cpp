// URL splitting for the upload: host, port, path and query for the URLs the
// client builds, and the odd shapes a mistyped setting produces.
#include "net/url_helper.h"

#include <gtest/gtest.h>

namespace {

struct UrlCase {
    const char* url;
    const char* scheme;
    const char* host;
    qint16 port;
    const char* uri;
    const char* query;
};

TEST(ExtractUrl, SplitsEveryShape) {
    const UrlCase cases[] = {
        {"http://server.valdoria.gov.br:8080/client/xt_upload_1_15_01.php?IE=123&key=AB", "http",
         "server.valdoria.gov.br", 8080, "/client/xt_upload_1_15_01.php", "IE=123&key=AB"},
        {"http://10.0.0.5/orn/server/index.php?wsdl", "http", "10.0.0.5", 0,
         "/orn/server/index.php", "wsdl"},
        {"http://host:80/", "http", "host", 80, "/", ""},
        // Only the first "?" splits; later ones stay in the query.
        {"http://h:1/p?a=1?b=2", "http", "h", 1, "/p", "a=1?b=2"},
        // Blank between port and path: numeric port, path from the slash.
        {"http://host:8080 /path", "http", "host", 8080, "/path", ""},
        {"http://host: 8080 /path", "http", "host", 8080, "/path", ""},
        // No slash: the whole rest is the host, colon and port included.
        {"http://host:8080", "http", "host:8080", 0, "/", ""},
        {"host", "", "host", 0, "/", ""},
        {"", "", "", 0, "/", ""},
        // Colon after the first slash belongs to the path.
        {"http://host/a:b?c=d:e", "http", "host", 0, "/a:b", "c=d:e"},
        // No scheme.
        {"host:21/x", "", "host", 21, "/x", ""},
        // Port not numeric, empty, signed, too large, or at the edge of the field.
        {"http://host:abc/x", "http", "host", 0, "/x", ""},
        {"http://host:/x", "http", "host", 0, "/x", ""},
        {"http://host:-80/x", "http", "host", 0, "/x", ""},
        {"http://host:8.5/x", "http", "host", 0, "/x", ""},
        {"http://host:32767/x", "http", "host", 32767, "/x", ""},
        {"http://host:32768/x", "http", "host", 0, "/x", ""},
        {"http://host:65535/x", "http", "host", 0, "/x", ""},
        {"http://host:99999999999999999999/x", "http", "host", 0, "/x", ""},
        {"http://host:0080/x", "http", "host", 80, "/x", ""},
        // Empty host before the colon.
        {"http://:81/x", "http", "", 81, "/x", ""},
        // Only the first "://" separates the scheme.
        {"a://b://c/d", "a", "b", 0, "//c/d", ""},
    };
    for (const UrlCase& c : cases) {
        const UrlParts p = url_helper::ExtractUrl(QString::fromLatin1(c.url));
        SCOPED_TRACE(c.url);
        EXPECT_EQ(p.Scheme, QLatin1String(c.scheme));
        EXPECT_EQ(p.Host, QLatin1String(c.host));
        EXPECT_EQ(p.Port, c.port);
        EXPECT_EQ(p.URI, QLatin1String(c.uri));
        EXPECT_EQ(p.Query, QLatin1String(c.query));
    }
}

} // namespace
