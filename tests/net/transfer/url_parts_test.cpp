#include "net/transfer/url_parts.h"

#include <gtest/gtest.h>

namespace quillbox::net {
namespace {

TEST(UrlPartsTest, SchemeIsCompletedOnlyWhenMissing) {
    EXPECT_EQ(CompleteScheme("host/x"), "http://host/x");
    EXPECT_EQ(CompleteScheme("HTTPS://host/x"), "HTTPS://host/x");
    // Another scheme is not one the engine speaks: it becomes a host name.
    EXPECT_EQ(CompleteScheme("gopher://h"), "http://gopher://h");
}

TEST(UrlPartsTest, HostLosesPortAndPathButIpv6KeepsBrackets) {
    EXPECT_EQ(HostNameOf("http://[::1]:8080/p"), "[::1]");
    EXPECT_EQ(HostNameOf("ftp://user:pw@files.example:21/a"), "files.example");
}

TEST(UrlPartsTest, CrackSplitsEveryPartOrRefuses) {
    const auto parts = CrackUrl("https://u:p@[::1]:8443/dir/f.txt?a=1#top");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->schemeNumber, UrlScheme::Https);
    EXPECT_EQ(parts->host, "[::1]");
    EXPECT_EQ(parts->port, 8443);
    EXPECT_EQ(parts->user + ":" + parts->password, "u:p");
    EXPECT_EQ(parts->path, "/dir/f.txt");
    EXPECT_EQ(parts->extraInfo, "?a=1#top");
    EXPECT_EQ(CrackUrl("http://h")->port, 80);
    for (const char* broken : {"no-scheme", "http:///path", "http://h:port/", "http://h:70000/"})
        EXPECT_FALSE(CrackUrl(broken)) << broken;
}

TEST(UrlPartsTest, FileUrlBecomesDecodedPath) {
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%4"), "%4");
    EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
    EXPECT_EQ(FileUrlToPath("file:///tmp/a%20b.xml"), "/tmp/a b.xml");
    EXPECT_EQ(FileUrlToPath("file://localhost/tmp/x"), "/tmp/x");
    EXPECT_FALSE(FileUrlToPath("file://otherhost/tmp/x"));
    EXPECT_FALSE(FileUrlToPath("file:///" + std::string(300, 'a')));
}

}  // namespace
}  // namespace quillbox::net
