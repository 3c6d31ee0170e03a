// The browser's native messaging framing: each message is a 32-bit length in the
// machine's byte order followed by that many bytes of UTF-8 JSON.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace quillbox::host {

// A task travels by URL, so a request never needs more.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// The browser drops the connection on a longer message from the host.
inline constexpr std::size_t kMaxMessageBytes = 1024 * 1024;

enum class FrameResult {
    Message,   // body holds the message
    TooLarge,  // the body was longer than the limit; it was read and thrown away
    End,       // the input ended cleanly between messages
    Broken,    // the input ended inside a message, failed, or the reader was stopped
};

// Reads whole frames from a file descriptor. Stop() (from another thread) makes a
// waiting Read return Broken.
class FrameReader {
  public:
    explicit FrameReader(int fd);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // length is the announced size, also for TooLarge.
    FrameResult Read(std::size_t limit, std::string& body, std::uint32_t& length);
    void Stop();
    bool Stopped() const { return stopped_.load(); }

  private:
    enum class Chunk { Ok, End, Failed };
    Chunk ReadSome(char* into, std::size_t size, std::size_t& got);
    bool ReadExactly(char* into, std::size_t size, bool& endBeforeFirstByte);

    int fd_;
    int stopPipe_[2] = {-1, -1};
    std::atomic<bool> stopped_{false};
};

// Writes one frame; false when the output is gone.
bool WriteFrame(int fd, std::string_view body);

// The messages that carry one answer. An answer whose JSON text fits in limit bytes
// goes as it is. A longer one goes as parts {"id": N, "part": i, "parts": n, "data": s}
// with i = 0 .. n-1: the data of all parts in order joined together is the UTF-8 JSON
// text of the whole answer, and every part is cut between whole characters. Every
// message returned is at most limit bytes.
std::vector<std::string> AnswerMessages(const nlohmann::json& answer,
                                        std::size_t limit = kMaxMessageBytes);

// JSON text of a value; invalid UTF-8 inside strings becomes U+FFFD, never a failure.
std::string JsonText(const nlohmann::json& value);

}  // namespace quillbox::host
