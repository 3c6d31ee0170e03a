#include "platform/pkcs11/cryptoki_token_store.h"

#include <algorithm>
#include <utility>

#include "platform/pkcs11/module.h"
#include "platform/pkcs11/session.h"

namespace quillbox::pkcs11 {

namespace {

constexpr std::pair<Mechanism, CK_MECHANISM_TYPE> kMechanisms[] = {
    {Mechanism::RsaPkcs, CKM_RSA_PKCS},
    {Mechanism::Md5RsaPkcs, CKM_MD5_RSA_PKCS},
    {Mechanism::Sha1RsaPkcs, CKM_SHA1_RSA_PKCS},
    {Mechanism::Sha256RsaPkcs, CKM_SHA256_RSA_PKCS},
    {Mechanism::Sha384RsaPkcs, CKM_SHA384_RSA_PKCS},
    {Mechanism::Sha512RsaPkcs, CKM_SHA512_RSA_PKCS},
    {Mechanism::RsaRaw, CKM_RSA_X_509},
};

CK_MECHANISM_TYPE CryptokiMechanism(Mechanism mechanism) {
    for (const auto& [ours, theirs] : kMechanisms) {
        if (ours == mechanism) {
            return theirs;
        }
    }
    return CKM_RSA_PKCS;
}

struct Token {
    CK_SLOT_ID slot = 0;
    std::set<Mechanism> mechanisms;
    // Kept open while the store lives: a login lasts as long as the application has a
    // session on the token, so one PIN serves every signature of the task.
    std::unique_ptr<Session> session;
};

std::vector<CK_SLOT_ID> SlotsWithToken(CK_FUNCTION_LIST* functions) {
    std::vector<CK_SLOT_ID> slots;
    for (int attempt = 0; attempt < 4; ++attempt) {
        CK_ULONG count = 0;
        CK_RV rv = functions->C_GetSlotList(CK_TRUE, nullptr, &count);
        if (rv != CKR_OK) {
            throw TokenError(TokenError::Stage::List, rv,
                             "C_GetSlotList failed: " + ReturnValueName(rv));
        }
        slots.resize(count);
        rv = functions->C_GetSlotList(CK_TRUE, slots.data(), &count);
        if (rv == CKR_BUFFER_TOO_SMALL) {
            continue;  // a token arrived between the two calls
        }
        if (rv != CKR_OK) {
            throw TokenError(TokenError::Stage::List, rv,
                             "C_GetSlotList failed: " + ReturnValueName(rv));
        }
        slots.resize(std::min<CK_ULONG>(count, slots.size()));
        return slots;
    }
    throw TokenError(TokenError::Stage::List, CKR_BUFFER_TOO_SMALL, "C_GetSlotList keeps changing");
}

std::optional<TokenStatus> ReadTokenStatus(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot) {
    CK_TOKEN_INFO info{};
    if (functions->C_GetTokenInfo(slot, &info) != CKR_OK) {
        return std::nullopt;
    }
    if ((info.flags & CKF_TOKEN_INITIALIZED) == 0) {
        return std::nullopt;
    }
    return TokenStatusFromFlags(info.label, info.flags, info.ulMinPinLen, info.ulMaxPinLen);
}

std::set<Mechanism> SignMechanisms(CK_FUNCTION_LIST* functions, CK_SLOT_ID slot) {
    std::set<Mechanism> offered;
    for (const auto& [ours, theirs] : kMechanisms) {
        CK_MECHANISM_INFO info{};
        if (functions->C_GetMechanismInfo(slot, theirs, &info) == CKR_OK &&
            (info.flags & CKF_SIGN) != 0) {
            offered.insert(ours);
        }
    }
    return offered;
}

class CryptokiTokenStore final : public TokenStore {
  public:
    explicit CryptokiTokenStore(const TokenStoreOptions& options)
        : module_(Module::Load(options.modulePath)) {
        CK_FUNCTION_LIST* functions = module_->functions();
        for (CK_SLOT_ID slot : SlotsWithToken(functions)) {
            std::optional<TokenStatus> status = ReadTokenStatus(functions, slot);
            if (!status) {
                continue;
            }
            Token token;
            token.slot = slot;
            token.mechanisms = SignMechanisms(functions, slot);
            if (auto limit = options.mechanismLimits.find(status->label);
                limit != options.mechanismLimits.end()) {
                std::erase_if(token.mechanisms,
                              [&](Mechanism m) { return limit->second.count(m) == 0; });
            }
            try {
                token.session = std::make_unique<Session>(module_, slot);
            } catch (const TokenError&) {
                continue;  // a token that will not open a session has nothing to offer
            }
            const std::size_t index = tokens_.size();
            ListCertificates(*token.session, *status, index);
            tokens_.push_back(std::move(token));
            statuses_.push_back(std::move(*status));
        }
    }

