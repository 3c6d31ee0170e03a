#include "control/pkcs7_message_reader.h"

#include "core/globals.h"
#include "platform/crypto/pkcs7_content.h"

namespace quillbox::control {

std::optional<std::string> Pkcs7MessageReader::Content(std::string_view message) {
    std::optional<std::string> content = crypto::SignedDataContent(message);
    if (!content) {
        QB_LOG(LogLevel::File, nullptr, "Task document is not a PKCS #7 signed message (%zu bytes)",
               message.size());
    }
    return content;
}

}  // namespace quillbox::control
