#include "softhsm_token.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/conf.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/pkcs11/cryptoki.h"
#include "platform/pkcs11/module.h"
#include "signing/engine/certificate_id.h"
#include "test_support.h"

namespace quillbox::test {

namespace {

// The extensions of each certificate, as an OpenSSL configuration.
constexpr const char* kExtensions = R"(
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash

[nonrep]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,nonRepudiation

[signonly]
keyUsage = critical,digitalSignature

[noku]
basicConstraints = CA:FALSE

[qc-compliance]
keyUsage = critical,nonRepudiation
1.3.6.1.5.5.7.1.3 = ASN1:SEQUENCE:qcs_compliance

[qc-sscd]
keyUsage = critical,nonRepudiation
1.3.6.1.5.5.7.1.3 = ASN1:SEQUENCE:qcs_sscd

[qc-both]
keyUsage = critical,nonRepudiation
1.3.6.1.5.5.7.1.3 = ASN1:SEQUENCE:qcs_both

[qc-policy]
keyUsage = critical,nonRepudiation
certificatePolicies = 0.4.0.1862.1.1

[qcs_compliance]
s1 = SEQUENCE:qc_compliance

[qcs_sscd]
s1 = SEQUENCE:qc_sscd

[qcs_both]
s1 = SEQUENCE:qc_compliance
s2 = SEQUENCE:qc_sscd

[qc_compliance]
id = OID:0.4.0.1862.1.1

[qc_sscd]
id = OID:0.4.0.1862.1.4
)";

struct Free {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(CONF* p) const { NCONF_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Free>;
using CertPtr = std::unique_ptr<X509, Free>;

void Check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test token: ") + what);
    }
}

KeyPtr NewKey(unsigned bits) {
    KeyPtr key(EVP_RSA_gen(bits));
    Check(key != nullptr, "RSA key generation failed");
    return key;
}

std::unique_ptr<CONF, Free> LoadExtensions() {
    std::unique_ptr<CONF, Free> conf(NCONF_new(nullptr));
    std::unique_ptr<BIO, Free> bio(BIO_new_mem_buf(kExtensions, -1));
    long line = 0;
    Check(conf && bio && NCONF_load_bio(conf.get(), bio.get(), &line) == 1,
          "extension configuration does not load");
    return conf;
}

struct Validity {
    long fromDays = -1;
    long toDays = 365;
};

CertPtr MakeCertificate(const std::string& name, long serial, EVP_PKEY* subjectKey,
                        const X509* issuer, EVP_PKEY* issuerKey, CONF* conf,
                        const std::string& section, Validity validity) {
    CertPtr certificate(X509_new());
    Check(certificate != nullptr, "X509_new");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(subject, "C", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("CZ"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>("Quillbox Test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509_set_issuer_name(certificate.get(),
                         issuer != nullptr ? X509_get_subject_name(issuer) : subject);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), validity.fromDays * 86400L);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), validity.toDays * 86400L);
    X509_set_pubkey(certificate.get(), subjectKey);
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer != nullptr ? const_cast<X509*>(issuer) : certificate.get(),
                   certificate.get(), nullptr, nullptr, 0);
    X509V3_set_nconf(&ctx, conf);
    if (NCONF_get_section(conf, section.c_str()) != nullptr) {
        Check(X509V3_EXT_add_nconf(conf, &ctx, section.c_str(), certificate.get()) == 1,
              "extensions do not apply");
    }
    Check(X509_sign(certificate.get(), issuerKey, EVP_sha256()) > 0, "certificate signing");
    return certificate;
}

std::vector<std::uint8_t> Der(X509* certificate) {
    const int length = i2d_X509(certificate, nullptr);
    Check(length > 0, "certificate encoding");
    std::vector<std::uint8_t> der(static_cast<std::size_t>(length));
    unsigned char* out = der.data();
    i2d_X509(certificate, &out);
    return der;
}

std::vector<std::uint8_t> SubjectDer(X509* certificate) {
    const X509_NAME* name = X509_get_subject_name(certificate);
    const int length = i2d_X509_NAME(name, nullptr);
    std::vector<std::uint8_t> der(static_cast<std::size_t>(length > 0 ? length : 0));
    unsigned char* out = der.data();
    i2d_X509_NAME(name, &out);
    return der;
}

