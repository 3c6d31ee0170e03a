#include "signing/engine/certificate_store.h"

#include <algorithm>
#include <exception>
#include <new>
#include <sstream>
#include <utility>

#include "core/globals.h"
#include "core/sign_exception.h"
#include "signing/engine/certificate_view.h"
#include "signing/engine/digest_info.h"
#include "signing/engine/signing_path.h"
#include "signing/engine/ui_pin_prompt.h"
#include "signing/filter/certificate_entry.h"

namespace quillbox::signing {

namespace {

using pkcs11::Mechanism;
using pkcs11::TokenError;

constexpr std::int32_t kNoMemory = -3;
constexpr std::int32_t kNotFound = -5;
constexpr std::int32_t kStoreNotOpened = -6;
constexpr std::int32_t kNoPrivateKey = -9;
constexpr std::int32_t kNoHashObject = -10;
constexpr std::int32_t kHashFailed = -11;
constexpr std::int32_t kSignFailed = -12;
constexpr std::int32_t kSignatureSizeFailed = -4;
constexpr std::int32_t kNoContext = -16;

// Failures here are not the operating system's: the Cryptoki return value (or 0) stands in
// for the last error, and there is no system text to fetch for it.
[[noreturn]] void Raise(std::int32_t code, std::string text = {}, unsigned long rv = 0) {
    throw CSignException(code, std::move(text), false, static_cast<int>(rv));
}

std::unique_ptr<pkcs11::TokenStore> OpenTokens(const TokenStoreOpener& open) {
    try {
        return open();
    } catch (const TokenError& error) {
        QB_LOG(LogLevel::File, nullptr, "PKCS #11: %s", error.what());
        Raise(error.stage() == TokenError::Stage::List ? kStoreNotOpened : kNoContext, {},
              error.rv());
    }
}

std::string Hex(unsigned long value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

// The block to sign and the mechanism to sign it with, for one path.
struct SignInput {
    Mechanism mechanism = Mechanism::RsaPkcs;
    std::vector<std::uint8_t> block;
};

SignInput LegacyInput(std::uint32_t algorithmId, std::uint32_t hashId,
                      const std::set<Mechanism>& offered, std::span<const std::uint8_t> data) {
    const bool raw = algorithmId == kAlgRawRsa;
    const std::optional<HashKind> hash = HashFromId(raw ? hashId : algorithmId);
    if (!hash) {
        Raise(kNoHashObject);
    }
    if (!raw) {
        return {HashAndSignMechanism(*hash), std::vector<std::uint8_t>(data.begin(), data.end())};
    }
    // The data stands for the hash value: it must have the hash's size, and the token's
    // hash-and-sign mechanism would hash it again, so its DigestInfo is signed as a block.
    if (data.size() != DigestSize(*hash) || offered.count(Mechanism::RsaPkcs) == 0) {
        Raise(kNoHashObject);
    }
    std::vector<std::uint8_t> block = BuildDigestInfo(*hash, data);
    if (block.empty()) {
        Raise(kNoHashObject);
    }
    return {Mechanism::RsaPkcs, std::move(block)};
}

SignInput KeyStorageInput(std::uint32_t algorithmId, std::string_view algorithmName,
                          std::string_view hashName, std::span<const std::uint8_t> data) {
    QB_LOG(LogLevel::File, nullptr, "%s", kKeyStoragePathLog);
    const bool raw = algorithmId == kAlgRawRsa;
    const std::string_view name = raw ? hashName : algorithmName;
    const std::optional<HashKind> hash = HashFromName(name);
    if (raw) {
        // Without a hash the data is a complete DigestInfo; no length check on this path.
        if (!hash) {
            return {Mechanism::RsaPkcs, std::vector<std::uint8_t>(data.begin(), data.end())};
        }
        return {Mechanism::RsaPkcs, BuildDigestInfo(*hash, data)};
    }
    if (!hash) {
        Raise(kNoHashObject, "Hash algorithm \"" + std::string(name) + "\" is not available");
    }
    const std::optional<std::vector<std::uint8_t>> digest = HashData(*hash, data);
    if (!digest) {
        Raise(kHashFailed, "Hashing with " + std::string(name) + " failed");
    }
    std::vector<std::uint8_t> block = BuildDigestInfo(*hash, *digest);
    if (block.empty()) {
        Raise(kHashFailed, "DigestInfo encoding failed");
    }
    return {Mechanism::RsaPkcs, std::move(block)};
}

[[noreturn]] void RaiseTokenError(const TokenError& error, SigningPath path) {
    QB_LOG(LogLevel::File, nullptr, "PKCS #11: %s", error.what());
    const bool keyStorage = path == SigningPath::KeyStorage;
    switch (error.stage()) {
        case TokenError::Stage::SignInit:
            Raise(keyStorage ? kSignFailed : kNoHashObject, {}, error.rv());
        case TokenError::Stage::SignLength:
            if (keyStorage) {
                Raise(kSignFailed, "C_Sign() #1 error", error.rv());
            }
            Raise(kSignatureSizeFailed, {}, error.rv());
        case TokenError::Stage::Sign:
            if (keyStorage) {
                Raise(kSignFailed, "C_Sign() #2, error 0x" + Hex(error.rv()), error.rv());
            }
            Raise(kSignFailed, {}, error.rv());
        default:
            Raise(kNoPrivateKey, {}, error.rv());
    }
}

}  // namespace

CertificateStore::CertificateStore(const TokenStoreOpener& open)
    : CertificateStore(OpenTokens(open)) {}

CertificateStore::CertificateStore(std::unique_ptr<pkcs11::TokenStore> tokens)
    : tokens_(std::move(tokens)) {
    for (const pkcs11::TokenCertificate& certificate : tokens_->Certificates()) {
        thumbprints_.push_back(ThumbprintOf(certificate.der));
    }
}

CertificateStore::~CertificateStore() = default;

const std::vector<pkcs11::TokenCertificate>& CertificateStore::Certificates() const {
    return tokens_->Certificates();
}

const pkcs11::TokenStatus& CertificateStore::TokenOf(
    const pkcs11::TokenCertificate& certificate) const {
    return tokens_->Tokens().at(certificate.token);
}

const pkcs11::TokenCertificate* CertificateStore::FindCertificateById(std::string_view id) const {
    const std::optional<Thumbprint> wanted = ThumbprintFromId(id);
    if (!wanted) {
        return nullptr;
    }
    const auto found = std::find(thumbprints_.begin(), thumbprints_.end(), *wanted);
    if (found == thumbprints_.end()) {
        return nullptr;
    }
    return &Certificates()[static_cast<std::size_t>(found - thumbprints_.begin())];
}

std::int32_t CertificateStore::GetCertificateBytes(std::string_view id,
                                                   std::vector<std::uint8_t>& der) const noexcept {
    try {
        const pkcs11::TokenCertificate* certificate = FindCertificateById(id);
        if (certificate == nullptr) {
            return kNotFound;
        }
        der = certificate->der;
        return 0;
    } catch (const CSignException& error) {
        return error.Code();
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    } catch (...) {
        return -1;
    }
}

std::vector<std::uint8_t> CertificateStore::SignData(std::uint32_t algorithmId,
                                                     std::uint32_t hashId,
                                                     std::string_view algorithmName,
                                                     std::string_view hashName, std::string_view id,
                                                     std::span<const std::uint8_t> data) {
    const pkcs11::TokenCertificate* certificate = FindCertificateById(id);
    if (certificate == nullptr) {
        Raise(kNotFound);
    }
    if (!certificate->hasPrivateKey) {
        Raise(kNoPrivateKey);
    }
    const std::set<Mechanism> offered = tokens_->Mechanisms(certificate->token);
    const bool raw = algorithmId == kAlgRawRsa;
    const std::optional<SigningPath> path =
        ChooseSigningPath(offered, HashFromId(raw ? hashId : algorithmId));
    if (!path) {
        Raise(kNoHashObject);
    }
    const SignInput input = *path == SigningPath::Legacy
                                ? LegacyInput(algorithmId, hashId, offered, data)
                                : KeyStorageInput(algorithmId, algorithmName, hashName, data);
    // The PIN dialog names the certificate as the certificate dialog listed it.
    const std::optional<CertificateEntry> entry = CertificateEntry::FromDer(certificate->der);
    UiPinPrompt prompt(entry ? entry->displayName : std::string());
    std::vector<std::uint8_t> signature;
    try {
        signature = tokens_->Sign(*certificate, input.mechanism, input.block, prompt);
    } catch (const pkcs11::LoginCancelled&) {
        QB_LOG(LogLevel::File, nullptr, "PIN entry cancelled");
        throw SignCancelled();
    } catch (const TokenError& error) {
        RaiseTokenError(error, *path);
    }
    if (signature.empty()) {
        Raise(kSignFailed);
    }
    // Cryptoki gives the signature as an octet string, most significant byte first, which
    // is already the order the response carries.
    return signature;
}

std::set<Mechanism> CertificateStore::MechanismsOf(
    const pkcs11::TokenCertificate& certificate) const {
    return tokens_->Mechanisms(certificate.token);
}

std::vector<std::uint8_t> CertificateStore::SignWithMechanism(
    const pkcs11::TokenCertificate& certificate, Mechanism mechanism,
    std::span<const std::uint8_t> data) {
    if (!certificate.hasPrivateKey) {
        Raise(kNoPrivateKey);
    }
    const std::optional<CertificateEntry> entry = CertificateEntry::FromDer(certificate.der);
    UiPinPrompt prompt(entry ? entry->displayName : std::string());
    try {
        std::vector<std::uint8_t> signature = tokens_->Sign(certificate, mechanism, data, prompt);
        if (signature.empty()) {
            Raise(kSignFailed);
        }
        return signature;
    } catch (const pkcs11::LoginCancelled&) {
        QB_LOG(LogLevel::File, nullptr, "PIN entry cancelled");
        throw SignCancelled();
    } catch (const TokenError& error) {
        RaiseTokenError(error, SigningPath::KeyStorage);
    }
}

void CertificateStore::ViewCertificate(std::string_view id) const {
    const pkcs11::TokenCertificate* certificate = FindCertificateById(id);
    if (certificate == nullptr) {
        Raise(kNotFound);
    }
    if (std::optional<ui::CertificateViewRequest> view = DescribeCertificate(certificate->der)) {
        ui::CurrentUserInterface().ShowCertificate(*view);
    }
}

}  // namespace quillbox::signing
