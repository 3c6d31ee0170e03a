#include "net/servers/test_servers.h"
#include "platform/system/free_with.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace quillbox::test {
namespace fs = std::filesystem;

// ---- processes and ports

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const fs::path& output) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // A new process group, so a stop reaches the server's own children too.
        setpgid(0, 0);
        const int outFd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd >= 0) {
            dup2(outFd, STDOUT_FILENO);
            dup2(outFd, STDERR_FILENO);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(-pid_, SIGTERM);
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (pid_ > 0) {
            kill(-pid_, SIGKILL);
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
}

bool ChildProcess::Running() {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

namespace {
sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return addr;
}
}  // namespace

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

bool WaitForPort(int port, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in addr = Loopback(port);
        const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
        close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// ---- HTTP

namespace {
std::vector<std::string> ScriptCommand(const std::string& script, const fs::path& portFile,
                                       const std::vector<std::string>& args) {
    // Debian's interpreter when present: a wrapper found first in PATH may take seconds to start.
    std::vector<std::string> argv = {
        fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3",
        std::string(QUILLBOX_SOURCE_DIR) + "/tests/net/servers/" + script, portFile.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}
}  // namespace

ScriptServer::ScriptServer(const std::string& script, const std::vector<std::string>& args)
    : process_(ScriptCommand(script, dir_ / "port", args), dir_ / "server.out") {
    for (int i = 0; i < 500 && port_ == 0 && process_.Running(); ++i) {
        if (fs::exists(dir_ / "port"))
            port_ = std::stoi(ReadFile(dir_ / "port"));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (port_ == 0)
        throw std::runtime_error(script + " did not start");
}

std::string HttpTestServer::Url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port()) + "/" + pathAndQuery;
}

// ---- certificates

namespace {

using Key = std::unique_ptr<EVP_PKEY, FreeWith<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, FreeWith<X509_free>>;

// Signed by issuer (self-signed without one); valid from `from` to `to` seconds from now.
Cert MakeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long from,
              long to, long serial, std::vector<std::pair<int, const char*>> extensions) {
    Cert cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), from);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), to);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : cert.get(), cert.get(), nullptr, nullptr, 0);
    extensions.emplace_back(NID_subject_key_identifier, "hash");
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
        if (ext == nullptr)
            throw std::runtime_error("certificate extension failed");
        X509_add_ext(cert.get(), ext, -1);
        X509_EXTENSION_free(ext);
    }
    X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256());
    return cert;
}

void WritePem(const fs::path& certPath, X509* cert, const fs::path& keyPath, EVP_PKEY* key) {
    FILE* f = std::fopen(certPath.c_str(), "w");
    PEM_write_X509(f, cert);
    std::fclose(f);
    f = std::fopen(keyPath.c_str(), "w");
    PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
}

}  // namespace

TestCertificates::TestCertificates(const fs::path& folder) {
    constexpr long kDay = 86400;
    const Key caKeyPair(EVP_EC_gen("P-256"));
    const Cert ca =
        MakeCert(caKeyPair.get(), "Quillbox Test Root", nullptr, nullptr, -kDay, 30 * kDay, 1,
                 {{NID_basic_constraints, "critical,CA:TRUE"},
                  {NID_key_usage, "critical,keyCertSign,cRLSign"}});
    caCert = folder / "ca.pem";
    caKey = folder / "ca.key";
    WritePem(caCert, ca.get(), caKey, caKeyPair.get());

    const char* kLocal = "IP:127.0.0.1,DNS:localhost";
    const struct {
        fs::path *cert, *key;
        const char *file, *names;
        long from, to;
        bool selfSigned;
    } leaves[] = {
        {&goodCert, &goodKey, "good", kLocal, -kDay, 30 * kDay, false},
        {&expiredCert, &expiredKey, "expired", kLocal, -30 * kDay, -2 * kDay, false},
        {&wrongNameCert, &wrongNameKey, "wrongname", "DNS:wrong.example", -kDay, 30 * kDay, false},
        {&untrustedCert, &untrustedKey, "untrusted", kLocal, -kDay, 30 * kDay, true},
    };
    long serial = 2;
    for (const auto& leaf : leaves) {
        const Key key(EVP_EC_gen("P-256"));
        const Cert cert =
            MakeCert(key.get(), "127.0.0.1", leaf.selfSigned ? nullptr : ca.get(),
                     leaf.selfSigned ? nullptr : caKeyPair.get(), leaf.from, leaf.to, serial++,
                     {{NID_basic_constraints, "CA:FALSE"}, {NID_subject_alt_name, leaf.names}});
        *leaf.cert = folder / (std::string(leaf.file) + ".pem");
        *leaf.key = folder / (std::string(leaf.file) + ".key");
        WritePem(*leaf.cert, cert.get(), *leaf.key, key.get());
    }
}

// ---- nginx

