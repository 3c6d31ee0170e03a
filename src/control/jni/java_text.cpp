#include "control/jni/java_text.h"

#include <limits>
#include <vector>

#include "core/utf.h"

namespace quillbox::jni {

namespace {

// The characters of a Java string, released when the holder goes.
class StringChars {
  public:
    StringChars(JNIEnv* env, jstring text)
        : env_(env), text_(text), chars_(env->GetStringChars(text, nullptr)) {}
    ~StringChars() {
        if (chars_ != nullptr) {
            env_->ReleaseStringChars(text_, chars_);
        }
    }
    StringChars(const StringChars&) = delete;
    StringChars& operator=(const StringChars&) = delete;

    const jchar* get() const { return chars_; }

  private:
    JNIEnv* env_;
    jstring text_;
    const jchar* chars_;
};

}  // namespace

std::optional<std::string> FromJavaString(JNIEnv* env, jstring text) {
    const jsize length = env->GetStringLength(text);
    StringChars chars(env, text);
    if (chars.get() == nullptr || length < 0) {
        return std::nullopt;
    }
    return Utf16ToUtf8(std::u16string(chars.get(), chars.get() + length));
}

jstring ToJavaString(JNIEnv* env, std::string_view utf8) {
    const std::u16string utf16 = Utf8ToUtf16(utf8);
    if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        jclass error = env->FindClass("java/lang/OutOfMemoryError");
        if (error != nullptr) {
            env->ThrowNew(error, "response too long for a Java string");
        }
        return nullptr;
    }
    // jchar and char16_t are distinct types of the same width: copy rather than alias.
    const std::vector<jchar> units(utf16.begin(), utf16.end());
    static const jchar kNoUnits = 0;
    return env->NewString(units.empty() ? &kNoUnits : units.data(),
                          static_cast<jsize>(units.size()));
}

}  // namespace quillbox::jni