std::string PemOf(X509* certificate) {
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), certificate);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string PublicPemOf(EVP_PKEY* key) {
    std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PUBKEY(bio.get(), key);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::vector<std::uint8_t> KeyNumber(EVP_PKEY* key, const char* name) {
    BIGNUM* raw = nullptr;
    Check(EVP_PKEY_get_bn_param(key, name, &raw) == 1, "RSA key parameter");
    std::unique_ptr<BIGNUM, Free> number(raw);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(BN_num_bytes(number.get())));
    BN_bn2bin(number.get(), bytes.data());
    return bytes;
}

// Cryptoki provisioning of one token.
class Provisioner {
  public:
    Provisioner(CK_FUNCTION_LIST* f, const std::string& label) : f_(f) {
        CK_SLOT_ID slot = FreeSlot();
        std::string padded = label;
        padded.resize(32, ' ');
        const std::string so = "5678";
        Ok(f_->C_InitToken(slot, Bytes(so), so.size(), Bytes(padded)), "C_InitToken");
        slot = SlotOf(padded);
        Ok(f_->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr,
                             &session_),
           "C_OpenSession");
        const std::string pin = SoftHsmTokens::kPin;
        Ok(f_->C_Login(session_, CKU_SO, Bytes(so), so.size()), "C_Login SO");
        Ok(f_->C_InitPIN(session_, Bytes(pin), pin.size()), "C_InitPIN");
        Ok(f_->C_Logout(session_), "C_Logout");
        Ok(f_->C_Login(session_, CKU_USER, Bytes(pin), pin.size()), "C_Login");
    }
    ~Provisioner() {
        f_->C_Logout(session_);
        f_->C_CloseSession(session_);
    }

    void AddCertificate(const std::vector<std::uint8_t>& der, X509* certificate,
                        const std::string& label, std::vector<std::uint8_t> id) {
        CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
        CK_CERTIFICATE_TYPE type = CKC_X_509;
        CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
        std::vector<std::uint8_t> value = der;
        std::vector<std::uint8_t> subject = SubjectDer(certificate);
        std::string name = label;
        CK_ATTRIBUTE attributes[] = {
            {CKA_CLASS, &cls, sizeof cls},           {CKA_CERTIFICATE_TYPE, &type, sizeof type},
            {CKA_TOKEN, &yes, sizeof yes},           {CKA_PRIVATE, &no, sizeof no},
            {CKA_VALUE, value.data(), value.size()}, {CKA_SUBJECT, subject.data(), subject.size()},
            {CKA_ID, id.data(), id.size()},          {CKA_LABEL, name.data(), name.size()},
        };
        Create(attributes, sizeof attributes / sizeof attributes[0]);
    }

    void AddKeyPair(EVP_PKEY* key, const std::string& label, std::vector<std::uint8_t> id,
                    bool alwaysAuthenticate) {
        CK_KEY_TYPE rsa = CKK_RSA;
        CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
        CK_BBOOL always = alwaysAuthenticate ? CK_TRUE : CK_FALSE;
        std::string name = label;
        auto n = KeyNumber(key, OSSL_PKEY_PARAM_RSA_N);
        auto e = KeyNumber(key, OSSL_PKEY_PARAM_RSA_E);
        auto d = KeyNumber(key, OSSL_PKEY_PARAM_RSA_D);
        auto p = KeyNumber(key, OSSL_PKEY_PARAM_RSA_FACTOR1);
        auto q = KeyNumber(key, OSSL_PKEY_PARAM_RSA_FACTOR2);
        auto dp = KeyNumber(key, OSSL_PKEY_PARAM_RSA_EXPONENT1);
        auto dq = KeyNumber(key, OSSL_PKEY_PARAM_RSA_EXPONENT2);
        auto qi = KeyNumber(key, OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
        CK_OBJECT_CLASS privateClass = CKO_PRIVATE_KEY;
        CK_ATTRIBUTE privateKey[] = {
            {CKA_CLASS, &privateClass, sizeof privateClass},
            {CKA_KEY_TYPE, &rsa, sizeof rsa},
            {CKA_TOKEN, &yes, sizeof yes},
            {CKA_PRIVATE, &yes, sizeof yes},
            {CKA_SENSITIVE, &yes, sizeof yes},
            {CKA_SIGN, &yes, sizeof yes},
            {CKA_DECRYPT, &no, sizeof no},
            {CKA_ALWAYS_AUTHENTICATE, &always, sizeof always},
            {CKA_ID, id.data(), id.size()},
            {CKA_LABEL, name.data(), name.size()},
            {CKA_MODULUS, n.data(), n.size()},
            {CKA_PUBLIC_EXPONENT, e.data(), e.size()},
            {CKA_PRIVATE_EXPONENT, d.data(), d.size()},
            {CKA_PRIME_1, p.data(), p.size()},
            {CKA_PRIME_2, q.data(), q.size()},
            {CKA_EXPONENT_1, dp.data(), dp.size()},
            {CKA_EXPONENT_2, dq.data(), dq.size()},
            {CKA_COEFFICIENT, qi.data(), qi.size()},
        };
        Create(privateKey, sizeof privateKey / sizeof privateKey[0]);
        CK_OBJECT_CLASS publicClass = CKO_PUBLIC_KEY;
        CK_ATTRIBUTE publicKey[] = {
            {CKA_CLASS, &publicClass, sizeof publicClass},
            {CKA_KEY_TYPE, &rsa, sizeof rsa},
            {CKA_TOKEN, &yes, sizeof yes},
            {CKA_PRIVATE, &no, sizeof no},
            {CKA_VERIFY, &yes, sizeof yes},
            {CKA_ID, id.data(), id.size()},
            {CKA_LABEL, name.data(), name.size()},
            {CKA_MODULUS, n.data(), n.size()},
            {CKA_PUBLIC_EXPONENT, e.data(), e.size()},
        };
        Create(publicKey, sizeof publicKey / sizeof publicKey[0]);
    }

  private:
    static CK_UTF8CHAR* Bytes(const std::string& text) {
        return reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(text.data()));
    }

    static void Ok(CK_RV rv, const char* what) {
        if (rv != CKR_OK) {
            throw std::runtime_error(std::string("test token: ") + what +
                                     " failed: " + pkcs11::ReturnValueName(rv));
        }
    }

    std::vector<CK_SLOT_ID> Slots() const {
        CK_ULONG count = 0;
        Ok(f_->C_GetSlotList(CK_FALSE, nullptr, &count), "C_GetSlotList");
        std::vector<CK_SLOT_ID> slots(count);
        Ok(f_->C_GetSlotList(CK_FALSE, slots.data(), &count), "C_GetSlotList");
        slots.resize(count);
        return slots;
    }

    CK_SLOT_ID FreeSlot() const {
        for (CK_SLOT_ID slot : Slots()) {
            CK_TOKEN_INFO info{};
            if (f_->C_GetTokenInfo(slot, &info) == CKR_OK &&
                (info.flags & CKF_TOKEN_INITIALIZED) == 0) {
                return slot;
            }
        }
        throw std::runtime_error("test token: no free SoftHSM slot");
    }

    CK_SLOT_ID SlotOf(const std::string& paddedLabel) const {
        for (CK_SLOT_ID slot : Slots()) {
            CK_TOKEN_INFO info{};
            if (f_->C_GetTokenInfo(slot, &info) == CKR_OK &&
                std::string(reinterpret_cast<const char*>(info.label), 32) == paddedLabel) {
                return slot;
            }
        }
        throw std::runtime_error("test token: initialised token not found");
    }

    void Create(CK_ATTRIBUTE* attributes, CK_ULONG count) {
        CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
        Ok(f_->C_CreateObject(session_, attributes, count, &object), "C_CreateObject");
    }

    CK_FUNCTION_LIST* f_;
    CK_SESSION_HANDLE session_ = CK_INVALID_HANDLE;
};

