#include "control/host/native_messaging.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace quillbox::host {

namespace {

constexpr std::size_t kLengthBytes = sizeof(std::uint32_t);

// Room for everything of a part except its data: the keys, the id and the numbers.
constexpr std::size_t kPartEnvelopeBytes = 160;

std::size_t EscapedSize(unsigned char c) {
    if (c == '"' || c == '\\') {
        return 2;
    }
    return c < 0x20 ? 6 : 1;
}

}  // namespace

FrameReader::FrameReader(int fd) : fd_(fd) {
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
}

FrameReader::~FrameReader() {
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

void FrameReader::Stop() {
    stopped_.store(true);
    const char byte = 0;
    ssize_t ignored;
    do {
        ignored = write(stopPipe_[1], &byte, 1);
    } while (ignored < 0 && errno == EINTR);
}

FrameReader::Chunk FrameReader::ReadSome(char* into, std::size_t size, std::size_t& got) {
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{fd_, POLLIN, 0}, pollfd{stopPipe_[0], POLLIN, 0}};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Chunk::Failed;
        }
        if (fds[1].revents != 0) {
            return Chunk::Failed;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        ssize_t n = read(fd_, into, size);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return Chunk::Failed;
        }
        if (n == 0) {
            return Chunk::End;
        }
        got = static_cast<std::size_t>(n);
        return Chunk::Ok;
    }
}

bool FrameReader::ReadExactly(char* into, std::size_t size, bool& endBeforeFirstByte) {
    std::size_t done = 0;
    endBeforeFirstByte = false;
    while (done < size) {
        std::size_t got = 0;
        Chunk chunk = ReadSome(into + done, size - done, got);
        if (chunk != Chunk::Ok) {
            endBeforeFirstByte = chunk == Chunk::End && done == 0;
            return false;
        }
        done += got;
    }
    return true;
}

FrameResult FrameReader::Read(std::size_t limit, std::string& body, std::uint32_t& length) {
    body.clear();
    length = 0;
    std::array<char, kLengthBytes> header{};
    bool cleanEnd = false;
    if (!ReadExactly(header.data(), header.size(), cleanEnd)) {
        return cleanEnd ? FrameResult::End : FrameResult::Broken;
    }
    std::memcpy(&length, header.data(), header.size());
    if (length > limit) {
        // Read the body away so the next length is read where it starts.
        std::array<char, 64 * 1024> sink{};
        std::size_t left = length;
        while (left > 0) {
            std::size_t step = left < sink.size() ? left : sink.size();
            if (!ReadExactly(sink.data(), step, cleanEnd)) {
                return FrameResult::Broken;
            }
            left -= step;
        }
        return FrameResult::TooLarge;
    }
    body.resize(length);
    if (length > 0 && !ReadExactly(body.data(), length, cleanEnd)) {
        body.clear();
        return FrameResult::Broken;
    }
    return FrameResult::Message;
}

bool WriteFrame(int fd, std::string_view body) {
    if (body.size() > UINT32_MAX) {
        return false;
    }
    const std::uint32_t length = static_cast<std::uint32_t>(body.size());
    std::string frame(kLengthBytes, '\0');
    std::memcpy(frame.data(), &length, kLengthBytes);
    frame.append(body);
    std::size_t done = 0;
    while (done < frame.size()) {
        ssize_t n = write(fd, frame.data() + done, frame.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string JsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<std::string> AnswerMessages(const nlohmann::json& answer, std::size_t limit) {
    std::string text = JsonText(answer);
    if (text.size() <= limit) {
        return {std::move(text)};
    }
    if (limit < kPartEnvelopeBytes + 8) {
        throw std::invalid_argument("message limit too small for parts");
    }
    const std::size_t budget = limit - kPartEnvelopeBytes;
    std::vector<std::string_view> slices;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        std::size_t escaped = 0;
        while (end < text.size()) {
            std::size_t cost = EscapedSize(static_cast<unsigned char>(text[end]));
            if (escaped + cost > budget) {
                break;
            }
            escaped += cost;
            ++end;
        }
        // Never cut a character: step back to the first byte of the one cut.
        while (end < text.size() && end > start &&
               (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;
        }
        slices.push_back(std::string_view(text).substr(start, end - start));
        start = end;
    }
    std::vector<std::string> messages;
    messages.reserve(slices.size());
    const nlohmann::json id = answer.contains("id") ? answer["id"] : nlohmann::json();
    for (std::size_t i = 0; i < slices.size(); ++i) {
        nlohmann::json part = {
            {"id", id}, {"part", i}, {"parts", slices.size()}, {"data", std::string(slices[i])}};
        messages.push_back(JsonText(part));
        if (messages.back().size() > limit) {
            throw std::logic_error("answer part over the message limit");
        }
    }
    return messages;
}

}  // namespace quillbox::host
