#include "platform/pkcs11/session.h"

#include <utility>

#include "platform/pkcs11/token_store.h"

namespace quillbox::pkcs11 {

namespace {

// Ends an object search on every way out of Find.
class SearchGuard {
  public:
    SearchGuard(CK_FUNCTION_LIST* functions, CK_SESSION_HANDLE session)
        : functions_(functions), session_(session) {}
    ~SearchGuard() { functions_->C_FindObjectsFinal(session_); }
    SearchGuard(const SearchGuard&) = delete;
    SearchGuard& operator=(const SearchGuard&) = delete;

  private:
    CK_FUNCTION_LIST* functions_;
    CK_SESSION_HANDLE session_;
};

}  // namespace

Session::Session(std::shared_ptr<Module> module, CK_SLOT_ID slot)
    : module_(std::move(module)), slot_(slot) {
    const CK_RV rv =
        functions()->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &handle_);
    if (rv != CKR_OK) {
        throw TokenError(TokenError::Stage::List, rv,
                         "C_OpenSession failed: " + ReturnValueName(rv));
    }
}

Session::~Session() {
    functions()->C_CloseSession(handle_);
}

std::vector<CK_OBJECT_HANDLE> Session::Find(std::span<CK_ATTRIBUTE> pattern) const {
    CK_RV rv = functions()->C_FindObjectsInit(handle_, pattern.data(), pattern.size());
    if (rv != CKR_OK) {
        throw TokenError(TokenError::Stage::List, rv,
                         "C_FindObjectsInit failed: " + ReturnValueName(rv));
    }
    SearchGuard guard(functions(), handle_);
    std::vector<CK_OBJECT_HANDLE> found;
    std::vector<CK_OBJECT_HANDLE> batch(64);
    for (;;) {
        CK_ULONG count = 0;
        rv = functions()->C_FindObjects(handle_, batch.data(), batch.size(), &count);
        if (rv != CKR_OK) {
            throw TokenError(TokenError::Stage::List, rv,
                             "C_FindObjects failed: " + ReturnValueName(rv));
        }
        if (count == 0 || count > batch.size()) {
            break;
        }
        found.insert(found.end(), batch.begin(), batch.begin() + static_cast<long>(count));
    }
    return found;
}

std::vector<CK_OBJECT_HANDLE> Session::FindById(CK_OBJECT_CLASS objectClass,
                                                std::span<const std::uint8_t> id) const {
    std::vector<std::uint8_t> idCopy(id.begin(), id.end());
    CK_ATTRIBUTE pattern[] = {
        {CKA_CLASS, &objectClass, sizeof objectClass},
        {CKA_ID, idCopy.data(), idCopy.size()},
    };
    return Find(pattern);
}

std::optional<std::vector<std::uint8_t>> Session::Attribute(CK_OBJECT_HANDLE object,
                                                            CK_ATTRIBUTE_TYPE type) const {
    CK_ATTRIBUTE attribute{type, nullptr, 0};
    if (functions()->C_GetAttributeValue(handle_, object, &attribute, 1) != CKR_OK ||
        attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> value(attribute.ulValueLen);
    attribute.pValue = value.data();
    if (functions()->C_GetAttributeValue(handle_, object, &attribute, 1) != CKR_OK ||
        attribute.ulValueLen > value.size()) {
        return std::nullopt;
    }
    value.resize(attribute.ulValueLen);
    return value;
}

bool Session::Flag(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) const {
    const auto value = Attribute(object, type);
    return value && value->size() == sizeof(CK_BBOOL) && (*value)[0] != CK_FALSE;
}

bool Session::UserLoggedIn() const {
    CK_SESSION_INFO info{};
    if (functions()->C_GetSessionInfo(handle_, &info) != CKR_OK) {
        return false;
    }
    return info.state == CKS_RO_USER_FUNCTIONS || info.state == CKS_RW_USER_FUNCTIONS;
}

}  // namespace quillbox::pkcs11
