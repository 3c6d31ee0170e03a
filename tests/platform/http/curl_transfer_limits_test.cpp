// Stall limits of one transfer against servers that go quiet, trickle, or are merely slow.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>

#include "net/servers/test_servers.h"
#include "platform/http/transfer.h"

namespace quillbox::http {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr long kLimitMs = 2000;

struct Outcome {
    bool failed = false;
    std::string message;
    std::size_t bytes = 0;
    Clock::duration took{};
};

// One exchange and its whole body, the way the connection engine drives a transfer.
Outcome RunExchange(const std::string& url, const std::vector<std::uint8_t>& upload, long receiveMs,
                    long sendMs, std::chrono::milliseconds callerPause) {
    auto transfer = CreateTransfer();
    transfer->SetProxy(ProxyMode::Direct, "");
    transfer->SetUrl(url);
    transfer->SetVerb(upload.empty() ? "GET" : "POST");
    transfer->SetTimeouts(receiveMs, sendMs, 0);
    Outcome outcome;
    const auto start = Clock::now();
    const SendResult sent = transfer->Send(upload.data(), upload.size(), !upload.empty());
    if (sent.error != TransferError::None) {
        outcome.failed = true;
        outcome.message = sent.message;
    } else {
        std::this_thread::sleep_for(callerPause);
        std::vector<std::uint8_t> piece(65536);
        for (;;) {
            const ReadResult read = transfer->Read(piece.data(), piece.size());
            outcome.bytes += read.bytes;
            if (read.failed) {
                outcome.failed = true;
                outcome.message = read.message;
            }
            if (read.bytes == 0)
                break;
        }
    }
    outcome.took = Clock::now() - start;
    return outcome;
}

TEST(TransferLimitsTest, QuietOrTricklingServersEndAtTheStallLimitAndSlowOnesDoNot) {
    test::HttpTestServer server;
    const std::vector<std::uint8_t> bigUpload(std::size_t{64} << 20, 'u');
    const struct {
        const char* name;
        std::string query;
        bool upload;
        long receiveMs, sendMs;
        std::chrono::milliseconds callerPause;
        const char* failure;  // nullptr: the whole body arrives
    } cases[] = {
        {"never answers", "?wait=20000", false, kLimitMs, 600000, {}, "received in 2000 ms"},
        {"stalls after the headers",
         "?stall=20000&size=10",
         false,
         kLimitMs,
         600000,
         {},
         "received in 2000 ms"},
        {"trickles a byte a second",
         "?trickle=1000&size=20",
         false,
         kLimitMs,
         600000,
         {},
         "received in 2000 ms"},
        // The receive limit is far away: the send limit is what ends a refused upload.
        {"never takes the upload", "?wait=20000", true, 600000, kLimitMs, {}, "sent in 2000 ms"},
        {"answers after half the limit",
         "?wait=1000&size=300000",
         false,
         kLimitMs,
         kLimitMs,
         {},
         nullptr},
        // Time the caller spends between reads is not the server's stall.
        {"caller slower than the limit", "?size=300000", false, kLimitMs, kLimitMs,
         std::chrono::milliseconds(3000), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome =
            RunExchange(server.Url(c.query), c.upload ? bigUpload : std::vector<std::uint8_t>{},
                        c.receiveMs, c.sendMs, c.callerPause);
        if (c.failure == nullptr) {
            EXPECT_FALSE(outcome.failed) << outcome.message;
            EXPECT_EQ(outcome.bytes, 300000u);
            continue;
        }
        EXPECT_TRUE(outcome.failed);
        EXPECT_THAT(outcome.message, HasSubstr(c.failure));
        // Never before the limit; the upper bound only tells an end from a hang.
        EXPECT_GE(outcome.took, std::chrono::milliseconds(kLimitMs));
        EXPECT_LT(outcome.took, std::chrono::seconds(30));
    }
}

}  // namespace
}  // namespace quillbox::http
