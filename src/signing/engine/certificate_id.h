// CertificateId: the Base64 text of the SHA-1 thumbprint of a certificate's DER.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillbox::signing {

using Thumbprint = std::array<std::uint8_t, 20>;

Thumbprint ThumbprintOf(std::span<const std::uint8_t> der);
std::string CertificateIdOf(std::span<const std::uint8_t> der);

// The thumbprint an id names; nothing when the id is not the Base64 text of exactly 20 bytes
// (the lenient decoder would otherwise turn stray characters into some other thumbprint).
std::optional<Thumbprint> ThumbprintFromId(std::string_view id);

}  // namespace quillbox::signing
