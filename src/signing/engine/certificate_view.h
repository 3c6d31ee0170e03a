// What the certificate viewer shows of a certificate.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/ui/user_interface.h"

namespace quillbox::signing {

inline constexpr int kMsgCertificateCaption = 131;
inline constexpr int kMsgFieldSubject = 257;
inline constexpr int kMsgFieldIssuer = 258;
inline constexpr int kMsgFieldValidFrom = 259;
inline constexpr int kMsgFieldValidTo = 260;
inline constexpr int kMsgFieldSerial = 261;
inline constexpr int kMsgFieldKeyUsage = 262;
inline constexpr int kMsgFieldThumbprint = 263;
inline constexpr int kMsgClose = 264;
inline constexpr int kMsgNoKeyUsage = 265;

// Subject and issuer (common name first), validity (short dates), serial (hexadecimal), key usage,
// SHA-1 thumbprint and the PEM text; nothing when the bytes are not a certificate.
std::optional<ui::CertificateViewRequest> DescribeCertificate(std::span<const std::uint8_t> der);

}  // namespace quillbox::signing
