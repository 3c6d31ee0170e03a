// Takes the encapsulated content out of a PKCS #7 / CMS signed-data message. Only the
// content is read: the signatures and certificates in the message are not verified.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::crypto {

// The bytes of the signed-data message's encapsulated content. nullopt when the bytes are
// not exactly one signed-data message (trailing bytes included) or when the message
// carries no content of its own (a detached signature). An empty content gives "".
std::optional<std::string> SignedDataContent(std::string_view message);

}  // namespace quillbox::crypto
