// The native side of com.kestrelsoft.callovo.CallOvo: one task per call, on the calling
// Java thread, with a processor of its own.
#include <jni.h>

#include <optional>
#include <string>

#include "com_kestrelsoft_callovo_CallOvo.h"  // generated from the Java class: checks the signature
#include "control/jni/java_text.h"
#include "control/jni/process_setup.h"
#include "control/task_services.h"
#include "core/task_processor.h"

namespace {

void ThrowNullPointer(JNIEnv* env, const char* message) {
    jclass type = env->FindClass("java/lang/NullPointerException");
    if (type != nullptr) {
        env->ThrowNew(type, message);
    }
}

}  // namespace

extern "C" JNIEXPORT jstring JNICALL Java_com_kestrelsoft_callovo_CallOvo_ExecuteUrl(JNIEnv* env,
                                                                                     jobject,
                                                                                     jstring url) {
    // No C++ exception may unwind into the JVM.
    try {
        if (url == nullptr) {
            ThrowNullPointer(env, "url");
            return nullptr;
        }
        const std::optional<std::string> target = quillbox::jni::FromJavaString(env, url);
        if (!target) {
            return nullptr;
        }
        quillbox::jni::PrepareProcessOnce();
        std::string response;
        {
            // A fresh processor per call: calls share no task state. The status is not
            // handed on; a caller sees a failure as the empty response.
            quillbox::TaskProcessor processor(quillbox::MakeTaskServices());
            processor.ExecuteTask(*target, response);
        }
        return quillbox::jni::ToJavaString(env, response);
    } catch (...) {
        // Out of memory or a fault further down: answered like any failed task.
    }
    return quillbox::jni::ToJavaString(env, {});
}

extern "C" JNIEXPORT void JNICALL Java_com_kestrelsoft_callovo_CallOvo_closeDialogs(JNIEnv*,
                                                                                    jclass) {
    try {
        quillbox::jni::ShutDownDialogs();
    } catch (...) {
        // The process is ending anyway.
    }
}
