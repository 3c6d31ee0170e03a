#include "platform/crypto/pkcs7_content.h"
#include "platform/system/free_with.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/objects.h>

#include <limits>
#include <memory>

namespace quillbox::crypto {

namespace {

using ContentInfoPtr = std::unique_ptr<CMS_ContentInfo, FreeWith<CMS_ContentInfo_free>>;

}  // namespace

std::optional<std::string> SignedDataContent(std::string_view message) {
    if (message.empty() ||
        message.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
        return std::nullopt;
    }
    // The CMS decoder also reads the signer forms that plain PKCS #7 lacks (signers named
    // by key identifier), and BER with indefinite lengths.
    const auto* cursor = reinterpret_cast<const unsigned char*>(message.data());
    const auto* const end = cursor + message.size();
    ContentInfoPtr info(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(message.size())));
    // Parse failures leave entries on this thread's error queue; nobody else reads them.
    ERR_clear_error();
    if (!info || cursor != end) {
        return std::nullopt;
    }
    if (OBJ_obj2nid(CMS_get0_type(info.get())) != NID_pkcs7_signed) {
        return std::nullopt;
    }
    ASN1_OCTET_STRING** content = CMS_get0_content(info.get());
    ERR_clear_error();
    if (content == nullptr || *content == nullptr) {
        return std::nullopt;
    }
    const unsigned char* data = ASN1_STRING_get0_data(*content);
    const int length = ASN1_STRING_length(*content);
    if (length <= 0 || data == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
}

}  // namespace quillbox::crypto
