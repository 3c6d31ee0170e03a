// A Cryptoki module loaded once per process and initialised for multi-threaded use.
// Modules stay loaded and initialised until the process ends: another part of the process
// (the TLS layer, a second store) may be using the same module, and C_Finalize would end
// its sessions under it.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/pkcs11/cryptoki.h"

namespace quillbox::pkcs11 {

class Module {
  public:
    // The module at path, loading and initialising it on first use; later calls with the
    // same path return the same module. Throws TokenError (LoadModule or Initialize).
    static std::shared_ptr<Module> Load(const std::string& path);

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    CK_FUNCTION_LIST* functions() const { return functions_; }
    const std::string& path() const { return path_; }

  private:
    // The dlopen handle is not kept: the library is never closed, see above.
    Module(std::string path, CK_FUNCTION_LIST* functions)
        : path_(std::move(path)), functions_(functions) {}

    std::string path_;
    CK_FUNCTION_LIST* functions_;
};

// The name of a Cryptoki return value ("CKR_PIN_INCORRECT"), or its number in hexadecimal.
std::string ReturnValueName(CK_RV rv);

}  // namespace quillbox::pkcs11
