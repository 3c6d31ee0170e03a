// Transfer over a libcurl easy handle driven by its own multi handle, so that an exchange can
// stop after the response headers and the body can then be read into the caller's buffer
// piece by piece (the write callback pauses the transfer whenever the caller's buffer is full).
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/http/curl_share.h"
#include "platform/http/tls_client_key.h"
#include "platform/http/transfer.h"
#include "platform/secret/secret_text.h"
#include "platform/system/ascii_case.h"

namespace quillbox::http {
namespace {

// Pieces handed to an FTP upload at a time.
constexpr std::size_t kUploadPiece = 131072;
constexpr long kReceiveBufferSize = 512 * 1024;
// A server that keeps redirecting (to itself, or round a circle) is given up on after this many.
constexpr long kMaxRedirects = 20;
// Stall limits of a request whose caller set none: a dead or silent server must not hold the
// transfer for ever.
constexpr long kDefaultStallLimitMs = 60000;
// Less than this rate over a whole stall limit counts as a stall: a server that trickles a
// byte now and then keeps no transfer alive. Far below any real link.
constexpr std::uint64_t kMinBytesPerSecond = 64;

std::atomic<bool> g_stopped{false};

using Clock = std::chrono::steady_clock;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// Header lines may carry credentials (an Authorization line): overwritten before they go.
struct SlistDeleter {
    void operator()(curl_slist* list) const {
        for (curl_slist* node = list; node != nullptr; node = node->next)
            secret::WipeBytes(node->data, std::strlen(node->data));
        curl_slist_free_all(list);
    }
};

std::string_view HeaderName(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view{} : line.substr(0, colon);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Which kind of certificate problem an OpenSSL verification error is, and the flag that
// tolerates it.
struct CertProblem {
    TransferError error;
    unsigned ignoredBy;
};

CertProblem ClassifyVerifyError(int error) {
    switch (error) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
        case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
            return {TransferError::CertDateInvalid, kIgnoreWrongDate};
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return {TransferError::CertNameInvalid, kIgnoreWrongName};
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return {TransferError::CertUnknownAuthority, kIgnoreUnknownAuthority};
        case X509_V_ERR_UNABLE_TO_GET_CRL:
        case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        case X509_V_ERR_CRL_HAS_EXPIRED:
        case X509_V_ERR_CRL_NOT_YET_VALID:
            return {TransferError::CertRevocationFailed, kIgnoreRevocation};
        case X509_V_ERR_INVALID_PURPOSE:
            return {TransferError::Other, kIgnoreWrongUsage};
        default:
            return {TransferError::Other, 0};
    }
}

// The stall clock of one exchange. It runs only while the transfer waits on the network: time
// the caller spends between two reads is not the server's stall.
class StallClock {
  public:
    void Restart(Clock::time_point now) {
        mark_ = stopped_ = now;
        markBytes_ = 0;
    }
    void Stop(Clock::time_point now) { stopped_ = now; }
    void Resume(Clock::time_point now) { mark_ += now - stopped_; }
    // Not connected yet: the connect limit applies, the stall clock stays at zero.
    void Hold(Clock::time_point now) { mark_ = now; }

    static std::uint64_t Needed(long limitMs) {
        return std::max<std::uint64_t>(
            1, static_cast<std::uint64_t>(limitMs) * kMinBytesPerSecond / 1000);
    }
    // Milliseconds left before the limit, with `bytes` moved so far; 0 when it has passed.
    long Left(std::uint64_t bytes, long limitMs, Clock::time_point now) {
        if (bytes >= markBytes_ + Needed(limitMs)) {
            mark_ = now;
            markBytes_ = bytes;
        }
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - mark_).count();
        return waited >= limitMs ? 0 : limitMs - static_cast<long>(waited);
    }

  private:
    Clock::time_point mark_{}, stopped_{};
    std::uint64_t markBytes_ = 0;
};

int TransferIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

class CurlTransfer final : public Transfer {
  public:
    CurlTransfer() : easy_(detail::NewEasyHandle()), multi_(curl_multi_init()) {
        if (!multi_)
            throw std::runtime_error("libcurl multi handle failed");
    }
    ~CurlTransfer() override {
        if (attached_)
            curl_multi_remove_handle(multi_.get(), easy_.get());
        for (auto& header : headers_)
            secret::WipeString(header);
    }

