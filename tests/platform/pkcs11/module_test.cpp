#include <gtest/gtest.h>

#include "platform/pkcs11/cryptoki_token_store.h"
#include "platform/pkcs11/module.h"
#include "softhsm_token.h"

namespace quillbox::pkcs11 {
namespace {

using test::SoftHsmTokens;

TEST(ModuleTest, OneModulePerPathStaysUsableAfterEveryStoreIsGone) {
    SoftHsmTokens::Get();
    auto first = Module::Load(SoftHsmTokens::kModulePath);
    EXPECT_EQ(Module::Load(SoftHsmTokens::kModulePath), first);
    TokenStoreOptions options;
    options.modulePath = SoftHsmTokens::kModulePath;
    OpenCryptokiTokenStore(options).reset();
    // Nobody finalised it: another part of the process can go on using it.
    CK_ULONG count = 0;
    EXPECT_EQ(first->functions()->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    EXPECT_EQ(OpenCryptokiTokenStore(options)->Tokens().size(), 2u);
}

TEST(ModuleTest, FailuresNameTheirStage) {
    auto stageOf = [](const std::string& path) {
        try {
            TokenStoreOptions options;
            options.modulePath = path;
            OpenCryptokiTokenStore(options);
        } catch (const TokenError& error) {
            return error.stage();
        }
        return TokenError::Stage::Sign;  // no failure at all
    };
    EXPECT_EQ(stageOf("/nonexistent/module.so"), TokenError::Stage::LoadModule);
    EXPECT_EQ(stageOf("libc.so.6"), TokenError::Stage::LoadModule);
    EXPECT_EQ(stageOf(FAKE_MODULE_INIT_FAILS), TokenError::Stage::Initialize);
    EXPECT_EQ(stageOf(FAKE_MODULE_NO_SLOTS), TokenError::Stage::List);
}

}  // namespace
}  // namespace quillbox::pkcs11
