// Local hashing and the PKCS #1 DigestInfo block, for tokens that sign only prepared blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "signing/engine/algorithms.h"

namespace quillbox::signing {

// The digest of data; nothing when the hash library fails.
std::optional<std::vector<std::uint8_t>> HashData(HashKind hash,
                                                  std::span<const std::uint8_t> data);

// DER of DigestInfo ::= SEQUENCE { AlgorithmIdentifier (with NULL parameters), OCTET STRING }
// over digest, of any length. Empty when encoding fails.
std::vector<std::uint8_t> BuildDigestInfo(HashKind hash, std::span<const std::uint8_t> digest);

}  // namespace quillbox::signing