    void SetUserAgent(const std::string& agent) override { userAgent_ = agent; }
    void SetProxy(ProxyMode mode, const std::string& server) override {
        proxyMode_ = mode;
        proxyServer_ = server;
    }
    void SetProxyCredentials(const std::string& user, std::string_view password) override {
        proxyUser_ = user;
        proxyPassword_ = secret::SecretText(password);
    }
    void SetUrl(const std::string& url) override {
        url_ = url;
        ftp_ = StartsWithNoCase(url, "ftp://");
        https_ = StartsWithNoCase(url, "https://");
    }
    void SetVerb(const std::string& verb) override { verb_ = verb; }
    const std::string& Verb() const override { return verb_; }
    void SetHttp10(bool on) override { http10_ = on; }
    void SetAutoRedirect(bool on) override { autoRedirect_ = on; }
    void SetPassiveFtp(bool on) override { passiveFtp_ = on; }
    void SetCredentials(const std::string& user, std::string_view password) override {
        user_ = user;
        password_ = secret::SecretText(password);
    }
    void SetDigest(bool on) override { digest_ = on; }
    bool AddHeaders(std::string_view lines, HeaderMode mode) override;
    void RemoveHeader(std::string_view name) override {
        std::erase_if(headers_, [&](std::string& h) {
            if (!EqualsNoCase(HeaderName(h), name))
                return false;
            secret::WipeString(h);
            return true;
        });
    }
    void SetTimeouts(long receiveMs, long sendMs, long connectMs) override {
        receiveLimitMs_ = receiveMs > 0 ? receiveMs : kDefaultStallLimitMs;
        sendLimitMs_ = sendMs > 0 ? sendMs : kDefaultStallLimitMs;
        connectTimeoutMs_ = connectMs;
    }
    unsigned SecurityFlags() const override { return securityFlags_; }
    void SetSecurityFlags(unsigned flags) override { securityFlags_ = flags; }
    bool SetClientKey(std::shared_ptr<ClientKey> key) override {
        identity_ = detail::TlsClientIdentity::Make(std::move(key));
        return identity_ != nullptr;
    }
    void SetUploadProgress(std::function<void(std::size_t)> onChunk) override {
        onUploadChunk_ = std::move(onChunk);
    }

    SendResult Send(const std::uint8_t* data, std::size_t length, bool withBody) override;

    long StatusCode() const override {
        long code = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }
    const std::string& RawHeaders() const override { return rawHeaders_; }
    std::string ReasonPhrase() const override;
    std::optional<std::string> Header(std::string_view name) const override;
    std::string EffectiveUrl() const override {
        char* url = nullptr;
        curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url);
        return url != nullptr ? url : url_;
    }
    std::optional<std::time_t> LastModified() const override {
        curl_off_t time = -1;
        if (curl_easy_getinfo(easy_.get(), CURLINFO_FILETIME_T, &time) != CURLE_OK || time < 0)
            return std::nullopt;
        return static_cast<std::time_t>(time);
    }
    std::optional<std::string> RedirectLocation() const override;
    bool ClientCertificateRequested() const override { return clientCertAsked_; }

    ReadResult Read(std::uint8_t* dest, std::size_t capacity) override;

  private:
    void Configure(const std::uint8_t* data, std::size_t length, bool withBody);
    // Runs libcurl until the predicate holds or the transfer has ended.
    template <typename Done>
    void Drive(Done done);
    // Milliseconds before the stall limit of the current phase passes; ends the transfer at 0.
    long StallTimeLeft();
    SendResult Classify(CURLcode code) const;

    static size_t OnHeader(char* text, size_t size, size_t count, void* self);
    static size_t OnWrite(char* bytes, size_t size, size_t count, void* self);
    static size_t OnRead(char* dest, size_t size, size_t count, void* self);
    static CURLcode OnSslContext(CURL*, void* sslCtx, void* self);
    static int OnVerify(int ok, X509_STORE_CTX* store);
    static int OnClientCert(SSL* ssl, X509** cert, EVP_PKEY** key);

    detail::EasyHandle easy_;
    std::unique_ptr<CURLM, MultiDeleter> multi_;
    std::unique_ptr<curl_slist, SlistDeleter> headerList_;
    bool attached_ = false;
    int sends_ = 0;

