// A one-token Cryptoki module for the login paths SoftHSM has no way to show: a PIN pad
// (protected authentication path) and a locked PIN. QUILLBOX_FAKE_TOKEN chooses, read at
// every call (see kModes). The token holds one certificate with a key; its signature is
// 256 bytes of 0x5A.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/pkcs11/cryptoki.h"

namespace {

constexpr CK_OBJECT_HANDLE kCertificate = 1;
constexpr CK_OBJECT_HANDLE kPrivateKey = 2;
const unsigned char kId[] = {0x01};
const unsigned char kDer[] = {0x30, 0x03, 0x02, 0x01, 0x07};

struct Mode {
    std::string_view name;
    bool pinPad;
    bool lockedFlag;  // CKF_USER_PIN_LOCKED in the token's flags
    CK_RV login;      // what C_Login answers
};

constexpr Mode kModes[] = {
    {"pinpad", true, false, CKR_OK},
    {"locked", true, true, CKR_PIN_LOCKED},
    // Locked, but the flags do not say so (yet).
    {"pinpad-locked-unflagged", true, false, CKR_PIN_LOCKED},
    {"keyboard-locked-unflagged", false, false, CKR_PIN_LOCKED},
    // A pad that refuses whatever is typed on it.
    {"pinpad-refuses", true, false, CKR_PIN_INCORRECT},
};

// A store that tries to log in again and again in one session, with nobody typing, gets
// a device error after this many refusals: the test then fails instead of hanging.
constexpr int kRefusalsBeforeDeviceError = 20;

bool loggedIn = false;
int openSessions = 0;
int refusals = 0;
bool signReady = false;
CK_OBJECT_CLASS searchClass = 0;
bool searchDone = true;

const Mode& CurrentMode() {
    const char* chosen = std::getenv("QUILLBOX_FAKE_TOKEN");
    for (const Mode& mode : kModes) {
        if (chosen != nullptr && mode.name == chosen) {
            return mode;
        }
    }
    return kModes[0];
}

template <typename Argument>
CK_RV Ok(Argument) {
    return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID* slots, CK_ULONG* count) {
    if (slots != nullptr) {
        if (*count < 1) {
            *count = 1;
            return CKR_BUFFER_TOO_SMALL;
        }
        slots[0] = 3;
    }
    *count = 1;
    return CKR_OK;
}

CK_RV GetTokenInfo(CK_SLOT_ID, CK_TOKEN_INFO* info) {
    std::memset(info, 0, sizeof *info);
    std::memset(info->label, ' ', sizeof info->label);
    std::memcpy(info->label, "Pad Token", 9);
    const Mode& mode = CurrentMode();
    info->flags = CKF_TOKEN_INITIALIZED | CKF_LOGIN_REQUIRED;
    if (mode.pinPad) {
        info->flags |= CKF_PROTECTED_AUTHENTICATION_PATH;
    }
    if (mode.lockedFlag) {
        info->flags |= CKF_USER_PIN_LOCKED;
    }
    info->ulMinPinLen = 4;
    info->ulMaxPinLen = 8;
    return CKR_OK;
}

CK_RV GetMechanismInfo(CK_SLOT_ID, CK_MECHANISM_TYPE type, CK_MECHANISM_INFO* info) {
    if (type != CKM_RSA_PKCS) {
        return CKR_MECHANISM_INVALID;
    }
    *info = CK_MECHANISM_INFO{};
    info->flags = CKF_SIGN;
    return CKR_OK;
}

CK_RV OpenSession(CK_SLOT_ID, CK_FLAGS, void*, CK_NOTIFY, CK_SESSION_HANDLE* session) {
    *session = 9;
    ++openSessions;
    refusals = 0;
    return CKR_OK;
}

// As on a real token, the login ends with the application's last session.
CK_RV CloseSession(CK_SESSION_HANDLE) {
    if (--openSessions == 0) {
        loggedIn = false;
    }
    return CKR_OK;
}

CK_RV GetSessionInfo(CK_SESSION_HANDLE, CK_SESSION_INFO* info) {
    *info = CK_SESSION_INFO{};
    info->state = loggedIn ? CKS_RO_USER_FUNCTIONS : CKS_RO_PUBLIC_SESSION;
    return CKR_OK;
}

CK_RV Login(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR* pin, CK_ULONG length) {
    const Mode& mode = CurrentMode();
    // The pad asks for the PIN itself; a PIN from the application is a mistake.
    if (mode.pinPad && (pin != nullptr || length != 0)) {
        return CKR_ARGUMENTS_BAD;
    }
    if (mode.login != CKR_OK) {
        return ++refusals > kRefusalsBeforeDeviceError ? CKR_DEVICE_ERROR : mode.login;
    }
    loggedIn = true;
    return CKR_OK;
}

CK_RV FindObjectsInit(CK_SESSION_HANDLE, CK_ATTRIBUTE* pattern, CK_ULONG count) {
    searchClass = CK_UNAVAILABLE_INFORMATION;
    for (CK_ULONG i = 0; i < count; ++i) {
        if (pattern[i].type == CKA_CLASS) {
            std::memcpy(&searchClass, pattern[i].pValue, sizeof searchClass);
        }
    }
    searchDone = false;
    return CKR_OK;
}

CK_RV FindObjects(CK_SESSION_HANDLE, CK_OBJECT_HANDLE* objects, CK_ULONG, CK_ULONG* count) {
    *count = 0;
    if (searchDone) {
        return CKR_OK;
    }
    searchDone = true;
    if (searchClass == CKO_CERTIFICATE) {
        objects[0] = kCertificate;
        *count = 1;
    } else if (searchClass == CKO_PRIVATE_KEY && loggedIn) {
        objects[0] = kPrivateKey;
        *count = 1;
    }
    return CKR_OK;
}

CK_RV GetAttributeValue(CK_SESSION_HANDLE, CK_OBJECT_HANDLE object, CK_ATTRIBUTE* attribute,
                        CK_ULONG) {
    const void* value = nullptr;
    CK_ULONG length = 0;
    static const CK_BBOOL no = CK_FALSE;
    if (attribute->type == CKA_VALUE && object == kCertificate) {
        value = kDer;
        length = sizeof kDer;
    } else if (attribute->type == CKA_ID) {
        value = kId;
        length = sizeof kId;
    } else if (attribute->type == CKA_ALWAYS_AUTHENTICATE && object == kPrivateKey) {
        value = &no;
        length = sizeof no;
    } else {
        attribute->ulValueLen = CK_UNAVAILABLE_INFORMATION;
        return CKR_ATTRIBUTE_TYPE_INVALID;
    }
    if (attribute->pValue != nullptr) {
        if (attribute->ulValueLen < length) {
            return CKR_BUFFER_TOO_SMALL;
        }
        std::memcpy(attribute->pValue, value, length);
    }
    attribute->ulValueLen = length;
    return CKR_OK;
}

CK_RV SignInit(CK_SESSION_HANDLE, CK_MECHANISM*, CK_OBJECT_HANDLE key) {
    signReady = key == kPrivateKey;
    return signReady ? CKR_OK : CKR_KEY_HANDLE_INVALID;
}

CK_RV Sign(CK_SESSION_HANDLE, CK_BYTE*, CK_ULONG, CK_BYTE* signature, CK_ULONG* length) {
    if (!signReady) {
        return CKR_OPERATION_NOT_INITIALIZED;
    }
    if (signature != nullptr) {
        std::memset(signature, 0x5a, 256);
        signReady = false;
    }
    *length = 256;
    return CKR_OK;
}

CK_FUNCTION_LIST functions = [] {
    CK_FUNCTION_LIST list{};
    list.version = {2, 40};
    list.C_Initialize = Ok<void*>;
    list.C_Finalize = Ok<void*>;
    list.C_GetSlotList = GetSlotList;
    list.C_GetTokenInfo = GetTokenInfo;
    list.C_GetMechanismInfo = GetMechanismInfo;
    list.C_OpenSession = OpenSession;
    list.C_CloseSession = CloseSession;
    list.C_GetSessionInfo = GetSessionInfo;
    list.C_Login = Login;
    list.C_FindObjectsInit = FindObjectsInit;
    list.C_FindObjects = FindObjects;
    list.C_FindObjectsFinal = Ok<CK_SESSION_HANDLE>;
    list.C_GetAttributeValue = GetAttributeValue;
    list.C_SignInit = SignInit;
    list.C_Sign = Sign;
    return list;
}();

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
    *list = &functions;
    return CKR_OK;
}
