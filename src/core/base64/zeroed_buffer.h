// A growable byte buffer that reads zero everywhere past the bytes last written to it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace quillbox {

class ZeroedBuffer {
  public:
    static constexpr std::uint32_t kGranule = 4096;
    // Largest request whose rounded-up capacity still fits in 32 bits.
    static constexpr std::uint32_t kMaxRequest = 0xFFFFEFFFu;

    ZeroedBuffer() = default;
    ZeroedBuffer(const ZeroedBuffer&) = delete;
    ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

    // The capacity a request for n bytes grows to: the next multiple of kGranule above n, so
    // at least one zero byte always follows the n bytes. Throws std::length_error when that
    // does not fit in 32 bits.
    static std::uint32_t GrownCapacity(std::uint32_t n);

    std::uint8_t* data() noexcept { return data_.get(); }
    const std::uint8_t* data() const noexcept { return data_.get(); }
    std::uint32_t capacity() const noexcept { return capacity_; }

    // Makes room for n bytes plus a terminating zero. A buffer that has to grow is replaced by
    // a fresh zeroed one: its old contents are dropped.
    void Reserve(std::uint32_t n);

    // Zeroes the whole buffer.
    void Clear() noexcept { ZeroFrom(0); }

    // Zeroes everything from byte n on; the caller is about to overwrite bytes [0, n), which
    // must lie inside the buffer.
    void PrepareOverwrite(std::uint32_t n) noexcept;

    // Zeroes everything from byte n on.
    void ZeroFrom(std::uint32_t n) noexcept;

    // Records that bytes [0, end) may have been written by the caller.
    void MarkWritten(std::uint32_t end) noexcept;

    // True when [p, p + n) shares a byte with the buffer's storage.
    bool Overlaps(const void* p, std::size_t n) const noexcept;

  private:
    // Releases a block the way Allocate obtained it: mapped blocks carry their length.
    struct Release {
        std::size_t mapped;  // 0 for a calloc block
        void operator()(std::uint8_t* p) const noexcept;
    };
    using Storage = std::unique_ptr<std::uint8_t[], Release>;

    static Storage Allocate(std::uint32_t capacity);

    Storage data_;
    std::uint32_t capacity_ = 0;
    // Every byte at or past this index is zero; memset only ever has to cover what lies before.
    std::uint32_t dirty_ = 0;
};

}  // namespace quillbox