    std::string userAgent_, url_, verb_ = "GET";
    ProxyMode proxyMode_ = ProxyMode::System;
    std::string proxyServer_, proxyUser_;
    std::string user_;
    bool digest_ = false;
    // libcurl keeps copies of its own, which it frees without wiping.
    secret::SecretText proxyPassword_, password_;
    bool ftp_ = false, https_ = false, http10_ = false, autoRedirect_ = true, passiveFtp_ = true;
    std::vector<std::string> headers_;
    long connectTimeoutMs_ = 0;
    long receiveLimitMs_ = kDefaultStallLimitMs, sendLimitMs_ = kDefaultStallLimitMs;
    unsigned securityFlags_ = 0;
    std::function<void(std::size_t)> onUploadChunk_;
    std::unique_ptr<detail::TlsClientIdentity> identity_;

    // State of the running exchange.
    std::string rawHeaders_;
    bool headersDone_ = false;
    bool paused_ = false;
    bool finished_ = false;
    CURLcode finishCode_ = CURLE_OK;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    int rejectedVerifyError_ = X509_V_OK;
    bool clientCertAsked_ = false;
    bool clientCertSent_ = false;
    std::uint8_t* window_ = nullptr;
    std::size_t windowFree_ = 0;
    std::string overflow_;
    const std::uint8_t* upload_ = nullptr;
    std::size_t uploadLeft_ = 0;
    // Body bytes to send; until they are out the send limit applies, then the receive one.
    curl_off_t uploadTotal_ = 0;
    std::uint64_t received_ = 0;  // header and body bytes of this exchange
    bool connected_ = false;
    StallClock stall_;
    std::string stallText_;  // why the stall clock ended the exchange
};

bool CurlTransfer::AddHeaders(std::string_view lines, HeaderMode mode) {
    bool added = false;
    while (!lines.empty()) {
        const auto end = lines.find("\r\n");
        std::string_view line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view{} : lines.substr(end + 2);
        line = Trim(line);
        const auto name = HeaderName(line);
        if (name.empty())
            continue;
        auto existing = std::find_if(headers_.begin(), headers_.end(), [&](const std::string& h) {
            return EqualsNoCase(HeaderName(h), name);
        });
        if (existing != headers_.end()) {
            if (mode == HeaderMode::AddIfNew)
                continue;
            if (mode == HeaderMode::AddReplace) {
                secret::WipeString(*existing);
                *existing = std::string(line);
                added = true;
                continue;
            }
        }
        headers_.emplace_back(line);
        added = true;
    }
    return added;
}

void CurlTransfer::Configure(const std::uint8_t* data, std::size_t length, bool withBody) {
    CURL* easy = easy_.get();
    curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(kUploadPiece) * 4);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_FILETIME, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent_.empty() ? nullptr : userAgent_.c_str());
    if (sends_ > 0) {
        // A retry after a certificate decision must not ride on the old TLS session.
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    }

    switch (proxyMode_) {
        case ProxyMode::Direct:
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
            break;
        case ProxyMode::System:
            curl_easy_setopt(easy, CURLOPT_PROXY, nullptr);
            break;
        case ProxyMode::Named:
            curl_easy_setopt(easy, CURLOPT_PROXY, proxyServer_.c_str());
            break;
    }
    if (!proxyUser_.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxyUser_.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxyPassword_.data());
    }
    if (!user_.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password_.data());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, digest_ ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
    if (connectTimeoutMs_ > 0)
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs_);

    // TLS: libcurl checks the chain and the name; the verify callback lets chosen problems
    // pass and remembers the first one it refused, for the classification.
    const auto anchors = detail::TrustAnchorsFile();
    if (!anchors.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, anchors.c_str());
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, (securityFlags_ & kIgnoreWrongName) ? 0L : 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &OnSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);

    if (ftp_) {
        curl_easy_setopt(easy, CURLOPT_FTPPORT, passiveFtp_ ? nullptr : "-");
        if (withBody) {
            upload_ = data;
            uploadLeft_ = length;
            curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(easy, CURLOPT_READFUNCTION, &OnRead);
            curl_easy_setopt(easy, CURLOPT_READDATA, this);
            curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(length));
            uploadTotal_ = static_cast<curl_off_t>(length);
        } else {
            curl_easy_setopt(easy, CURLOPT_UPLOAD, 0L);
        }
        return;
    }

    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                     http10_ ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, autoRedirect_ ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Leaving TLS for plain HTTP on a redirect needs the person's consent first.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     (https_ && !(securityFlags_ & kAllowRedirectToHttp)) ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_POSTREDIR, 0L);

    std::unique_ptr<curl_slist, SlistDeleter> list;
    auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown != nullptr) {
            list.release();
            list.reset(grown);
        }
    };
    // The request goes out without a 100-continue round trip.
    append("Expect:");
    for (const auto& h : headers_) {
        // libcurl drops "Name:" with nothing after it; "Name;" sends it empty.
        const std::string_view value = Trim(std::string_view(h).substr(HeaderName(h).size() + 1));
        append(value.empty() ? std::string(HeaderName(h)) + ";" : h);
    }
    headerList_ = std::move(list);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());

    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
    if (EqualsNoCase(verb_, "GET")) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (EqualsNoCase(verb_, "HEAD")) {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        static const std::uint8_t kNothing = 0;
        const bool body = withBody && data != nullptr;
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body ? data : &kNothing);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(body ? length : 0));
        uploadTotal_ = static_cast<curl_off_t>(body ? length : 0);
        if (!EqualsNoCase(verb_, "POST"))
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb_.c_str());
    }
}

