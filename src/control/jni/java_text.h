// Java strings to and from the plug-in's UTF-8 text. The conversion goes through UTF-16
// (GetStringChars / NewString): the JVM's modified UTF-8 would mangle characters outside
// the Basic Multilingual Plane, and certificate names may hold any of them.
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::jni {

// The text of a non-null Java string. A string that is not valid UTF-16 (a lone
// surrogate) gives the empty text. nullopt when the JVM could not hand out the
// characters; a Java exception is then pending.
std::optional<std::string> FromJavaString(JNIEnv* env, jstring text);

// A new Java string holding utf8 (the empty string when utf8 is not valid UTF-8).
// nullptr when the JVM could not make it; a Java exception is then pending.
jstring ToJavaString(JNIEnv* env, std::string_view utf8);

}  // namespace quillbox::jni
