// Encode and decode throughput of Base64Coder against OpenSSL's block functions on a large
// random buffer, best of several runs, after checking that both give the same text and bytes.
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/base64/base64_coder.h"

namespace {

constexpr std::uint32_t kSize = 64u << 20;
constexpr int kRuns = 7;

double BestSeconds(const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

double MegabytesPerSecond(std::uint32_t bytes, double seconds) {
    return bytes / 1e6 / seconds;
}

}  // namespace

int main() {
    std::vector<std::uint8_t> plain(kSize);
    std::mt19937_64 rng(2024);
    for (std::size_t i = 0; i < plain.size(); i += 8) {
        const std::uint64_t v = rng();
        std::memcpy(plain.data() + i, &v, std::min<std::size_t>(8, plain.size() - i));
    }

    quillbox::Base64Coder coder;
    coder.Encode(plain.data(), kSize);
    const std::uint32_t text_size = coder.EncodedSize();
    std::vector<unsigned char> ssl_text(text_size + 1);
    const int ssl_text_size =
        EVP_EncodeBlock(ssl_text.data(), plain.data(), static_cast<int>(kSize));
    if (ssl_text_size < 0 || static_cast<std::uint32_t>(ssl_text_size) != text_size ||
        std::memcmp(ssl_text.data(), coder.EncodedMessage(), text_size) != 0) {
        std::printf("MISMATCH: encoded text differs from OpenSSL's\n");
        return 1;
    }
    const std::vector<char> text(coder.EncodedMessage(), coder.EncodedMessage() + text_size);

    quillbox::Base64Coder decoder;
    decoder.Decode(text.data(), text_size);
    std::vector<unsigned char> ssl_plain(text_size / 4 * 3 + 3);
    // OpenSSL counts the bytes of the pads too; only the real bytes are compared.
    const int ssl_plain_size =
        EVP_DecodeBlock(ssl_plain.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text_size));
    if (decoder.DecodedSize() != kSize || ssl_plain_size < static_cast<int>(kSize) ||
        std::memcmp(decoder.DecodedMessage(), plain.data(), kSize) != 0 ||
        std::memcmp(ssl_plain.data(), plain.data(), kSize) != 0) {
        std::printf("MISMATCH: decoded bytes differ\n");
        return 1;
    }

    const double coder_encode = BestSeconds([&] { coder.Encode(plain.data(), kSize); });
    const double ssl_encode = BestSeconds(
        [&] { EVP_EncodeBlock(ssl_text.data(), plain.data(), static_cast<int>(kSize)); });
    const double coder_decode = BestSeconds([&] { decoder.Decode(text.data(), text_size); });
    const double ssl_decode = BestSeconds([&] {
        EVP_DecodeBlock(ssl_plain.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text_size));
    });
    const double fresh_encode = BestSeconds([&] {
        quillbox::Base64Coder fresh;
        fresh.Encode(plain.data(), kSize);
    });
    const double fresh_decode = BestSeconds([&] {
        quillbox::Base64Coder fresh;
        fresh.Decode(text.data(), text_size);
    });

    const std::string_view plain_view(reinterpret_cast<const char*>(plain.data()), kSize);
    const std::string_view text_view(text.data(), text_size);
    const double helper_encode =
        BestSeconds([&] { static_cast<void>(quillbox::Base64Coder::EncodeBytes(plain_view)); });
    const double helper_decode =
        BestSeconds([&] { static_cast<void>(quillbox::Base64Coder::DecodeText(text_view)); });

    std::printf("base64 on %u MiB of random bytes, best of %d runs (MB/s of plain bytes)\n",
                kSize >> 20, kRuns);
    std::printf("  encode  Base64Coder %8.0f   OpenSSL %8.0f   ratio %.2fx\n",
                MegabytesPerSecond(kSize, coder_encode), MegabytesPerSecond(kSize, ssl_encode),
                ssl_encode / coder_encode);
    std::printf("  decode  Base64Coder %8.0f   OpenSSL %8.0f   ratio %.2fx\n",
                MegabytesPerSecond(kSize, coder_decode), MegabytesPerSecond(kSize, ssl_decode),
                ssl_decode / coder_decode);
    std::printf("  fresh coder each run: encode %8.0f   decode %8.0f\n",
                MegabytesPerSecond(kSize, fresh_encode), MegabytesPerSecond(kSize, fresh_decode));
    std::printf("  string helpers:       encode %8.0f   decode %8.0f\n",
                MegabytesPerSecond(kSize, helper_encode), MegabytesPerSecond(kSize, helper_decode));
    std::printf("  texts identical: yes\n");
    return 0;
}
