// The user's certificates and keys on PKCS #11 tokens, as the signature engine sees them.
// Nothing here names a Cryptoki type, so the engine and its tests never include the
// Cryptoki header; the implementation over a loaded module is in cryptoki_token_store.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/secret/secret_text.h"

namespace quillbox::pkcs11 {

// The RSA signature mechanisms the plug-in uses. RsaPkcs signs a prepared DigestInfo; the
// HashRsaPkcs ones hash on the token and sign. RsaRaw is the bare RSA operation over a
// block already padded (RSA-PSS for the TLS handshake of a client-certificate login).
enum class Mechanism {
    RsaPkcs,
    Md5RsaPkcs,
    Sha1RsaPkcs,
    Sha256RsaPkcs,
    Sha384RsaPkcs,
    Sha512RsaPkcs,
    RsaRaw,
};

// Whether the token hashes the data itself before signing.
inline bool HashesOnToken(Mechanism mechanism) {
    switch (mechanism) {
        case Mechanism::Md5RsaPkcs:
        case Mechanism::Sha1RsaPkcs:
        case Mechanism::Sha256RsaPkcs:
        case Mechanism::Sha384RsaPkcs:
        case Mechanism::Sha512RsaPkcs:
            return true;
        default:
            return false;
    }
}

// What a person needs to know before typing a PIN for a token.
struct TokenStatus {
    std::string label;  // the token's label, trailing blanks removed
    bool loginRequired = false;
    bool protectedAuthPath = false;  // a PIN pad: the module asks for the PIN itself
    bool pinCountLow = false;        // a wrong PIN was entered since the last good login
    bool pinFinalTry = false;        // one more wrong PIN locks the token
    bool pinLocked = false;
    std::size_t minPinLength = 0;
    std::size_t maxPinLength = 0;  // 0: no limit known
};

// The token flags word (CK_TOKEN_INFO.flags) and label (32 blank-padded bytes) as a status.
TokenStatus TokenStatusFromFlags(std::span<const unsigned char> label, unsigned long flags,
                                 unsigned long minPinLength, unsigned long maxPinLength);

struct TokenCertificate {
    std::vector<std::uint8_t> der;
    std::string label;             // CKA_LABEL, the friendly name
    std::vector<std::uint8_t> id;  // CKA_ID, shared with the certificate's key objects
    std::size_t token = 0;         // index into TokenStore::Tokens()
    bool hasPrivateKey = false;
};

// Why a login prompt is shown.
struct PinQuestion {
    TokenStatus token;
    bool afterWrongPin = false;  // the previous PIN was refused
    bool forSignature = false;   // the key demands a login for each signature
};

// Asks a person for a PIN. Nothing (no value) means the person cancelled.
class PinPrompt {
  public:
    virtual ~PinPrompt() = default;
    virtual std::optional<secret::SecretText> AskPin(const PinQuestion& question) = 0;
};

// A failed token operation. The signature engine turns the stage into its error codes.
class TokenError : public std::runtime_error {
  public:
    enum class Stage {
        LoadModule,  // the module file could not be loaded or has no function list
        Initialize,  // C_Initialize failed
        List,        // slots, tokens or objects could not be read
        Login,       // login failed for another reason than a wrong PIN, or PIN locked
        FindKey,     // no private key object with the certificate's id
        SignInit,    // the token refused the mechanism or key
        SignLength,  // asking for the signature length failed
        Sign,        // the signature itself failed
    };
    TokenError(Stage stage, unsigned long rv, const std::string& what)
        : std::runtime_error(what), stage_(stage), rv_(rv) {}
    Stage stage() const { return stage_; }
    // The Cryptoki return value (CKR_*); 0 when the failure was not a Cryptoki call.
    unsigned long rv() const { return rv_; }

  private:
    Stage stage_;
    unsigned long rv_;
};

// The person cancelled a PIN prompt.
class LoginCancelled : public std::runtime_error {
  public:
    LoginCancelled() : std::runtime_error("PIN entry cancelled") {}
};

class TokenStore {
  public:
    virtual ~TokenStore() = default;

    // Initialised tokens only, in slot order.
    virtual const std::vector<TokenStatus>& Tokens() const = 0;
    // Every certificate object of those tokens, read when the store was opened.
    virtual const std::vector<TokenCertificate>& Certificates() const = 0;
    // The signature mechanisms a token offers and the store may use on it.
    virtual std::set<Mechanism> Mechanisms(std::size_t token) const = 0;
    // Signs with the private key that has the certificate's id. Logs in first when the
    // token asks for it, through prompt. Throws TokenError or LoginCancelled.
    virtual std::vector<std::uint8_t> Sign(const TokenCertificate& certificate, Mechanism mechanism,
                                           std::span<const std::uint8_t> data,
                                           PinPrompt& prompt) = 0;
};

}  // namespace quillbox::pkcs11