// An exclusive lock on a file, held while the shared copy is read or made.
class CacheLock {
  public:
    explicit CacheLock(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        Check(fd_ >= 0, "cannot open the cache lock");
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~CacheLock() { ::close(fd_); }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;

  private:
    int fd_;
};

// Kept beside the singleton so the folder outlives every use of the tokens.
TempDir& TokenFolder() {
    static TempDir folder;
    return folder;
}

}  // namespace

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

SoftHsmTokens& SoftHsmTokens::Get() {
    static SoftHsmTokens tokens;
    return tokens;
}

SoftHsmTokens::~SoftHsmTokens() = default;

SoftHsmTokens::SoftHsmTokens() : folder_(TokenFolder().path()) {
    namespace fs = std::filesystem;
    // Keys, certificates and initialised tokens are made once and copied by every later
    // test process: each one gets a private copy, so tests never share SoftHSM's files.
    const fs::path cache = fs::path(QUILLBOX_SOFTHSM_CACHE) / kCacheVersion;
    fs::create_directories(cache.parent_path());
    CacheLock lock(cache.parent_path() / "lock");
    const fs::path complete = cache / "complete";
    std::error_code error;
    const bool fresh =
        fs::exists(complete) &&
        fs::file_time_type::clock::now() - fs::last_write_time(complete, error) <
            std::chrono::hours(24 * 20);  // validity periods count from the day of making
    if (fresh) {
        fs::copy(cache, folder_,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::remove(folder_ / "complete");
    }
    fs::create_directories(folder_ / "tokens");
    configFile_ = folder_ / "softhsm2.conf";
    WriteFile(configFile_, "directories.tokendir = " + (folder_ / "tokens").string() +
                               "\nobjectstore.backend = file\nlog.level = ERROR\n"
                               "slots.removable = false\n");
    ::setenv("SOFTHSM2_CONF", configFile_.c_str(), 1);
    if (fresh) {
        pkcs11::Module::Load(kModulePath);
    } else {
        Provision();
        fs::remove_all(cache, error);
        fs::copy(folder_, cache, fs::copy_options::recursive);
        fs::remove(cache / "softhsm2.conf");
        WriteFile(complete, "");
    }

    publicKeyPem_ = folder_ / "user-public.pem";
    std::istringstream index(ReadFile(folder_ / "certificates"));
    for (std::string name; std::getline(index, name);) {
        TestCertificate entry;
        entry.name = name;
        const std::string der = ReadFile(folder_ / (name + ".der"));
        entry.der.assign(der.begin(), der.end());
        entry.id = signing::CertificateIdOf(entry.der);
        entry.pem = folder_ / (name + ".pem");
        certificates_.push_back(std::move(entry));
    }
}

void SoftHsmTokens::Provision() {
    std::unique_ptr<CONF, Free> conf = LoadExtensions();
    // The CA key only signs certificates here; a short one keeps every test process quick.
    KeyPtr caKey = NewKey(1024);
    KeyPtr userKey = NewKey(2048);
    CertPtr ca = MakeCertificate("Quillbox Test CA", 1, caKey.get(), nullptr, caKey.get(),
                                 conf.get(), "ca", {-30, 3650});
    WriteFile(folder_ / "user-public.pem", PublicPemOf(userKey.get()));
    std::string index;

    auto module = pkcs11::Module::Load(kModulePath);
    CK_FUNCTION_LIST* f = module->functions();
    long serial = 100;
    auto add = [&](Provisioner& token, const std::string& name, const std::string& section,
                   Validity validity, bool withKey, bool alwaysAuthenticate) {
        CertPtr certificate =
            name == "ca" ? std::move(ca)
                         : MakeCertificate("Quillbox " + name, ++serial, userKey.get(), ca.get(),
                                           caKey.get(), conf.get(), section, validity);
        const std::vector<std::uint8_t> der = Der(certificate.get());
        WriteFile(folder_ / (name + ".der"), std::string(der.begin(), der.end()));
        WriteFile(folder_ / (name + ".pem"), PemOf(certificate.get()));
        index += name + "\n";
        const std::vector<std::uint8_t> id = {0x51, static_cast<std::uint8_t>(serial & 0xff),
                                              static_cast<std::uint8_t>(name.size())};
        token.AddCertificate(der, certificate.get(), name, id);
        if (withKey) {
            token.AddKeyPair(userKey.get(), name, id, alwaysAuthenticate);
        }
        if (name == "ca") {
            ca = std::move(certificate);
        }
    };
    {
        Provisioner main(f, kMainToken);
        add(main, "ca", "ca", {}, false, false);
        add(main, "nonrep", "nonrep", {}, true, false);
        add(main, "signonly", "signonly", {}, true, false);
        add(main, "noku", "noku", {}, true, false);
        add(main, "expired", "nonrep", {-730, -365}, true, false);
        add(main, "notyet", "nonrep", {365, 730}, true, false);
        add(main, "qc-compliance", "qc-compliance", {}, true, false);
        add(main, "qc-sscd", "qc-sscd", {}, true, false);
        add(main, "qc-both", "qc-both", {}, true, false);
        add(main, "qc-policy", "qc-policy", {}, true, false);
        add(main, "nokey", "nonrep", {}, false, false);
        add(main, "alwaysauth", "nonrep", {}, true, true);
    }
    {
        Provisioner keyStorage(f, kKeyStorageToken);
        add(keyStorage, "ksp", "nonrep", {}, true, false);
    }
    WriteFile(folder_ / "certificates", index);
}

const TestCertificate& SoftHsmTokens::Certificate(std::string_view name) const {
    for (const TestCertificate& certificate : certificates_) {
        if (certificate.name == name) {
            return certificate;
        }
    }
    throw std::out_of_range("no test certificate " + std::string(name));
}

}  // namespace quillbox::test
