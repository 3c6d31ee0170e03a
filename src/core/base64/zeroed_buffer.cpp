#include "core/base64/zeroed_buffer.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quillbox {

std::uint32_t ZeroedBuffer::GrownCapacity(std::uint32_t n) {
    if (n > kMaxRequest) {
        throw std::length_error("buffer request exceeds 32-bit capacity");
    }
    return (n / kGranule + 1) * kGranule;
}

namespace {

#if defined(__linux__)
// From this size on a buffer is mapped directly and asks for huge pages: a large attachment
// otherwise spends more time in first-touch page faults than in encoding.
constexpr std::size_t kMapThreshold = std::size_t{4} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#endif

}  // namespace

void ZeroedBuffer::Release::operator()(std::uint8_t* p) const noexcept {
#if defined(__linux__)
    if (mapped != 0) {
        munmap(p, mapped);
        return;
    }
#endif
    std::free(p);
}

ZeroedBuffer::Storage ZeroedBuffer::Allocate(std::uint32_t capacity) {
#if defined(__linux__)
    if (capacity >= kMapThreshold) {
        const std::size_t length = (capacity + kHugePage - 1) / kHugePage * kHugePage;
        void* block =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) {
            throw std::bad_alloc();
        }
        // Only advice: without huge pages the mapping works the same, just slower.
        madvise(block, length, MADV_HUGEPAGE);
        return Storage(static_cast<std::uint8_t*>(block), Release{length});
    }
#endif
    // calloc hands out zeroed memory, cheaply for fresh pages.
    auto* block = static_cast<std::uint8_t*>(std::calloc(capacity, 1));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return Storage(block, Release{});
}

void ZeroedBuffer::Reserve(std::uint32_t n) {
    if (n < capacity_) {
        return;
    }
    const std::uint32_t capacity = GrownCapacity(n);
    data_ = Allocate(capacity);  // on failure the old block stays as it was
    capacity_ = capacity;
    dirty_ = 0;
}

void ZeroedBuffer::PrepareOverwrite(std::uint32_t n) noexcept {
    ZeroFrom(n);
    dirty_ = std::max(dirty_, n);
}

void ZeroedBuffer::ZeroFrom(std::uint32_t n) noexcept {
    if (n < dirty_) {
        std::memset(data_.get() + n, 0, dirty_ - n);
        dirty_ = n;
    }
}

void ZeroedBuffer::MarkWritten(std::uint32_t end) noexcept {
    dirty_ = std::max(dirty_, end);
}

bool ZeroedBuffer::Overlaps(const void* p, std::size_t n) const noexcept {
    if (data_ == nullptr || p == nullptr || n == 0) {
        return false;
    }
    const auto* first = static_cast<const std::uint8_t*>(p);
    const std::uint8_t* begin = data_.get();
    const std::uint8_t* end = begin + capacity_;
    std::less<const std::uint8_t*> before;
    return before(first, end) && before(begin, first + n);
}

}  // namespace quillbox
