// Time to turn 500 certificates into list entries and run a typical filter over them, as
// the certificate dialog does before it shows anything. Best of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../tests/signing/qcert/test_certificates.h"
#include "signing/filter/filter_evaluator.h"

namespace {

constexpr int kCertificates = 500;
constexpr int kRuns = 15;
constexpr const char* kFilter =
    "And(ContainsSubstr(IssuerStr(CN),{Test CA}),QStatusParam(true,),"
    "Not(IsEmpty(SubjectStr(2.5.4.5))))";

std::vector<std::vector<std::uint8_t>> MakeCertificates() {
    std::vector<std::vector<std::uint8_t>> certificates;
    const auto real =
        quillbox::test::DerFromPemFile(QUILLBOX_SOURCE_DIR "/tests/data/certs/john_doe_tc.pem");
    for (int i = 0; i < kCertificates; ++i) {
        if (i % 5 == 4 && !real.empty()) {
            certificates.push_back(real);
            continue;
        }
        quillbox::test::CertificateSpec spec;
        spec.issuer = {{"C", "CZ"}, {"O", "Example Trust"}, {"CN", i % 3 ? "Test CA" : "Other CA"}};
        spec.subject = {{"C", "CZ"},
                        {"O", "Example Org"},
                        {"CN", "User " + std::to_string(i)},
                        {"serialNumber", "ID-" + std::to_string(i)}};
        if (i % 2 == 0) {
            spec.qcStatements = {"0.4.0.1862.1.1", "0.4.0.1862.1.4", "0.4.0.1862.1.6"};
            spec.policies = {"0.4.0.194112.1.2", "1.3.6.1.4.1.99999.1"};
        }
        certificates.push_back(quillbox::test::MakeCertificate(spec));
    }
    return certificates;
}

}  // namespace

int main() {
    const auto certificates = MakeCertificates();
    double bestEntries = 1e30;
    double bestTotal = 1e30;
    int accepted = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<quillbox::CertificateEntry> entries;
        entries.reserve(certificates.size());
        for (const auto& der : certificates) {
            if (auto entry = quillbox::CertificateEntry::FromDer(der)) {
                entries.push_back(std::move(*entry));
            }
        }
        const auto built = std::chrono::steady_clock::now();
        accepted = 0;
        for (const auto& entry : entries) {
            accepted += quillbox::FilterAccepts(entry, kFilter) ? 1 : 0;
        }
        const auto end = std::chrono::steady_clock::now();
        bestEntries = std::min(bestEntries, std::chrono::duration<double>(built - start).count());
        bestTotal = std::min(bestTotal, std::chrono::duration<double>(end - start).count());
    }
    std::printf("filter: %d certificates, %d accepted by %s\n", kCertificates, accepted, kFilter);
    std::printf(
        "filter: build entries %.2f ms, entries + filter %.2f ms (goal < 50 ms), "
        "%.1f us per certificate\n",
        bestEntries * 1e3, bestTotal * 1e3, bestTotal * 1e6 / kCertificates);
    if (bestTotal >= 0.050) {
        std::printf("filter: goal missed\n");
    }
    return 0;
}
