// The HTTP/HTTPS/FTP client the connection engine talks to: one Transfer is one request
// against one URL, sent (and resent) as often as the request loop decides, whose body is then
// read in pieces. Errors are classified into the few kinds the loop treats differently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http/client_key.h"

namespace quillbox::http {

enum class ProxyMode { Direct, System, Named };

// The transport errors the request loop tells apart; everything else is Other.
enum class TransferError {
    None,
    CertNameInvalid,
    CertDateInvalid,
    CertUnknownAuthority,
    CertRevocationFailed,
    ClientCertNeeded,
    RedirectNeedsConfirmation,
    // The person refused something the exchange needed (the PIN of the client key).
    Cancelled,
    Other,
};

// Certificate checks a request may skip (bits).
enum SecurityFlags : unsigned {
    kIgnoreRevocation = 1u << 0,
    kIgnoreUnknownAuthority = 1u << 1,
    kIgnoreWrongName = 1u << 2,
    kIgnoreWrongDate = 1u << 3,
    kIgnoreWrongUsage = 1u << 4,
    // A redirect from HTTPS to plain HTTP was confirmed.
    kAllowRedirectToHttp = 1u << 5,
};

enum class HeaderMode { Add, AddReplace, AddIfNew };

struct SendResult {
    TransferError error = TransferError::None;
    int errorNumber = 0;  // the library's own error number, 0 without error
    std::string message;  // the library's text for it, empty without error
};

struct ReadResult {
    std::size_t bytes = 0;  // 0 at the end of the body or after a failure
    bool failed = false;
    int errorNumber = 0;
    std::string message;
};

class Transfer {
  public:
    virtual ~Transfer() = default;

    // Set before the first Send.
    virtual void SetUserAgent(const std::string& agent) = 0;
    virtual void SetProxy(ProxyMode mode, const std::string& server) = 0;
    virtual void SetProxyCredentials(const std::string& user, std::string_view password) = 0;
    virtual void SetUrl(const std::string& url) = 0;
    virtual void SetVerb(const std::string& verb) = 0;
    virtual const std::string& Verb() const = 0;
    virtual void SetHttp10(bool on) = 0;
    virtual void SetAutoRedirect(bool on) = 0;
    virtual void SetPassiveFtp(bool on) = 0;
    virtual void SetCredentials(const std::string& user, std::string_view password) = 0;
    // Answer the server's Digest challenge with the credentials (the library runs the
    // challenge round itself) instead of sending them as Basic up front.
    virtual void SetDigest(bool on) = 0;
    // Raw header lines separated by CR LF; the mode decides what happens to a header of the
    // same name already present. Returns false when nothing was added.
    virtual bool AddHeaders(std::string_view lines, HeaderMode mode) = 0;
    // Drops the request header of that name, if any.
    virtual void RemoveHeader(std::string_view name) = 0;
    // Receive and send limits are stall limits: once connected, an exchange ends with a timeout
    // when for that long (send while the request body goes out, receive after) less than a
    // trickle's worth of bytes moved. Without a call, or with 0, both are one minute. Connect 0
    // keeps the library's own connect limit.
    virtual void SetTimeouts(long receiveMs, long sendMs, long connectMs) = 0;
    virtual unsigned SecurityFlags() const = 0;
    virtual void SetSecurityFlags(unsigned flags) = 0;
    // The certificate offered when a server asks for one; without it none is sent. False
    // when it cannot be used for TLS (not an RSA key, nothing the handshake could ask of it).
    virtual bool SetClientKey(std::shared_ptr<ClientKey> key) = 0;
    // Called with the size of each piece of an upload handed to the server.
    virtual void SetUploadProgress(std::function<void(std::size_t)> onChunk) = 0;

    // Runs the exchange up to the response headers (HTTP) or the start of the file (FTP).
    // For an FTP URL with data the whole upload runs here. Every call starts over on a fresh
    // connection.
    virtual SendResult Send(const std::uint8_t* data, std::size_t length, bool withBody) = 0;

    virtual long StatusCode() const = 0;
    virtual const std::string& RawHeaders() const = 0;  // last response, CR LF separated
    virtual std::string ReasonPhrase() const = 0;
    virtual std::optional<std::string> Header(std::string_view name) const = 0;
    virtual std::string EffectiveUrl() const = 0;
    // Where the last response's Location points, resolved against the request's URL;
    // nothing when the response was no redirect or had no Location.
    virtual std::optional<std::string> RedirectLocation() const = 0;
    virtual std::optional<std::time_t> LastModified() const = 0;
    // True when the server asked for a client certificate during the last Send.
    virtual bool ClientCertificateRequested() const = 0;
    // The error kinds: ClientCertNeeded only when the server asked and none was sent; a
    // server that refuses the certificate sent is an ordinary failure (an alert, or its
    // own HTTP error).

    // Reads up to capacity body bytes into dest, blocking until some arrive or the body ends.
    virtual ReadResult Read(std::uint8_t* dest, std::size_t capacity) = 0;
};

std::unique_ptr<Transfer> CreateTransfer();

// Ends every running and later transfer of the process within a second, as Cancelled:
// the page that wanted them has gone. There is no way back.
void StopAllTransfers();

// The library's text for one of its error numbers; empty when it has none.
std::string ErrorText(int errorNumber);

// Trust anchors used instead of the system's (a PEM file); empty restores the system's.
// Process-wide; meant for test set-ups and deployments with their own roots.
void SetTrustAnchorsFile(const std::string& pemPath);

// The process-wide cookie store every Transfer shares.
// "name=value; name2=value2" of the cookies sent to this URL; HTTP-only ones when asked.
std::string GetCookies(const std::string& url, bool includeHttpOnly);
// A session cookie for the URL's host and path; false when the URL has no host.
bool SetCookie(const std::string& url, const std::string& name, const std::string& value,
               bool httpOnly);

}  // namespace quillbox::http
