// Lends the Java entry's string conversion to the check program, so that texts which no
// task answers with yet (names in any script) are seen crossing the boundary both ways.
#include <jni.h>

#include "com_kestrelsoft_callovo_check_CallOvoCheck.h"
#include "control/jni/java_text.h"

extern "C" JNIEXPORT jstring JNICALL
Java_com_kestrelsoft_callovo_check_CallOvoCheck_roundTrip(JNIEnv* env, jclass, jstring text) {
    try {
        const auto utf8 = quillbox::jni::FromJavaString(env, text);
        return utf8 ? quillbox::jni::ToJavaString(env, *utf8) : nullptr;
    } catch (...) {
        return nullptr;
    }
}