    const std::vector<TokenStatus>& Tokens() const override { return statuses_; }
    const std::vector<TokenCertificate>& Certificates() const override { return certificates_; }

    std::set<Mechanism> Mechanisms(std::size_t token) const override {
        return token < tokens_.size() ? tokens_[token].mechanisms : std::set<Mechanism>{};
    }

    std::vector<std::uint8_t> Sign(const TokenCertificate& certificate, Mechanism mechanism,
                                   std::span<const std::uint8_t> data, PinPrompt& prompt) override {
        if (certificate.token >= tokens_.size()) {
            throw TokenError(TokenError::Stage::FindKey, 0, "the certificate has no token");
        }
        Token& token = tokens_[certificate.token];
        // A session of its own: a sign operation left half done (a cancelled
        // per-signature login) ends with it.
        Session session(module_, token.slot);
        std::optional<secret::SecretText> pin;
        if (!session.UserLoggedIn() && CurrentStatus(token).loginRequired) {
            pin = LogIn(session, token, CKU_USER, false, prompt);
        }
        const auto keys = certificate.id.empty()
                              ? std::vector<CK_OBJECT_HANDLE>{}
                              : session.FindById(CKO_PRIVATE_KEY, certificate.id);
        if (keys.empty()) {
            throw TokenError(TokenError::Stage::FindKey, 0,
                             "no private key with the certificate's id");
        }
        const CK_OBJECT_HANDLE key = keys.front();
        CK_FUNCTION_LIST* functions = module_->functions();
        CK_MECHANISM cryptokiMechanism{CryptokiMechanism(mechanism), nullptr, 0};
        CK_RV rv = functions->C_SignInit(session.handle(), &cryptokiMechanism, key);
        if (rv != CKR_OK) {
            throw TokenError(TokenError::Stage::SignInit, rv,
                             "C_SignInit failed: " + ReturnValueName(rv));
        }
        if (session.Flag(key, CKA_ALWAYS_AUTHENTICATE)) {
            // The PIN typed a moment ago for this signature serves; otherwise ask.
            if (pin) {
                rv = functions->C_Login(
                    session.handle(), CKU_CONTEXT_SPECIFIC,
                    reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin->data())), pin->size());
                pin->Wipe();
                if (rv != CKR_OK) {
                    LogIn(session, token, CKU_CONTEXT_SPECIFIC, true, prompt);
                }
            } else {
                LogIn(session, token, CKU_CONTEXT_SPECIFIC, true, prompt);
            }
        }
        if (pin) {
            pin->Wipe();
        }
        std::vector<CK_BYTE> input(data.begin(), data.end());
        CK_ULONG length = 0;
        rv = functions->C_Sign(session.handle(), input.data(), input.size(), nullptr, &length);
        if (rv != CKR_OK) {
            throw TokenError(TokenError::Stage::SignLength, rv,
                             "C_Sign (length) failed: " + ReturnValueName(rv));
        }
        std::vector<std::uint8_t> signature(length);
        rv = functions->C_Sign(session.handle(), input.data(), input.size(), signature.data(),
                               &length);
        if (rv != CKR_OK) {
            throw TokenError(TokenError::Stage::Sign, rv, "C_Sign failed: " + ReturnValueName(rv));
        }
        signature.resize(std::min<std::size_t>(length, signature.size()));
        return signature;
    }

  private:
    TokenStatus CurrentStatus(const Token& token) const {
        // The PIN flags change with every login attempt: read them afresh.
        std::optional<TokenStatus> status = ReadTokenStatus(module_->functions(), token.slot);
        if (!status) {
            throw TokenError(TokenError::Stage::Login, CKR_TOKEN_NOT_PRESENT, "the token is gone");
        }
        return *status;
    }

    // Nothing typed can help a locked PIN; the person still learns once why signing stops.
    [[noreturn]] static void ShowLockedAndStop(TokenStatus status, bool afterWrongPin,
                                               bool forSignature, PinPrompt& prompt) {
        status.pinLocked = true;
        prompt.AskPin(PinQuestion{status, afterWrongPin, forSignature});
        throw TokenError(TokenError::Stage::Login, CKR_PIN_LOCKED, "the PIN is locked");
    }

