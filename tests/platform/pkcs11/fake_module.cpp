// A Cryptoki module that fails on purpose, built twice: FAKE_INIT_FAILS makes C_Initialize
// fail, otherwise C_GetSlotList does. Stands for a broken token driver.
#include "platform/pkcs11/cryptoki.h"

namespace {

CK_RV Initialize(void*) {
#ifdef FAKE_INIT_FAILS
    return CKR_DEVICE_ERROR;
#else
    return CKR_OK;
#endif
}

CK_RV Finalize(void*) {
    return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL, CK_SLOT_ID*, CK_ULONG*) {
    return CKR_DEVICE_ERROR;
}

CK_FUNCTION_LIST functions = [] {
    CK_FUNCTION_LIST list{};
    list.version = {2, 40};
    list.C_Initialize = Initialize;
    list.C_Finalize = Finalize;
    list.C_GetSlotList = GetSlotList;
    return list;
}();

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
    *list = &functions;
    return CKR_OK;
}
