// Names for the message numbers the code refers to, so a reader sees what is shown.
#pragma once

namespace quillbox::msg {

inline constexpr int kCaption = 102;
inline constexpr int kBanner = 103;
inline constexpr int kCaptionWithTitle = 104;
inline constexpr int kOk = 112;
inline constexpr int kDownloadingRequest = 113;
inline constexpr int kError = 121;
inline constexpr int kCannotCreateXmlDocument = 122;
inline constexpr int kServerCommunicationError = 204;
inline constexpr int kTlsNotEnabled = 215;

}  // namespace quillbox::msg
