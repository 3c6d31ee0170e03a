// Loading task documents: what is accepted, what is refused, and at what cost.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/xml/xml_document.h"
#include "sanitizer_build.h"
#include "test_support.h"

namespace quillbox::xml {
namespace {

using namespace std::chrono_literals;

// The faults the timed cases guard against cost a minute or more; sound code, milliseconds.
template <typename Action>
bool Quick(Action action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::steady_clock::now() - start < 5s;
}

bool Refused(const std::string& text) {
    return Quick([&] { EXPECT_FALSE(XmlDocument::Parse(text)) << text.substr(0, 200); });
}

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// <r a0='v0' a1='v1' ...>; Tag(2, "xmlns:p", "", 5) is <r xmlns:p5='v5' xmlns:p6='v6'>.
std::string Tag(std::size_t attributes, const std::string& name = "a",
                const std::string& suffix = "", std::size_t from = 0) {
    std::string tag = "<r";
    for (std::size_t i = from; i < from + attributes; ++i) {
        tag += " " + name + std::to_string(i) + suffix + "='v" + std::to_string(i) + "'";
    }
    return tag + ">";
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

TEST(XmlParse, TextIsTakenAsUtf8WhateverTheDeclarationSays) {
    auto doc =
        XmlDocument::Parse("\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-2'?><a>Příliš</a>");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->Root().Text(), "Příliš");
}

TEST(XmlParse, NotWellFormedGivesNullAndPrintsNothing) {
    testing::internal::CaptureStderr();
    for (const std::string text : {
             "", "text", "<a>", "<a></b>", "<a/><b/>", "<a>&undeclared;</a>", "<a x='1' x='2'/>",
             "<a>\xFF</a>", "<a>\x01</a>", "<a b='<'/>",
             "<p:a/>",                   // prefix never declared
             "<a/><?p:i x?>",            // colon in an instruction's name
             "<a xmlns:p=''><p:b/></a>"  // prefix bound to nothing
         }) {
        EXPECT_FALSE(XmlDocument::Parse(text)) << text;
    }
    // libxml2 alone stops reading at a NUL, and takes these first bytes for UTF-16 or EBCDIC.
    EXPECT_FALSE(XmlDocument::Parse(std::string("<a/>\0<junk", 10)));
    EXPECT_FALSE(XmlDocument::Parse(std::string("\xFF\xFE<\0a\0/\0>\0", 10)));
    EXPECT_FALSE(
        XmlDocument::Parse("\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7F"
                           "\xF1\x4B\xF0\x7F\x6F\x6E\x4C\x81\x61\x6E"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlParse, DocumentTypeDeclarationIsRefused) {
    std::string laughs = "<!DOCTYPE l [<!ENTITY l0 'lol'>";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " '" +
                  Repeat("&l" + std::to_string(i - 1) + ";", 10) + "'>";
    }
    laughs += "]><l>&l9;</l>";
    testing::internal::CaptureStderr();
    for (const std::string& text : {laughs, std::string("<!DOCTYPE a><a/>"),
                                    std::string("<!DOCTYPE a [<!ENTITY x 'y'>]><a>&x;</a>")}) {
        EXPECT_TRUE(Refused(text));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // libxml2 parses on after a malformed declaration, adding its default attributes
    // to every element.
    std::string attributes;
    for (int i = 0; i < 5000; ++i) {
        attributes += " a" + std::to_string(i) + " CDATA 'x'";
    }
    EXPECT_TRUE(
        Refused("<!DOCTYPE [<!ATTLIST r" + attributes + ">]><x>" + Repeat("<r/>", 2000) + "</x>"));
}

TEST(XmlParse, ExternalFilesAndUrlsAreNeverOpened) {
    test::TempDir dir;
    const auto fifo = dir / "secret";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Fd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener.get(), 4), 0);
    ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);