// The stall limits are kept here rather than by libcurl: its low-speed limit counts whole
// seconds and its progress callback comes about once a second on a quiet connection, while
// this loop wakes exactly at the deadline and knows when the caller, not the server, is slow.
template <typename Done>
void CurlTransfer::Drive(Done done) {
    stall_.Resume(Clock::now());
    while (!finished_ && !done()) {
        if (g_stopped.load()) {
            finished_ = true;
            finishCode_ = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        const CURLMcode mc = curl_multi_perform(multi_.get(), &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &left)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_.get()) {
                finished_ = true;
                finishCode_ = msg->data.result;
            }
        }
        if (mc != CURLM_OK && !finished_) {
            finished_ = true;
            finishCode_ = CURLE_FAILED_INIT;
        }
        if (finished_ || done())
            break;
        const long stallLeft = StallTimeLeft();
        if (stallLeft == 0)
            break;
        curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(std::min(stallLeft, 1000L)),
                        nullptr);
    }
    stall_.Stop(Clock::now());
}

long CurlTransfer::StallTimeLeft() {
    CURL* easy = easy_.get();
    curl_off_t sent = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    const auto now = Clock::now();
    if (!connected_) {
        curl_off_t connectUs = 0;
        curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectUs);
        connected_ = connectUs > 0 || sent > 0 || received_ > 0;
        if (!connected_) {
            stall_.Hold(now);
            return 1000;
        }
    }
    const bool sending = sent < uploadTotal_;
    const long limit = sending ? sendLimitMs_ : receiveLimitMs_;
    const long left = stall_.Left(received_ + static_cast<std::uint64_t>(sent), limit, now);
    if (left > 0)
        return left;
    const std::uint64_t needed = StallClock::Needed(limit);
    stallText_ = needed == 1 ? "nothing " : "less than " + std::to_string(needed) + " bytes ";
    stallText_ +=
        std::string(sending ? "sent" : "received") + " in " + std::to_string(limit) + " ms";
    // The connection goes at once; what already arrived can still be read.
    curl_multi_remove_handle(multi_.get(), easy);
    attached_ = false;
    finished_ = true;
    finishCode_ = CURLE_OPERATION_TIMEDOUT;
    return 0;
}

