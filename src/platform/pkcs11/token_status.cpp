#include "platform/pkcs11/cryptoki.h"
#include "platform/pkcs11/token_store.h"

namespace quillbox::pkcs11 {

TokenStatus TokenStatusFromFlags(std::span<const unsigned char> label, unsigned long flags,
                                 unsigned long minPinLength, unsigned long maxPinLength) {
    TokenStatus status;
    status.label.assign(label.begin(), label.end());
    while (!status.label.empty() && (status.label.back() == ' ' || status.label.back() == '\0')) {
        status.label.pop_back();
    }
    status.loginRequired = (flags & CKF_LOGIN_REQUIRED) != 0;
    status.protectedAuthPath = (flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0;
    status.pinCountLow = (flags & CKF_USER_PIN_COUNT_LOW) != 0;
    status.pinFinalTry = (flags & CKF_USER_PIN_FINAL_TRY) != 0;
    status.pinLocked = (flags & CKF_USER_PIN_LOCKED) != 0;
    // Modules that know no limit put CK_EFFECTIVELY_INFINITE or CK_UNAVAILABLE_INFORMATION there.
    if (minPinLength != CK_UNAVAILABLE_INFORMATION && minPinLength < 1024) {
        status.minPinLength = minPinLength;
    }
    if (maxPinLength != CK_UNAVAILABLE_INFORMATION && maxPinLength < 1024 &&
        maxPinLength >= status.minPinLength) {
        status.maxPinLength = maxPinLength;
    }
    return status;
}

}  // namespace quillbox::pkcs11
