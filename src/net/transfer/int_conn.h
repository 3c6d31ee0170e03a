// One transfer against one URL: a local file, an HTTP/HTTPS/FTP download, or a body sent with
// a verb (FTP upload for ftp URLs) and the answer read back. IntConn owns the request loop that
// retries after certificate warnings, credentials and client certificates, and reports every
// step by a numbered status code to the caller's callback or, without one, to the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base64/base64_coder.h"
#include "platform/http/client_key.h"
#include "platform/secret/secret_text.h"

namespace quillbox::http {
struct SendResult;
}  // namespace quillbox::http

namespace quillbox::net {

class ClientCertMap;  // owned by the task processor; the client-certificate step uses it

enum class ResultCode : int {
    Success = 0,
    Cancelled = 1,    // the person cancelled a dialog
    Failed = 2,       // before or without an HTTP exchange (open, connect, too many attempts)
    ServerError = 3,  // reported by the server or the transport
};

// Called for every status report. Codes 61 and 62 are queries: the buffer (2,048 bytes for
// 61, 100 bytes for 62) holds the question and the callback may overwrite it with the answer.
// For every other code the text may be null.
using NetStatusCallback = void (*)(int code, char* text, void* context);

// Status report codes.
enum NetStatus : int {
    MyNet_FILE = 1,
    MyNet_FILE_OpenFailed = 2,
    MyNet_FILE_Opened = 3,
    MyNet_InternetConnectFTP = 4,
    MyNet_FileOpenFTP = 6,
    MyNet_SendFTP = 7,
    MyNet_Upload = 8,
    MyNet_CrackURL = 9,
    MyNet_InternetOpen = 10,
    MyNet_InternetOpenFailed = 11,
    MyNet_InternetConnectHTTP = 12,
    MyNet_InternetConnectHTTPS = 13,
    MyNet_POSTDataHTTP_S = 14,
    MyNet_Uploaded = 15,
    MyNet_POSTOpenRequestHTTP = 16,
    MyNet_POSTOpenRequestHTTPS = 17,
    MyNet_GETOpenRequestHTTP = 18,
    MyNet_GETOpenRequestHTTPS = 19,
    MyNet_InternetReadFile = 20,
    MyNet_Download = 21,
    MyNet_AddHeader = 22,
    MyNet_ConnectigFailed = 23,
    MyNet_SendingFailed = 24,
    MyNet_Send_OK = 26,
    MyNet_Send_ERROR = 27,
    MyNet_DownloadingFailed = 28,
    MyNet_Download_OK = 29,
    MyNet_Download_ERROR = 30,
    MyNet_Error = 50,
    MyNet_HTTPError = 51,
    MyNet_WININETError = 52,
    MyNet_GetClientCert = 60,
    MyNet_AddCookie = 61,
    MyNet_GetISDSAuth = 62,
    MyNet_HttpFileTime = 65,
    MyNet_DebugInfo = 100,
};

inline constexpr std::size_t kAddCookieBufferSize = 2048;
inline constexpr std::size_t kAuthTypeBufferSize = 100;

// The date-time record handed as the "text" of report 65 (16 bytes).
struct NetFileTime {
    std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
static_assert(sizeof(NetFileTime) == 16);

// TransferFlags, read digit by digit (digit n = flags / 10^n mod 10).
namespace transfer_flags {
inline constexpr unsigned kDownload = 2210;  // system proxy, no credential headers, GET
}

// The heap blocks ReadResponse and DownloadUrl fill. Each pointer is optional (null skips
// that part). The body block holds bodyLength bytes; a network body is followed by one zero
// byte that is not counted (so body->size() == *bodyLength + 1), a local file's body is not.
// Texts that do not fit their limit (4,096 raw headers, 32 status, 1,024 content type) or
// are absent come back empty.
struct ResponseOut {
    std::vector<std::uint8_t>* body = nullptr;
    std::size_t* bodyLength = nullptr;
    std::string* rawHeaders = nullptr;  // CRLF separated
    std::string* statusText = nullptr;  // the numeric status as text, e.g. "200"
    std::string* contentType = nullptr;
};

inline constexpr std::size_t kRawHeadersLimit = 4096;
inline constexpr std::size_t kStatusTextLimit = 32;
inline constexpr std::size_t kContentTypeLimit = 1024;

class IntConn {
  public:
    IntConn();
    virtual ~IntConn();
    IntConn(const IntConn&) = delete;
    IntConn& operator=(const IntConn&) = delete;

    // Borrowed strings (userName ... proxyPassword) must outlive the IntConn; null and ""
    // differ for userName (see ReadResponse). parentWindow is an opaque owner handle.
    bool Open(void* parentWindow, const char* url, const char* userName, const char* password,
              const char* proxyServer, const char* proxyUser, const char* proxyPassword,
              unsigned flags, void* callbackContext, NetStatusCallback callback);
    ResultCode SendData(const std::uint8_t* data, std::size_t length, const char* extraHeaders,
                        NetStatusCallback callback);
    ResultCode ReadResponse(const ResponseOut& out, NetStatusCallback callback);

