// Names for the message numbers the code refers to, so a reader sees what is shown.
#pragma once

namespace quillbox::msg {

inline constexpr int kCaption = 102;
inline constexpr int kBanner = 103;
inline constexpr int kCaptionWithTitle = 104;
inline constexpr int kSignData = 106;
inline constexpr int kChooseCertificate = 107;
inline constexpr int kAuthentication = 108;
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
inline constexpr int kLoginFailed = 123;
inline constexpr int kProxyNeedsLogin = 133;
inline constexpr int kServerNeedsLogin = 134;
inline constexpr int kSendSms = 135;
inline constexpr int kSmsCodeLabel = 136;
inline constexpr int kLogInTo = 152;
inline constexpr int kNoSuitableCertificate = 157;
inline constexpr int kPasswordLabel = 160;
inline constexpr int kConfirmPasswordLabel = 161;
inline constexpr int kPrivateKeyPasswordTitle = 162;
inline constexpr int kPasswordMismatch = 164;
inline constexpr int kEmptyPassword = 168;
inline constexpr int kSavePfxTitle = 169;
inline constexpr int kNoKeyFileName = 170;
inline constexpr int kCannotOpenKey = 173;
inline constexpr int kCannotLoadKey = 174;
inline constexpr int kCannotCreatePfx = 175;
inline constexpr int kCannotSavePfx = 176;
inline constexpr int kKeyNotFound = 177;
inline constexpr int kKeyNotForCertificate = 178;
inline constexpr int kPfxAlreadySaved = 179;
inline constexpr int kReplaceFile = 180;
inline constexpr int kAllFiles = 181;
inline constexpr int kPfxFiles = 182;
inline constexpr int kPasswordAsciiOnly = 185;
inline constexpr int kDownloadingPreview = 186;
inline constexpr int kServerCommunicationError = 204;
inline constexpr int kServerAsksLogin = 205;
inline constexpr int kUserNameLabel = 206;
inline constexpr int kUserNameCue = 207;
inline constexpr int kPasswordCue = 208;
inline constexpr int kSmsCodeCue = 209;
inline constexpr int kCodeLabel = 210;
inline constexpr int kCodeCue = 211;
inline constexpr int kShowAllCertificates = 214;
inline constexpr int kTlsNotEnabled = 215;
inline constexpr int kSecurityWarning = 225;
inline constexpr int kCertWrongName = 226;
inline constexpr int kCertWrongDate = 227;
inline constexpr int kCertUnknownAuthority = 228;
inline constexpr int kCertRevocation = 229;
inline constexpr int kRedirectToPlain = 230;
inline constexpr int kContinueQuestion = 231;
inline constexpr int kCredentialsPasswordLabel = 232;
inline constexpr int kYes = 233;
inline constexpr int kNo = 234;

}  // namespace quillbox::msg
