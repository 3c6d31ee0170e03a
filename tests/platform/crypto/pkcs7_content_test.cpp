#include "platform/crypto/pkcs7_content.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace quillbox::crypto {
namespace {

// Messages are made with the openssl command and the project's own tool, as a server
// operator would make them.
class Pkcs7ContentTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir();
        Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=t "
            "-days 1 -keyout " +
            Path("k.pem") + " -out " + Path("c.pem") + " 2>/dev/null");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::string Path(const std::string& name) { return (*dir_ / name).string(); }

    static void Run(const std::string& command) {
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // The signed message the project's tool makes of content.
    static std::string Wrapped(const std::string& content) {
        test::WriteFile(*dir_ / "in", content);
        Run(std::string(QUILLBOX_SOURCE_DIR) + "/tools/make-task-document --cert " + Path("c.pem") +
            " --key " + Path("k.pem") + " " + Path("in") + " " + Path("out.p7"));
        return test::ReadFile(*dir_ / "out.p7");
    }

    // A message made by the openssl command with its own arguments around IN and OUT.
    static std::string Openssl(const std::string& arguments, const std::string& content) {
        test::WriteFile(*dir_ / "in", content);
        Run("openssl " + arguments + " -in " + Path("in") + " -out " + Path("out.der") +
            " 2>/dev/null");
        return test::ReadFile(*dir_ / "out.der");
    }

    static std::string SignArgs() {
        return " -binary -outform DER -signer " + Path("c.pem") + " -inkey " + Path("k.pem");
    }

    static test::TempDir* dir_;
};

test::TempDir* Pkcs7ContentTest::dir_ = nullptr;

TEST_F(Pkcs7ContentTest, ContentComesOutByteForByte) {
    // Nothing, line ends, a NUL, non-ASCII text and bytes that are not UTF-8 are all kept:
    // the decoding is the caller's business.
    for (const std::string& content :
         {std::string(), std::string("<getplugininfo/>"),
          std::string("<a>\r\n\xC5\xA1\xC3\xA9</a>\n"), std::string("x\0y", 3),
          std::string("<a b='\xC3\x28'/>"), std::string(70000, 'q')}) {
        const std::optional<std::string> got = SignedDataContent(Wrapped(content));
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, content);
    }
}

TEST_F(Pkcs7ContentTest, OtherSignersFormsAreRead) {
    // Streamed BER with indefinite lengths and chunked content, a signer named by its key
    // identifier, and the older PKCS #7 command.
    const std::string content(20000, 'z');
    EXPECT_EQ(SignedDataContent(Openssl("cms -sign -nodetach -stream" + SignArgs(), content)),
              content);
    EXPECT_EQ(SignedDataContent(Openssl("cms -sign -nodetach -keyid" + SignArgs(), content)),
              content);
    EXPECT_EQ(SignedDataContent(Openssl("smime -sign -nodetach" + SignArgs(), content)), content);
}

TEST_F(Pkcs7ContentTest, BytesThatAreNotASignedMessageWithContentAreRefused) {
    EXPECT_FALSE(SignedDataContent(""));
    EXPECT_FALSE(SignedDataContent("<getplugininfo/>"));
    EXPECT_FALSE(SignedDataContent(std::string("\x30\x80\x00\x00", 4)));
    // A detached signature carries no task.
    EXPECT_FALSE(SignedDataContent(Openssl("cms -sign" + SignArgs(), "<a/>")));
    // Other message types, even those that carry the content: plain data, digested
    // and encrypted.
    EXPECT_FALSE(SignedDataContent(Openssl("cms -data_create -outform DER", "<a/>")));
    EXPECT_FALSE(SignedDataContent(Openssl("cms -digest_create -outform DER", "<a/>")));
    EXPECT_FALSE(SignedDataContent(
        Openssl("cms -EncryptedData_encrypt -aes128 -secretkey 000102030405060708090a0b0c0d0e0f "
                "-outform DER",
                "<a/>")));
}

TEST_F(Pkcs7ContentTest, DamagedMessagesAreRefused) {
    const std::string message = Wrapped("<getplugininfo/>");
    ASSERT_TRUE(SignedDataContent(message));
    // Every cut is noticed: the outer length no longer matches.
    for (std::size_t size = 0; size < message.size(); ++size) {
        EXPECT_FALSE(SignedDataContent(std::string_view(message).substr(0, size))) << size;
    }
    EXPECT_FALSE(SignedDataContent(message + '\0'));
    EXPECT_FALSE(SignedDataContent(message + message));
}

}  // namespace
}  // namespace quillbox::crypto
