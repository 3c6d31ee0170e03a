#include "signing/engine/signing_path.h"

#include <algorithm>

namespace quillbox::signing {

using pkcs11::Mechanism;

Mechanism HashAndSignMechanism(HashKind hash) {
    switch (hash) {
        case HashKind::Md5:
            return Mechanism::Md5RsaPkcs;
        case HashKind::Sha1:
            return Mechanism::Sha1RsaPkcs;
        case HashKind::Sha256:
            return Mechanism::Sha256RsaPkcs;
        case HashKind::Sha384:
            return Mechanism::Sha384RsaPkcs;
        case HashKind::Sha512:
            return Mechanism::Sha512RsaPkcs;
    }
    return Mechanism::RsaPkcs;
}

std::optional<SigningPath> ChooseSigningPath(const std::set<Mechanism>& offered,
                                             std::optional<HashKind> hash) {
    const bool hashesAtAll = std::any_of(offered.begin(), offered.end(),
                                         pkcs11::HashesOnToken);
    if (hash ? offered.count(HashAndSignMechanism(*hash)) != 0 : hashesAtAll) {
        return SigningPath::Legacy;
    }
    if (offered.count(Mechanism::RsaPkcs) != 0) {
        return SigningPath::KeyStorage;
    }
    return std::nullopt;
}

}  // namespace quillbox::signing
