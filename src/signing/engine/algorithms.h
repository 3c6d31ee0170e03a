// The algorithm identifiers and names a sign task hands to the engine, and the hash
// algorithms behind them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillbox::signing {

// Identifier values as they travel in the signing context.
inline constexpr std::uint32_t kAlgRawRsa = 0x2400;  // the data is already a digest
inline constexpr std::uint32_t kAlgMd5 = 0x8003;
inline constexpr std::uint32_t kAlgSha1 = 0x8004;
inline constexpr std::uint32_t kAlgSha256 = 0x800C;
inline constexpr std::uint32_t kAlgSha384 = 0x800D;
inline constexpr std::uint32_t kAlgSha512 = 0x800E;

enum class HashKind { Md5, Sha1, Sha256, Sha384, Sha512 };

// The hash of an identifier (not kAlgRawRsa); nothing for 0 and unknown values.
std::optional<HashKind> HashFromId(std::uint32_t algorithmId);
// The hash of a name ("MD5", "SHA1", "SHA256", "SHA384", "SHA512"; exact case).
std::optional<HashKind> HashFromName(std::string_view name);
std::size_t DigestSize(HashKind hash);

}  // namespace quillbox::signing
