#include "net/transfer/url_parts.h"

#include <gtest/gtest.h>

namespace quillbox::net {
namespace {

TEST(UrlPartsTest, SchemeIsCompletedOnlyWhenMissing) {
    EXPECT_EQ(CompleteScheme("host/x"), "http://host/x");
    EXPECT_EQ(CompleteScheme("https://host/x"), "https://host/x");
    EXPECT_EQ(CompleteScheme("ftp://host/x"), "ftp://host/x");
    EXPECT_EQ(CompleteScheme("HTTPS://host/x"), "HTTPS://host/x");
    // Another scheme is not one the engine speaks: it becomes a host name.
    EXPECT_EQ(CompleteScheme("gopher://h"), "http://gopher://h");
}

TEST(UrlPartsTest, HostLosesPortAndPathButIpv6KeepsBrackets) {
    EXPECT_EQ(HostNameOf("http://host:8080/p"), "host");
    EXPECT_EQ(HostNameOf("http://[::1]:8080/p"), "[::1]");
    EXPECT_EQ(HostNameOf("http://[::1]/p"), "[::1]");
    EXPECT_EQ(HostNameOf("http://[fe80::1:2]"), "[fe80::1:2]");
    EXPECT_EQ(HostNameOf("ftp://user:pw@files.example:21/a"), "files.example");
    EXPECT_EQ(HostNameOf("http://host"), "host");
}

TEST(UrlPartsTest, CrackSplitsEveryPart) {
    const auto parts = CrackUrl("https://u:p@[::1]:8443/dir/f.txt?a=1#top");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->schemeNumber, UrlScheme::Https);
    EXPECT_EQ(parts->host, "[::1]");
    EXPECT_EQ(parts->port, 8443);
    EXPECT_EQ(parts->user, "u");
    EXPECT_EQ(parts->password, "p");
    EXPECT_EQ(parts->path, "/dir/f.txt");
    EXPECT_EQ(parts->extraInfo, "?a=1#top");

    const auto plain = CrackUrl("http://h");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->port, 80);
    EXPECT_EQ(plain->path, "");
}

TEST(UrlPartsTest, CrackRefusesBrokenUrls) {
    EXPECT_FALSE(CrackUrl("no-scheme"));
    EXPECT_FALSE(CrackUrl("http:///path"));
    EXPECT_FALSE(CrackUrl("http://h:port/"));
    EXPECT_FALSE(CrackUrl("http://h:70000/"));
}

TEST(UrlPartsTest, PercentDecodingTakesOnlyTwoHexDigits) {
    EXPECT_EQ(PercentDecode("a%20b%2fc"), "a b/c");
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%4"), "%4");
    EXPECT_EQ(PercentDecode("%zz%41"), "%zzA");
}

TEST(UrlPartsTest, FileUrlBecomesDecodedPath) {
    EXPECT_EQ(FileUrlToPath("file:///tmp/a%20b.xml"), "/tmp/a b.xml");
    EXPECT_EQ(FileUrlToPath("file://localhost/tmp/x"), "/tmp/x");
    EXPECT_FALSE(FileUrlToPath("file://otherhost/tmp/x"));
    EXPECT_FALSE(FileUrlToPath("file:///"));
    EXPECT_FALSE(FileUrlToPath("file:///" + std::string(300, 'a')));
}

}  // namespace
}  // namespace quillbox::net
