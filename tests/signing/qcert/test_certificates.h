// Certificates made on the fly with OpenSSL for the qualified-status and filter tests (and
// the fuzz seeds and benchmark): one shared EC key, names and extensions as asked.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillbox::test {

struct CertificateSpec {
    // Attribute type (short name or dotted OID) and UTF-8 value, in encoded order.
    std::vector<std::pair<std::string, std::string>> subject{{"CN", "Test User"}};
    std::vector<std::pair<std::string, std::string>> issuer{{"CN", "Test CA"}};
    // Statement identifiers of a qualified-certificate statements extension; none: no
    // extension.
    std::vector<std::string> qcStatements;
    bool qcStatementsCritical = false;
    // Certificate policy identifiers; none: no extension.
    std::vector<std::string> policies;
    // OpenSSL's keyUsage syntax; empty: no extension.
    std::string keyUsage = "digitalSignature,nonRepudiation";
    // A version 1 certificate: no extensions at all, whatever is asked above.
    bool version1 = false;
    long notBeforeDays = -1;
    long notAfterDays = 365;
};

std::vector<std::uint8_t> MakeCertificate(const CertificateSpec& spec);

// The DER of a PEM file's first certificate; empty when it has none.
std::vector<std::uint8_t> DerFromPemFile(const std::string& path);

}  // namespace quillbox::test
