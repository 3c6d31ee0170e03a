#include "signing/tasks/signing_context.h"

#include <array>
#include <optional>
#include <utility>

#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/sign_exception.h"
#include "signing/engine/algorithms.h"
#include "signing/engine/certificate_store.h"

namespace quillbox::signing {

namespace {

constexpr std::int32_t kStoreNotOpened = -6;

struct AlgorithmEntry {
    std::string_view taskName;  // as the task document writes it
    std::uint32_t id;
    std::string_view engineName;
};

// "rsa" and "rsa-none" both mean the data already is a digest.
constexpr std::array<AlgorithmEntry, 7> kSignatureAlgorithms = {{
    {"rsa", kAlgRawRsa, "RSA_SIGN"},
    {"rsa-none", kAlgRawRsa, "RSA_SIGN"},
    {"rsa-sha1", kAlgSha1, "SHA1"},
    {"rsa-sha256", kAlgSha256, "SHA256"},
    {"rsa-sha384", kAlgSha384, "SHA384"},
    {"rsa-sha512", kAlgSha512, "SHA512"},
    {"rsa-md5", kAlgMd5, "MD5"},
}};

constexpr std::array<AlgorithmEntry, 5> kHashAlgorithms = {{
    {"sha1", kAlgSha1, "SHA1"},
    {"sha256", kAlgSha256, "SHA256"},
    {"sha384", kAlgSha384, "SHA384"},
    {"sha512", kAlgSha512, "SHA512"},
    {"md5", kAlgMd5, "MD5"},
}};

// Exact, case-sensitive: a task written for another spelling must not be signed with a
// guessed algorithm.
template <std::size_t N>
std::optional<AlgorithmEntry> Find(const std::array<AlgorithmEntry, N>& table,
                                   std::string_view name) {
    for (const AlgorithmEntry& entry : table) {
        if (entry.taskName == name) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace

SigningContext::SigningContext(TaskKind kind, const xml::XmlDocument& document,
                               std::unique_ptr<CertificateStore> store, Base64Coder& coder)
    : kind_(kind),
      document_(document),
      store_(std::move(store)),
      coder_(coder),
      algorithmId_(kAlgSha1),
      algorithmName_("SHA1") {
    if (!store_) {
        throw CSignException(kStoreNotOpened, {}, false);
    }
    ReadDataElement();
}

SigningContext::~SigningContext() = default;

bool SigningContext::ReadDataElement() {
    dataRead_ = false;
    const xml::XmlNode element = document_.SelectFirst("//data");
    if (!element) {
        return false;
    }
    if (const std::optional<std::string> alg = element.Attribute("alg")) {
        QB_LOG(LogLevel::File, nullptr, "ALG: %s", alg->c_str());
        const std::optional<AlgorithmEntry> entry = Find(kSignatureAlgorithms, *alg);
        if (!entry) {
            return false;
        }
        algorithmId_ = entry->id;
        algorithmName_ = entry->engineName;
    }
    if (const std::optional<std::string> hashAlg = element.Attribute("hshalg")) {
        QB_LOG(LogLevel::File, nullptr, "HASH ALG: %s", hashAlg->c_str());
        if (!hashAlg->empty()) {
            const std::optional<AlgorithmEntry> entry = Find(kHashAlgorithms, *hashAlg);
            if (!entry) {
                return false;
            }
            hashId_ = entry->id;
            hashName_ = entry->engineName;
        }
    }
    const std::string text = element.Text();
    // Longer texts than the coder takes are refused here rather than failing inside it.
    if (text.empty() || text.size() > Base64Coder::kMaxDecodeCount) {
        return false;
    }
    const std::uint32_t count = coder_.Decode(text.data(), static_cast<std::uint32_t>(text.size()));
    const std::uint8_t* bytes = coder_.DecodedMessage();
    data_.assign(bytes, bytes + count);
    dataRead_ = true;
    return true;
}

void SigningContext::ReleaseData() {
    data_.clear();
    data_.shrink_to_fit();
    dataRead_ = false;
}

std::int32_t SigningContext::SignWithCertificate(std::string_view certificateId) {
    status_ = kStatusOk;
    certificateId_ = certificateId;
    if (kind_ == TaskKind::Sign) {
        // Released also when the engine raises (a PIN prompt cancelled, a token error).
        struct Release {
            SigningContext& context;
            ~Release() { context.ReleaseData(); }
        } release{*this};
        // Never sign data that was not read: an unknown algorithm or an empty text
        // leaves nothing defined to sign.
        if (!dataRead_) {
            status_ = kStatusError;
            return status_;
        }
        const std::vector<std::uint8_t> signature = store_->SignData(
            algorithmId_, hashId_, algorithmName_, hashName_, certificateId, data_);
        if (signature.empty() || signature.size() > Base64Coder::kMaxEncodeCount) {
            status_ = kStatusError;
            return status_;
        }
        signatureValue_ =
            coder_.EncodeToString(signature.data(), static_cast<std::uint32_t>(signature.size()))
                .value_or(std::string());
    }
    std::vector<std::uint8_t> der;
    if (store_->GetCertificateBytes(certificateId, der) != 0 || der.empty() ||
        der.size() > Base64Coder::kMaxEncodeCount) {
        status_ = kStatusError;
        return status_;
    }
    certificate_ =
        coder_.EncodeToString(der.data(), static_cast<std::uint32_t>(der.size())).value_or("");
    return status_;
}

}  // namespace quillbox::signing