SendResult CurlTransfer::Send(const std::uint8_t* data, std::size_t length, bool withBody) {
    if (attached_) {
        curl_multi_remove_handle(multi_.get(), easy_.get());
        attached_ = false;
    }
    rawHeaders_.clear();
    headersDone_ = paused_ = finished_ = false;
    finishCode_ = CURLE_OK;
    errorBuffer_[0] = '\0';
    rejectedVerifyError_ = X509_V_OK;
    clientCertAsked_ = clientCertSent_ = false;
    if (identity_)
        identity_->TakeCancelled();
    window_ = nullptr;
    windowFree_ = 0;
    overflow_.clear();
    upload_ = nullptr;
    uploadLeft_ = 0;
    uploadTotal_ = 0;
    received_ = 0;
    connected_ = false;
    stallText_.clear();
    stall_.Restart(Clock::now());

    Configure(data, length, withBody);
    ++sends_;
    if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK)
        return {TransferError::Other, CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT)};
    attached_ = true;

    // HTTP stops at the first body byte (the write callback pauses); FTP downloads likewise;
    // an FTP upload runs to its end.
    Drive([this] { return paused_; });
    if (finished_ && finishCode_ != CURLE_OK)
        return Classify(finishCode_);
    if (!ftp_ && clientCertAsked_ && !clientCertSent_ && StatusCode() == 400)
        return {TransferError::ClientCertNeeded, CURLE_SSL_CLIENTCERT, "client certificate needed"};
    return {};
}

SendResult CurlTransfer::Classify(CURLcode code) const {
    SendResult result;
    result.errorNumber = static_cast<int>(code);
    result.message = curl_easy_strerror(code);
    if (!stallText_.empty())
        result.message += ": " + stallText_;
    else if (errorBuffer_[0] != '\0')
        result.message += std::string(": ") + errorBuffer_;
    result.error = TransferError::Other;
    if ((identity_ && identity_->TakeCancelled()) ||
        (code == CURLE_ABORTED_BY_CALLBACK && g_stopped.load())) {
        result.error = TransferError::Cancelled;
    } else if (rejectedVerifyError_ != X509_V_OK) {
        result.error = ClassifyVerifyError(rejectedVerifyError_).error;
    } else if (clientCertAsked_ && !clientCertSent_ &&
               // Under TLS 1.3 the server's refusal comes after the client's side of the
               // handshake: it shows as the request or the answer failing.
               (code == CURLE_SSL_CONNECT_ERROR || code == CURLE_RECV_ERROR ||
                code == CURLE_SEND_ERROR || code == CURLE_SSL_CLIENTCERT)) {
        result.error = TransferError::ClientCertNeeded;
    } else if (code == CURLE_PEER_FAILED_VERIFICATION) {
        // The chain passed, so what libcurl refused is the name.
        result.error = TransferError::CertNameInvalid;
    } else if (code == CURLE_UNSUPPORTED_PROTOCOL && https_ && autoRedirect_ &&
               !(securityFlags_ & kAllowRedirectToHttp)) {
        result.error = TransferError::RedirectNeedsConfirmation;
    }
    return result;
}

ReadResult CurlTransfer::Read(std::uint8_t* dest, std::size_t capacity) {
    ReadResult result;
    // Detached and finished: the stall clock ended the body, which still reports its failure.
    if (capacity == 0 || (!attached_ && !finished_))
        return result;
    const std::size_t fromOverflow = std::min(capacity, overflow_.size());
    std::memcpy(dest, overflow_.data(), fromOverflow);
    overflow_.erase(0, fromOverflow);
    window_ = dest + fromOverflow;
    windowFree_ = capacity - fromOverflow;
    if (windowFree_ > 0 && paused_ && attached_) {
        paused_ = false;
        curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
    }
    Drive([this] { return windowFree_ == 0 || paused_; });
    result.bytes = capacity - windowFree_;
    window_ = nullptr;
    windowFree_ = 0;
    if (result.bytes == 0 && finished_ && finishCode_ != CURLE_OK) {
        const auto classified = Classify(finishCode_);
        result.failed = true;
        result.errorNumber = classified.errorNumber;
        result.message = classified.message;
    }
    return result;
}

// Resolved here rather than taken from libcurl, which knows the target only once the
// whole response (the redirect's page too) has been read.
std::optional<std::string> CurlTransfer::RedirectLocation() const {
    const long status = StatusCode();
    const std::optional<std::string> location = Header("Location");
    if (status < 300 || status > 399 || !location || location->empty())
        return std::nullopt;
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, EffectiveUrl().c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, location->c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    char* resolved = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK)
        return std::nullopt;
    std::string text(resolved);
    curl_free(resolved);
    return text;
}

