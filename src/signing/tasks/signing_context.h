// The state of one sign or choose-certificate task: what the task document asks for
// (the data and how to sign it), the opened certificate store, and the values the task
// hands to the response.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/task_kind.h"
#include "platform/xml/xml_document.h"

namespace quillbox {
class Base64Coder;
}

namespace quillbox::signing {

class CertificateStore;

// Opens the person's certificate store; throws CSignException when it cannot.
using CertificateStoreFactory = std::function<std::unique_ptr<CertificateStore>()>;

class SigningContext {
  public:
    // Status values of SignWithCertificate.
    static constexpr std::int32_t kStatusOk = 0;
    static constexpr std::int32_t kStatusError = 2;

    // Takes the opened store, sets the defaults (SHA-1, no hash) and reads "//data".
    SigningContext(TaskKind kind, const xml::XmlDocument& document,
                   std::unique_ptr<CertificateStore> store, Base64Coder& coder);
    ~SigningContext();
    SigningContext(const SigningContext&) = delete;
    SigningContext& operator=(const SigningContext&) = delete;

    // Reads "//data": its "alg" and "hshalg" attributes and its Base64 text. False when
    // there is no such element, an algorithm name is unknown or the text is empty; the
    // data is then not read.
    bool ReadDataElement();
    // Whether "//data" was read completely, so there is something defined to sign.
    bool HasData() const { return dataRead_; }

    // Signs the data (sign tasks only) and fetches the certificate's DER. kStatusOk or
    // kStatusError; the engine's CSignException and SignCancelled pass to the caller.
    // The data is released afterwards, whatever happened.
    std::int32_t SignWithCertificate(std::string_view certificateId);

    TaskKind kind() const { return kind_; }
    const CertificateStore& store() const { return *store_; }
    std::uint32_t algorithmId() const { return algorithmId_; }
    const std::string& algorithmName() const { return algorithmName_; }
    std::uint32_t hashId() const { return hashId_; }
    const std::string& hashName() const { return hashName_; }
    const std::vector<std::uint8_t>& data() const { return data_; }

    const std::string& certificateId() const { return certificateId_; }
    const std::string& signatureValue() const { return signatureValue_; }
    const std::string& certificate() const { return certificate_; }
    std::int32_t status() const { return status_; }

  private:
    void ReleaseData();

    TaskKind kind_;
    const xml::XmlDocument& document_;
    std::unique_ptr<CertificateStore> store_;
    Base64Coder& coder_;

    std::uint32_t algorithmId_;
    std::string algorithmName_;
    std::uint32_t hashId_ = 0;
    std::string hashName_;
    std::vector<std::uint8_t> data_;
    bool dataRead_ = false;

    std::string certificateId_;
    std::string signatureValue_;
    std::string certificate_;
    std::int32_t status_ = kStatusOk;
};

}  // namespace quillbox::signing