    // Logs in as userType, asking until the PIN is accepted or the person cancels. Only a
    // wrong PIN typed by the person asks again, so no round repeats without a person.
    // Returns the accepted PIN (empty on a PIN pad) for a per-signature login that follows.
    std::optional<secret::SecretText> LogIn(Session& session, const Token& token,
                                            CK_USER_TYPE userType, bool forSignature,
                                            PinPrompt& prompt) {
        CK_FUNCTION_LIST* functions = module_->functions();
        bool afterWrongPin = false;
        for (;;) {
            const TokenStatus status = CurrentStatus(token);
            if (status.pinLocked) {
                ShowLockedAndStop(status, afterWrongPin, forSignature, prompt);
            }
            CK_RV rv;
            std::optional<secret::SecretText> pin;
            if (status.protectedAuthPath) {
                rv = functions->C_Login(session.handle(), userType, nullptr, 0);
            } else {
                pin = prompt.AskPin(PinQuestion{status, afterWrongPin, forSignature});
                if (!pin) {
                    throw LoginCancelled();
                }
                rv = functions->C_Login(
                    session.handle(), userType,
                    reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin->data())), pin->size());
            }
            if (rv == CKR_OK || (rv == CKR_USER_ALREADY_LOGGED_IN && userType == CKU_USER)) {
                return pin;
            }
            if ((rv == CKR_PIN_INCORRECT || rv == CKR_PIN_LEN_RANGE) && !status.protectedAuthPath) {
                afterWrongPin = true;
                continue;
            }
            if (rv == CKR_PIN_LOCKED) {
                // Some modules raise the locked flag only later, or never: the answer
                // itself is enough.
                ShowLockedAndStop(status, afterWrongPin, forSignature, prompt);
            }
            throw TokenError(TokenError::Stage::Login, rv,
                             "C_Login failed: " + ReturnValueName(rv));
        }
    }

    void ListCertificates(const Session& session, const TokenStatus& status, std::size_t index) {
        CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
        CK_CERTIFICATE_TYPE x509 = CKC_X_509;
        CK_ATTRIBUTE pattern[] = {
            {CKA_CLASS, &certificateClass, sizeof certificateClass},
            {CKA_CERTIFICATE_TYPE, &x509, sizeof x509},
        };
        // Before login a token may hide its private keys; if it shows public keys, those
        // tell which certificates have a key, otherwise its login requirement must do.
        const bool keysHidden = status.loginRequired && !session.UserLoggedIn();
        bool showsPublicKeys = false;
        if (keysHidden) {
            CK_OBJECT_CLASS publicClass = CKO_PUBLIC_KEY;
            CK_ATTRIBUTE publicPattern[] = {{CKA_CLASS, &publicClass, sizeof publicClass}};
            showsPublicKeys = !session.Find(publicPattern).empty();
        }
        for (CK_OBJECT_HANDLE object : session.Find(pattern)) {
            std::optional<std::vector<std::uint8_t>> der = session.Attribute(object, CKA_VALUE);
            if (!der || der->empty()) {
                continue;
            }
            TokenCertificate certificate;
            certificate.der = std::move(*der);
            if (auto label = session.Attribute(object, CKA_LABEL)) {
                certificate.label.assign(label->begin(), label->end());
            }
            if (auto id = session.Attribute(object, CKA_ID)) {
                certificate.id = std::move(*id);
            }
            certificate.token = index;
            if (!certificate.id.empty()) {
                if (!session.FindById(CKO_PRIVATE_KEY, certificate.id).empty()) {
                    certificate.hasPrivateKey = true;
                } else if (keysHidden) {
                    certificate.hasPrivateKey =
                        showsPublicKeys ? !session.FindById(CKO_PUBLIC_KEY, certificate.id).empty()
                                        : true;
                }
            }
            certificates_.push_back(std::move(certificate));
        }
    }

    std::shared_ptr<Module> module_;
    std::vector<Token> tokens_;
    std::vector<TokenStatus> statuses_;
    std::vector<TokenCertificate> certificates_;
};

}  // namespace

std::unique_ptr<TokenStore> OpenCryptokiTokenStore(const TokenStoreOptions& options) {
    return std::make_unique<CryptokiTokenStore>(options);
}

}  // namespace quillbox::pkcs11