std::string CurlTransfer::ReasonPhrase() const {
    const auto end = rawHeaders_.find("\r\n");
    std::string_view status = std::string_view(rawHeaders_).substr(0, end);
    // "HTTP/1.1 200 OK": the text after the code.
    const auto firstSpace = status.find(' ');
    if (firstSpace == std::string_view::npos)
        return {};
    const auto secondSpace = status.find(' ', firstSpace + 1);
    if (secondSpace == std::string_view::npos)
        return {};
    return std::string(Trim(status.substr(secondSpace + 1)));
}

std::optional<std::string> CurlTransfer::Header(std::string_view name) const {
    std::string_view rest = rawHeaders_;
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
        if (EqualsNoCase(HeaderName(line), name))
            return std::string(Trim(line.substr(name.size() + 1)));
    }
    return std::nullopt;
}

size_t CurlTransfer::OnHeader(char* text, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t total = size * count;
    std::string_view line(text, total);
    // Each response (a redirect, a 100 Continue, a proxy's answer) starts a new block.
    if (StartsWithNoCase(line, "HTTP/")) {
        t->rawHeaders_.clear();
        t->headersDone_ = false;
    }
    t->received_ += total;
    if (line == "\r\n" || line == "\n") {
        t->headersDone_ = true;
    } else {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.remove_suffix(1);
        t->rawHeaders_.append(line);
        t->rawHeaders_.append("\r\n");
    }
    return total;
}

size_t CurlTransfer::OnWrite(char* bytes, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t total = size * count;
    if (t->windowFree_ == 0 || !t->overflow_.empty()) {
        t->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->received_ += total;
    const size_t taken = std::min(total, t->windowFree_);
    std::memcpy(t->window_, bytes, taken);
    t->window_ += taken;
    t->windowFree_ -= taken;
    if (taken < total)
        t->overflow_.assign(bytes + taken, total - taken);
    return total;
}

size_t CurlTransfer::OnRead(char* dest, size_t size, size_t count, void* self) {
    auto* t = static_cast<CurlTransfer*>(self);
    const size_t n = std::min({size * count, t->uploadLeft_, kUploadPiece});
    if (n == 0)
        return 0;
    std::memcpy(dest, t->upload_, n);
    t->upload_ += n;
    t->uploadLeft_ -= n;
    if (t->onUploadChunk_)
        t->onUploadChunk_(n);
    return n;
}

CURLcode CurlTransfer::OnSslContext(CURL*, void* sslCtx, void* self) {
    auto* ctx = static_cast<SSL_CTX*>(sslCtx);
    SSL_CTX_set_ex_data(ctx, TransferIndex(), self);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &OnVerify);
    SSL_CTX_set_client_cert_cb(ctx, &OnClientCert);
    auto* t = static_cast<CurlTransfer*>(self);
    if (t->identity_ && !t->identity_->Restrict(ctx))
        return CURLE_SSL_CERTPROBLEM;
    return CURLE_OK;
}

int CurlTransfer::OnVerify(int ok, X509_STORE_CTX* store) {
    if (ok)
        return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* t =
        ssl ? static_cast<CurlTransfer*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), TransferIndex()))
            : nullptr;
    if (t == nullptr)
        return 0;
    const int error = X509_STORE_CTX_get_error(store);
    const auto problem = ClassifyVerifyError(error);
    if (problem.ignoredBy != 0 && (t->securityFlags_ & problem.ignoredBy)) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    if (t->rejectedVerifyError_ == X509_V_OK)
        t->rejectedVerifyError_ = error;
    return 0;
}

int CurlTransfer::OnClientCert(SSL* ssl, X509** certificate, EVP_PKEY** key) {
    auto* t =
        static_cast<CurlTransfer*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), TransferIndex()));
    if (t == nullptr)
        return 0;
    t->clientCertAsked_ = true;
    if (!t->identity_)
        return 0;
    // OpenSSL takes over these references.
    *certificate = t->identity_->NewCertificateReference();
    *key = t->identity_->NewKeyReference();
    t->clientCertSent_ = true;
    return 1;
}

}  // namespace

std::unique_ptr<Transfer> CreateTransfer() {
    return std::make_unique<CurlTransfer>();
}

void StopAllTransfers() {
    g_stopped.store(true);
}

std::string ErrorText(int errorNumber) {
    if (errorNumber <= 0 || errorNumber >= CURL_LAST)
        return {};
    return curl_easy_strerror(static_cast<CURLcode>(errorNumber));
}

}  // namespace quillbox::http