NginxTlsServer::NginxTlsServer(const std::string& plainRedirectTarget, const fs::path& loginCa,
                               int dataBoxPort)
    : certs_(dir_.path()) {
    fs::create_directories(docroot());
    fs::create_directories(dir_ / "tmp");
    for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
        goodPort_ = FreePort();
        expiredPort_ = FreePort();
        wrongNamePort_ = FreePort();
        untrustedPort_ = FreePort();
        clientCertPort_ = FreePort();
        plainPort_ = FreePort();
        loginTls12Port_ = loginCa.empty() ? 0 : FreePort();
        loginTls13Port_ = loginCa.empty() ? 0 : FreePort();
        const std::string tmp = (dir_ / "tmp").string();
        // One process without workers: nothing changes user, so it runs the same as root.
        std::string conf = std::string("daemon off;\nmaster_process off;\n") +
                           (geteuid() == 0 ? "user root;\n" : "") + "pid " +
                           (dir_ / "nginx.pid").string() + ";\nerror_log " +
                           (dir_ / "error.log").string() +
                           " warn;\nevents { worker_connections 64; }\nhttp {\n"
                           "  access_log off;\n  sendfile on;\n  client_max_body_size 0;\n"
                           "  default_type application/octet-stream;\n";
        for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf += std::string("  ") + kind + "_temp_path " + tmp + "/" + kind + ";\n";
        auto server = [&](int port, const fs::path& cert, const fs::path& key, bool tls,
                          const std::string& extra) {
            conf += "  server {\n    listen 127.0.0.1:" + std::to_string(port) +
                    (tls ? " ssl" : "") + ";\n";
            if (tls) {
                conf += "    ssl_certificate " + cert.string() + ";\n";
                conf += "    ssl_certificate_key " + key.string() + ";\n";
            }
            conf += "    root " + docroot().string() + ";\n";
            conf +=
                "    location /upload { client_body_buffer_size 1m; return 200 \"uploaded\"; }\n";
            if (!plainRedirectTarget.empty())
                conf += "    location /tohttp { return 302 " + plainRedirectTarget + "; }\n";
            conf +=
                "    location /login { client_body_buffer_size 1m; "
                "return 200 \"$ssl_client_s_dn\\n$ssl_protocol\\n\"; }\n";
            conf += extra + "  }\n";
        };
        auto login = [&](const char* protocol) {
            std::string extra = "    ssl_protocols " + std::string(protocol) + ";\n";
            extra +=
                "    ssl_verify_client on;\n    ssl_client_certificate " + loginCa.string() + ";\n";
            // The test tokens' CA has a small key, quick to make, that OpenSSL's default
            // security level refuses in a chain.
            extra += "    ssl_ciphers DEFAULT:@SECLEVEL=0;\n";
            if (dataBoxPort != 0) {
                const std::string target = "127.0.0.1:" + std::to_string(dataBoxPort);
                extra +=
                    "    location /box/ { proxy_pass http://" + target +
                    "/; proxy_set_header Host login.box.localhost:" + std::to_string(dataBoxPort) +
                    "; }\n";
            }
            return extra;
        };
        if (!loginCa.empty()) {
            server(loginTls12Port_, certs_.goodCert, certs_.goodKey, true, login("TLSv1.2"));
            server(loginTls13Port_, certs_.goodCert, certs_.goodKey, true, login("TLSv1.3"));
        }
        server(goodPort_, certs_.goodCert, certs_.goodKey, true, "");
        server(expiredPort_, certs_.expiredCert, certs_.expiredKey, true, "");
        server(wrongNamePort_, certs_.wrongNameCert, certs_.wrongNameKey, true, "");
        server(untrustedPort_, certs_.untrustedCert, certs_.untrustedKey, true, "");
        server(clientCertPort_, certs_.goodCert, certs_.goodKey, true,
               "    ssl_protocols TLSv1.2 TLSv1.3;\n    ssl_verify_client on;\n"
               "    ssl_client_certificate " +
                   certs_.caCert.string() + ";\n");
        server(plainPort_, {}, {}, false, "");
        conf += "}\n";
        WriteFile(dir_ / "nginx.conf", conf);
        process_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"nginx", "-e", (dir_ / "error.log").string(), "-p",
                                     dir_.path().string(), "-c", (dir_ / "nginx.conf").string()},
            dir_ / "nginx.out");
        started_ =
            WaitForPort(goodPort_, 5000) && WaitForPort(plainPort_, 2000) && process_->Running();
        if (!started_)
            process_.reset();
    }
}

std::string NginxTlsServer::Url(int port, const std::string& path) {
    return "https://127.0.0.1:" + std::to_string(port) + "/" + path;
}

// ---- vsftpd

FtpTestServer::FtpTestServer() {
    fs::create_directories(root());
    fs::create_directories(dir_ / "empty");
    fs::permissions(dir_ / "empty", fs::perms::owner_read | fs::perms::owner_exec);
    for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
        port_ = FreePort();
        std::string conf;
        conf += "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n";
        conf += "listen_port=" + std::to_string(port_) + "\n";
        conf += "background=NO\n";
        // Runs as whoever starts it (also root) with no privilege separation.
        conf += "run_as_launching_user=YES\n";
        conf += "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\n";
        conf += "anon_root=" + root().string() + "\n";
        conf += "anon_world_readable_only=NO\n";
        conf += "secure_chroot_dir=" + (dir_ / "empty").string() + "\n";
        conf += "connect_from_port_20=NO\npasv_enable=YES\nport_enable=YES\n";
        conf += "pasv_address=127.0.0.1\n";
        conf += "xferlog_enable=NO\nseccomp_sandbox=NO\ncheck_shell=NO\n";
        conf += "vsftpd_log_file=" + (dir_ / "vsftpd.log").string() + "\n";
        WriteFile(dir_ / "vsftpd.conf", conf);
        process_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"vsftpd", (dir_ / "vsftpd.conf").string()},
            dir_ / "vsftpd.out");
        started_ = WaitForPort(port_, 5000) && process_->Running();
        if (!started_)
            process_.reset();
    }
}

std::string FtpTestServer::Url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

}  // namespace quillbox::test
