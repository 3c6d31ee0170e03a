#include "signing/engine/algorithms.h"

namespace quillbox::signing {

std::optional<HashKind> HashFromId(std::uint32_t algorithmId) {
    switch (algorithmId) {
        case kAlgMd5:
            return HashKind::Md5;
        case kAlgSha1:
            return HashKind::Sha1;
        case kAlgSha256:
            return HashKind::Sha256;
        case kAlgSha384:
            return HashKind::Sha384;
        case kAlgSha512:
            return HashKind::Sha512;
        default:
            return std::nullopt;
    }
}

std::optional<HashKind> HashFromName(std::string_view name) {
    if (name == "MD5") {
        return HashKind::Md5;
    }
    if (name == "SHA1") {
        return HashKind::Sha1;
    }
    if (name == "SHA256") {
        return HashKind::Sha256;
    }
    if (name == "SHA384") {
        return HashKind::Sha384;
    }
    if (name == "SHA512") {
        return HashKind::Sha512;
    }
    return std::nullopt;
}

std::size_t DigestSize(HashKind hash) {
    switch (hash) {
        case HashKind::Md5:
            return 16;
        case HashKind::Sha1:
            return 20;
        case HashKind::Sha256:
            return 32;
        case HashKind::Sha384:
            return 48;
        case HashKind::Sha512:
            return 64;
    }
    return 0;
}

}  // namespace quillbox::signing
