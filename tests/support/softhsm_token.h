// Test tokens: a SoftHSM2 token store in a temporary folder with its own SOFTHSM2_CONF, holding
// keys and certificates made with OpenSSL. The first test process makes them and leaves a
// copy in the build folder; later processes start from a private copy of that.
//
// Token kMainToken (PIN kPin) holds, each certificate with its own CKA_ID:
//   "ca"             the issuing CA's certificate, no key
//   "nonrep"         digitalSignature + nonRepudiation
//   "signonly"       digitalSignature only
//   "noku"           no key usage extension
//   "expired"        validity ended a year ago
//   "notyet"         validity starts in a year
//   "qc-compliance"  qcStatements with 0.4.0.1862.1.1
//   "qc-sscd"        qcStatements with 0.4.0.1862.1.4
//   "qc-both"        qcStatements with both
//   "qc-policy"      0.4.0.1862.1.1 as a certificate policy instead
//   "nokey"          no private or public key object
//   "alwaysauth"     a key with CKA_ALWAYS_AUTHENTICATE
// Token kKeyStorageToken holds "ksp", for a store that may use only CKM_RSA_PKCS there.
// All user certificates share one RSA-2048 key pair, so signatures made through different
// certificates, tokens and paths can be compared byte for byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::test {

struct TestCertificate {
    std::string name;
    std::vector<std::uint8_t> der;
    std::string id;  // CertificateId
    std::filesystem::path pem;
};

class SoftHsmTokens {
  public:
    static constexpr const char* kMainToken = "Quillbox Main";
    static constexpr const char* kKeyStorageToken = "Quillbox KSP";
    static constexpr const char* kPin = "1234";
    static constexpr const char* kModulePath = "/usr/lib/softhsm/libsofthsm2.so";

    // Made on first use. Call before anything in the process loads SoftHSM, so it reads
    // this configuration. Throws std::runtime_error when the tokens cannot be made.
    static SoftHsmTokens& Get();

    const TestCertificate& Certificate(std::string_view name) const;
    const std::vector<TestCertificate>& Certificates() const { return certificates_; }
    // The user key pair's public key, PEM, for `openssl ... -verify`.
    const std::filesystem::path& PublicKeyPem() const { return publicKeyPem_; }
    const std::filesystem::path& Folder() const { return folder_; }
    const std::filesystem::path& ConfigFile() const { return configFile_; }

  private:
    // Raise when the tokens' content changes, so no process copies an old set.
    static constexpr const char* kCacheVersion = "v1";

    SoftHsmTokens();
    // Makes keys, certificates and both tokens in folder_.
    void Provision();
    ~SoftHsmTokens();

    std::filesystem::path folder_;
    std::filesystem::path configFile_;
    std::filesystem::path publicKeyPem_;
    std::vector<TestCertificate> certificates_;
};

// Runs a shell command; its exit status (-1 when it could not run).
int RunCommand(const std::string& command);

}  // namespace quillbox::test