    for (const std::string& url : {"file://" + fifo.string(),
                                   "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port))}) {
        for (const std::string& text : {"<!DOCTYPE r [<!ENTITY x SYSTEM '" + url + "'>]><r>&x;</r>",
                                        "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + url + "'> %p;]><r/>",
                                        "<!DOCTYPE r PUBLIC '-//X//T//EN' '" + url + "'><r/>"}) {
            // A reader of the FIFO would block in open() until this probe opens it too.
            std::atomic<bool> done{false};
            std::thread parse([&] {
                EXPECT_FALSE(XmlDocument::Parse(text));
                done = true;
            });
            while (!done) {
                Fd writer(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
                EXPECT_LT(writer.get(), 0) << "opened for " << text;
                std::this_thread::sleep_for(1ms);
            }
            parse.join();
        }
    }
    pollfd connection{listener.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&connection, 1, 100), 0) << "the parser connected";
}

TEST(XmlParse, CostlyShapesAreRefusedQuickly) {
    // Depth: libxml2's own cap is lifted with the one on huge text nodes.
    EXPECT_TRUE(XmlDocument::Parse(Repeat("<e>", 256) + Repeat("</e>", 256)));
    EXPECT_TRUE(Refused(Repeat("<e>", 257) + Repeat("</e>", 257)));
    EXPECT_TRUE(Refused(Repeat("<e>", 100000) + Repeat("</e>", 100000)));

    // Attributes of one tag are compared pairwise, also after an error.
    EXPECT_TRUE(XmlDocument::Parse(Tag(256) + "</r>"));
    EXPECT_TRUE(Refused(Tag(257) + "</r>"));
    EXPECT_TRUE(Refused(Tag(300000) + "</r>"));
    EXPECT_TRUE(Refused("<x>&undeclared;" + Tag(300000) + "</r></x>"));
    // Quoted values, CDATA and comments add nothing to the count.
    std::string tricky = "<r";
    for (int i = 0; i < 256; ++i) {
        tricky += " a" + std::to_string(i) + (i % 2 ? "='x=\"y\" >'" : "=\"x='y'\"");
    }
    EXPECT_TRUE(XmlDocument::Parse(tricky + "><![CDATA[<b a='1'>]]><!--<b c='3'>--></r>"));

    // Every prefix is looked up through all declarations in scope.
    EXPECT_TRUE(XmlDocument::Parse(Tag(200, "xmlns:p") + Tag(56, "xmlns:p", "", 200) + "</r></r>"));
    EXPECT_TRUE(Refused(Tag(200, "xmlns:p") + Tag(57, "xmlns:p", "", 200) + "</r></r>"));
    std::string scopes;
    for (int level = 0; level < 200; ++level) {
        scopes += Tag(200, "xmlns:p", "", level * 200);
    }
    EXPECT_TRUE(Refused(scopes + Repeat(Tag(200, "p", ":a") + "</r>", 2000) + Repeat("</r>", 200)));
}

// Large Base64 payloads; libxml2 refuses a text node over 10 MB unless told otherwise.
constexpr std::size_t kLarge = kUnderSanitizer ? 20u << 20 : 50u << 20;

TEST(XmlParse, LargeDocumentsAndTextNodesAreRead) {
    const std::string item =
        "<item id=\"12345\" kind=\"row\">" + std::string(150, 'r') + "<br/></item>\n";
    const std::string rows = "<list>\n" + Repeat(item, kLarge / item.size()) + "</list>";
    auto doc = XmlDocument::Parse(rows);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->SelectAll("//item").size(), kLarge / item.size());
    EXPECT_EQ(doc->Serialize(), rows);

    std::string payload(kLarge, 'A');
    for (std::size_t i = 0; i < payload.size(); i += 7) {
        payload[i] = static_cast<char>('a' + i % 26);
    }
    doc = XmlDocument::Parse("<attachment>" + payload + "</attachment>");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->Root().Text(), payload);
}

}  // namespace
}  // namespace quillbox::xml
