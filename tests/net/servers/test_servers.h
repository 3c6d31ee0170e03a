// Real servers for the connection tests, each started on 127.0.0.1 at a free port in its own
// temporary folder and stopped by its process id: the scriptable HTTP server, nginx for TLS
// with certificates of every kind, vsftpd for FTP.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace quillbox::test {

// A child process, stopped (SIGTERM, then SIGKILL) and reaped at destruction.
class ChildProcess {
  public:
    // Starts argv[0] (searched in PATH) with stdout and stderr going to output.
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& output);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running();

  private:
    pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort();
// Waits until something accepts connections on 127.0.0.1:port.
bool WaitForPort(int port, int timeoutMs);

// One of the Python servers in tests/net/servers, started with a port file in a folder of
// its own; throws when it does not come up.
class ScriptServer {
  public:
    explicit ScriptServer(const std::string& script, const std::vector<std::string>& args = {});
    int port() const { return port_; }

  private:
    TempDir dir_;
    ChildProcess process_;
    int port_ = 0;
};

class HttpTestServer {
  public:
    HttpTestServer() = default;
    int port() const { return server_.port(); }
    // "http://127.0.0.1:<port>/<pathAndQuery>"
    std::string Url(const std::string& pathAndQuery = "") const;

  private:
    ScriptServer server_{"http_test_server.py"};
};

// PEM files made with OpenSSL: a test root, server certificates for 127.0.0.1 that are good,
// expired, issued for another name, or self-signed by an unknown issuer.
struct TestCertificates {
    explicit TestCertificates(const std::filesystem::path& folder);
    std::filesystem::path caCert, caKey;
    std::filesystem::path goodCert, goodKey;
    std::filesystem::path expiredCert, expiredKey;
    std::filesystem::path wrongNameCert, wrongNameKey;
    std::filesystem::path untrustedCert, untrustedKey;
};

// nginx with one HTTPS port per certificate kind, serving files from docroot(), accepting
// uploads at /upload, and one port that demands a client certificate issued by the test root.
// Every port answers /login with the client certificate's subject ($ssl_client_s_dn) and TLS
// version. With a loginCa, two more ports demand a certificate that CA issued, one speaking
// TLS 1.2 only and one TLS 1.3 only; with a dataBoxPort, their /box/ is the data-box stand-in's
// login host.
class NginxTlsServer {
  public:
    // plainRedirectTarget: where /tohttp redirects (an http:// URL), may be empty.
    explicit NginxTlsServer(const std::string& plainRedirectTarget = "",
                            const std::filesystem::path& loginCa = {}, int dataBoxPort = 0);
    const TestCertificates& certificates() const { return certs_; }
    std::filesystem::path docroot() const { return dir_ / "www"; }
    std::string GoodUrl(const std::string& path) const { return Url(goodPort_, path); }
    std::string ExpiredUrl(const std::string& path) const { return Url(expiredPort_, path); }
    std::string WrongNameUrl(const std::string& path) const { return Url(wrongNamePort_, path); }
    std::string UntrustedUrl(const std::string& path) const { return Url(untrustedPort_, path); }
    std::string ClientCertUrl(const std::string& path) const { return Url(clientCertPort_, path); }
    std::string LoginTls12Url(const std::string& path) const { return Url(loginTls12Port_, path); }
    std::string LoginTls13Url(const std::string& path) const { return Url(loginTls13Port_, path); }
    int plainPort() const { return plainPort_; }
    bool started() const { return started_; }

  private:
    static std::string Url(int port, const std::string& path);
    TempDir dir_;
    TestCertificates certs_;
    int goodPort_ = 0, expiredPort_ = 0, wrongNamePort_ = 0, untrustedPort_ = 0,
        clientCertPort_ = 0, plainPort_ = 0, loginTls12Port_ = 0, loginTls13Port_ = 0;
    std::unique_ptr<ChildProcess> process_;
    bool started_ = false;
};

// vsftpd serving root() to anonymous users.
class FtpTestServer {
  public:
    FtpTestServer();
    std::filesystem::path root() const { return dir_ / "root"; }
    std::string Url(const std::string& path) const;
    bool started() const { return started_; }

  private:
    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
    bool started_ = false;
};

}  // namespace quillbox::test
