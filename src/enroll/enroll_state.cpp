#include "enroll/enroll_state.h"

#include "enroll/cert_request_handler.h"
#include "enroll/enroll_handlers.h"
#include "enroll/pfx_handler.h"
#include "keyforge.h"

namespace quillbox::enroll {

PublicKey ReadPublicKey(const secret::SecretText& password, const secret::SecretText& keyText,
                        int& status) {
    unsigned char* der = nullptr;
    int length = 0;
    status = fnReadPrivateKey(password.data(), keyText.data(), &der, &length);
    const LibraryBuffer<unsigned char> owned(der);
    if (status != KEYFORGE_OK || der == nullptr) {
        return {};
    }
    return PublicKey(der, der + length);
}

std::uint32_t ModulusWord(const PublicKey& key) {
    return fnModulusWord(key.data(), static_cast<int>(key.size()));
}

void AddEnrollTaskHandlers(HandlerTable& handlers) {
    auto state = std::make_shared<EnrollState>();
    handlers[TaskKind::CreateCertRequest] = std::make_unique<CertRequestHandler>(state);
    handlers[TaskKind::MakePfx] = std::make_unique<PfxHandler>(state);
}

}  // namespace quillbox::enroll
