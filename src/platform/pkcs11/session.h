// An open Cryptoki session and the object searches and attribute reads made through it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/pkcs11/module.h"

namespace quillbox::pkcs11 {

class Session {
  public:
    // A read-only session on the slot's token. Throws TokenError (List) when it cannot open.
    Session(std::shared_ptr<Module> module, CK_SLOT_ID slot);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    CK_SESSION_HANDLE handle() const { return handle_; }
    CK_FUNCTION_LIST* functions() const { return module_->functions(); }
    CK_SLOT_ID slot() const { return slot_; }

    // Every object matching the template. Throws TokenError (List) on failure.
    std::vector<CK_OBJECT_HANDLE> Find(std::span<CK_ATTRIBUTE> pattern) const;
    // Objects of a class whose CKA_ID equals id.
    std::vector<CK_OBJECT_HANDLE> FindById(CK_OBJECT_CLASS objectClass,
                                           std::span<const std::uint8_t> id) const;
    // The value of an attribute; nothing when the object does not have it or hides it.
    std::optional<std::vector<std::uint8_t>> Attribute(CK_OBJECT_HANDLE object,
                                                       CK_ATTRIBUTE_TYPE type) const;
    // A CK_BBOOL attribute; false when missing.
    bool Flag(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const;
    // Whether the user is logged in on this session's token.
    bool UserLoggedIn() const;

  private:
    std::shared_ptr<Module> module_;
    CK_SLOT_ID slot_;
    CK_SESSION_HANDLE handle_ = CK_INVALID_HANDLE;
};

}  // namespace quillbox::pkcs11
