#include "signing/engine/certificate_id.h"

#include <algorithm>

#include "core/base64/base64_coder.h"
#include "signing/engine/digest_info.h"

namespace quillbox::signing {

Thumbprint ThumbprintOf(std::span<const std::uint8_t> der) {
    Thumbprint thumbprint{};
    if (auto digest = HashData(HashKind::Sha1, der);
        digest && digest->size() == thumbprint.size()) {
        std::copy(digest->begin(), digest->end(), thumbprint.begin());
    }
    return thumbprint;
}

std::string CertificateIdOf(std::span<const std::uint8_t> der) {
    const Thumbprint thumbprint = ThumbprintOf(der);
    return Base64Coder::EncodeBytes(
        std::string_view(reinterpret_cast<const char*>(thumbprint.data()), thumbprint.size()));
}

std::optional<Thumbprint> ThumbprintFromId(std::string_view id) {
    const std::string bytes = Base64Coder::DecodeText(id);
    Thumbprint thumbprint{};
    if (bytes.size() != thumbprint.size() || Base64Coder::EncodeBytes(bytes) != id) {
        return std::nullopt;
    }
    std::copy(bytes.begin(), bytes.end(), thumbprint.begin());
    return thumbprint;
}

}  // namespace quillbox::signing
