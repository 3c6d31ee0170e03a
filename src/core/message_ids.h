// Names for the message numbers the code refers to, so a reader sees what is shown.
#pragma once

namespace quillbox::msg {

inline constexpr int kCaption = 102;
inline constexpr int kBanner = 103;
inline constexpr int kCaptionWithTitle = 104;
inline constexpr int kSignData = 106;
inline constexpr int kChooseCertificate = 107;
inline constexpr int kCertificatesList = 109;
inline constexpr int kDataBeingSigned = 110;
inline constexpr int kSign = 111;
inline constexpr int kOk = 112;
inline constexpr int kDownloadingRequest = 113;
inline constexpr int kIssuedTo = 114;
inline constexpr int kIssuedBy = 115;
inline constexpr int kExpirationDate = 116;
inline constexpr int kIssueDate = 117;
inline constexpr int kFriendlyName = 118;
inline constexpr int kCancel = 119;
inline constexpr int kView = 120;
inline constexpr int kError = 121;
inline constexpr int kCannotCreateXmlDocument = 122;
inline constexpr int kLogInTo = 152;
inline constexpr int kNoSuitableCertificate = 157;
inline constexpr int kDownloadingPreview = 186;
inline constexpr int kServerCommunicationError = 204;
inline constexpr int kShowAllCertificates = 214;
inline constexpr int kTlsNotEnabled = 215;

}  // namespace quillbox::msg