    // Hands over the Location of a handled 302 once; false when there is none.
    bool GetRedirectUrl(std::string& url);
    const char* GetOtpUser() const { return otpUser_.c_str(); }
    const char* GetOtpPassword() const { return otpPassword_.data(); }
    // Refused (false) for null or a value of more than 100 characters (UTF-8 characters).
    bool SetOtpUser(const char* value);
    bool SetOtpPassword(const char* value);
    int GetAuthScheme() const { return authScheme_; }
    void SetAuthScheme(int scheme) { authScheme_ = scheme; }
    void SetRedirectHandling(bool on) { redirectHandling_ = on; }
    void SetDataBoxForm(bool on) { dataBoxForm_ = on; }
    void SetClientCertMap(ClientCertMap* map) { clientCertMap_ = map; }
    ClientCertMap* GetClientCertMap() const { return clientCertMap_; }
    void SetResult(ResultCode result) { result_ = result; }
    ResultCode GetResult() const { return result_; }

    // Read-only views for the drivers and tests.
    const std::string& FullUrl() const { return fullUrl_; }
    const std::string& HostName() const { return hostName_; }
    const std::string& Verb() const { return verb_; }
    bool IsLocalFile() const { return isLocalFile_; }
    bool UseHttp10() const { return useHttp10_; }
    bool SendCredentialHeaders() const { return sendCredentialHeaders_; }
    bool SmallReadChunks() const { return smallReadChunks_; }
    bool TrustedDomainCheck() const { return trustedDomainCheck_; }
    bool TolerateCertErrors() const { return tolerateCertErrors_; }
    void SetTolerateCertErrors(bool on) { tolerateCertErrors_ = on; }
    bool PassiveFtp() const { return passiveFtp_; }
    int ProxyType() const { return proxyType_; }

    // For the login steps, while the request loop runs: a header of the last response, the
    // request's current URL, and the request's credentials. PutRequestHeader replaces a
    // header of the same name. AnswerDigest leaves the Digest exchange to the transport
    // and takes any Authorization line off the request.
    std::optional<std::string> ResponseHeader(std::string_view name) const;
    std::string RequestUrl() const;
    void PutRequestHeader(const std::string& line);
    void AnswerDigest(const std::string& userName, std::string_view password);
    // The client-certificate step: the certificate (by CertificateId) and key offered from
    // now on in this exchange. False when the transport cannot use it.
    bool InstallClientKey(const std::string& certificateId, std::shared_ptr<http::ClientKey> key);
    // The certificate installed in this exchange; empty when none was.
    const std::string& ChosenCertificateId() const { return chosenCertificateId_; }

    // The request loop (SendData and ReadResponse run it). Public for the send driver.
    ResultCode ExecuteRequest(const std::uint8_t* data, std::size_t length,
                              NetStatusCallback callback);

    // Reports a status: to the callback when given, else to the log at level 0.
    void ReportStatus(NetStatusCallback callback, int code, const char* text);

  private:
    struct Internals;
    // The error dialog: a certificate warning or a credentials prompt. Returns the answer
    // code the loop compares.
    int AskAboutProblem(long status, int transportError, NetStatusCallback callback);
    void RememberDataBoxCookie(const std::string& rawHeaders, NetStatusCallback callback);
    void ReportFailure(long status, const http::SendResult& sent, NetStatusCallback callback);
    void ReportFileTime(NetStatusCallback callback, const NetFileTime& record);

    // Field order follows the connection engine's record.
    void* parentWindow_ = nullptr;
    std::unique_ptr<Internals> internals_;  // session, connection and request
    void* callbackContext_ = nullptr;
    std::FILE* localFile_ = nullptr;
    bool isLocalFile_ = false;
    std::string fullUrl_;
    std::string userAgent_;
    const char* userName_ = nullptr;
    const char* password_ = nullptr;
    std::string hostName_;
    const char* proxyServer_ = nullptr;
    const char* proxyUser_ = nullptr;
    const char* proxyPassword_ = nullptr;
    bool useHttp10_ = false;
    bool sendCredentialHeaders_ = true;
    bool tolerateCertErrors_ = false;
    bool smallReadChunks_ = false;
    std::string verb_ = "POST";
    bool redirectHandling_ = false;
    std::optional<std::string> redirectUrl_;
    std::string otpUser_;
    secret::SecretText otpPassword_;
    bool dataBoxForm_ = false;
    int authScheme_ = -2;
    bool trustedDomainCheck_ = false;
    Base64Coder base64_;
    ClientCertMap* clientCertMap_ = nullptr;
    std::string chosenCertificateId_;
    ResultCode result_ = ResultCode::Success;
    std::uint32_t connectContext_ = 0;
    std::uint32_t requestContext_ = 0;
    bool passiveFtp_ = false;
    int proxyType_ = 0;
};

// The one-shot download: Open, ReadResponse, destroy. Returns Success or Failed.
ResultCode DownloadUrl(void* parentWindow, const char* url, const char* userName,
                       const char* password, const char* proxyServer, const char* proxyUser,
                       const char* proxyPassword, const ResponseOut& out, unsigned flags,
                       void* callbackContext, NetStatusCallback callback);

}  // namespace quillbox::net
