#include "platform/pkcs11/module.h"

#include <dlfcn.h>

#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/pkcs11/token_store.h"

namespace quillbox::pkcs11 {

namespace {

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

// Deliberately leaked: destroying it at exit could run after a module's own destructors.
std::map<std::string, std::shared_ptr<Module>>& Registry() {
    static auto* modules = new std::map<std::string, std::shared_ptr<Module>>();
    return *modules;
}

struct LibraryCloser {
    void operator()(void* library) const { ::dlclose(library); }
};

}  // namespace

std::shared_ptr<Module> Module::Load(const std::string& path) {
    std::lock_guard lock(RegistryLock());
    auto& modules = Registry();
    if (auto found = modules.find(path); found != modules.end()) {
        return found->second;
    }
    std::unique_ptr<void, LibraryCloser> library(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        const char* why = ::dlerror();
        throw TokenError(TokenError::Stage::LoadModule, 0,
                         "cannot load " + path + ": " + (why != nullptr ? why : "unknown"));
    }
    auto getList =
        reinterpret_cast<CK_C_GetFunctionList>(::dlsym(library.get(), "C_GetFunctionList"));
    CK_FUNCTION_LIST* functions = nullptr;
    if (getList == nullptr || getList(&functions) != CKR_OK || functions == nullptr) {
        throw TokenError(TokenError::Stage::LoadModule, 0, path + " has no Cryptoki function list");
    }
    CK_C_INITIALIZE_ARGS args{};
    args.flags = CKF_OS_LOCKING_OK;
    const CK_RV rv = functions->C_Initialize(&args);
    // From here the library stays loaded for good: in use, or (after a failed C_Initialize)
    // possibly running threads of its own.
    library.release();
    // Someone else in the process initialised it already: theirs to finalise, ours to use.
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        throw TokenError(TokenError::Stage::Initialize, rv,
                         "C_Initialize of " + path + " failed: " + ReturnValueName(rv));
    }
    auto module = std::shared_ptr<Module>(new Module(path, functions));
    modules.emplace(path, module);
    return module;
}

std::string ReturnValueName(CK_RV rv) {
    switch (rv) {
        case CKR_OK:
            return "CKR_OK";
        case CKR_CANCEL:
            return "CKR_CANCEL";
        case CKR_HOST_MEMORY:
            return "CKR_HOST_MEMORY";
        case CKR_GENERAL_ERROR:
            return "CKR_GENERAL_ERROR";
        case CKR_FUNCTION_FAILED:
            return "CKR_FUNCTION_FAILED";
        case CKR_ARGUMENTS_BAD:
            return "CKR_ARGUMENTS_BAD";
        case CKR_DEVICE_ERROR:
            return "CKR_DEVICE_ERROR";
        case CKR_DEVICE_REMOVED:
            return "CKR_DEVICE_REMOVED";
        case CKR_KEY_HANDLE_INVALID:
            return "CKR_KEY_HANDLE_INVALID";
        case CKR_KEY_TYPE_INCONSISTENT:
            return "CKR_KEY_TYPE_INCONSISTENT";
        case CKR_KEY_FUNCTION_NOT_PERMITTED:
            return "CKR_KEY_FUNCTION_NOT_PERMITTED";
        case CKR_MECHANISM_INVALID:
            return "CKR_MECHANISM_INVALID";
        case CKR_DATA_LEN_RANGE:
            return "CKR_DATA_LEN_RANGE";
        case CKR_OPERATION_NOT_INITIALIZED:
            return "CKR_OPERATION_NOT_INITIALIZED";
        case CKR_PIN_INCORRECT:
            return "CKR_PIN_INCORRECT";
        case CKR_PIN_LEN_RANGE:
            return "CKR_PIN_LEN_RANGE";
        case CKR_PIN_LOCKED:
            return "CKR_PIN_LOCKED";
        case CKR_SESSION_HANDLE_INVALID:
            return "CKR_SESSION_HANDLE_INVALID";
        case CKR_TOKEN_NOT_PRESENT:
            return "CKR_TOKEN_NOT_PRESENT";
        case CKR_USER_ALREADY_LOGGED_IN:
            return "CKR_USER_ALREADY_LOGGED_IN";
        case CKR_USER_NOT_LOGGED_IN:
            return "CKR_USER_NOT_LOGGED_IN";
        case CKR_USER_PIN_NOT_INITIALIZED:
            return "CKR_USER_PIN_NOT_INITIALIZED";
        case CKR_BUFFER_TOO_SMALL:
            return "CKR_BUFFER_TOO_SMALL";
        case CKR_CRYPTOKI_NOT_INITIALIZED:
            return "CKR_CRYPTOKI_NOT_INITIALIZED";
        case CKR_CRYPTOKI_ALREADY_INITIALIZED:
            return "CKR_CRYPTOKI_ALREADY_INITIALIZED";
        default: {
            std::ostringstream text;
            text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0')
                 << static_cast<unsigned long>(rv);
            return text.str();
        }
    }
}

}  // namespace quillbox::pkcs11
