// Feeds arbitrary bytes to the task-document reading steps: the signed-message content
// extraction, then strict UTF-8 decoding. Beyond not crashing, the decoded text must be
// the content itself when the content is valid UTF-8 and the empty text otherwise.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/utf.h"
#include "fuzz_check.h"
#include "platform/crypto/pkcs7_content.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> content = quillbox::crypto::SignedDataContent(message);
    if (!content) {
        return 0;
    }
    Check(content->size() < size);
    const std::string text = quillbox::Utf8ToWide(*content);
    Check(quillbox::IsValidUtf8(*content) ? text == *content : text.empty());
    return 0;
}
