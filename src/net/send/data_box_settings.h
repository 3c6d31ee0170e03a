// Which servers belong to the data-box service: machine-wide settings with built-in
// defaults (the service's production and test domains, the government contact point).
#pragma once

#include <string>
#include <vector>

namespace quillbox::net {

// "DataBoxHosts": the service's web-service hosts.
std::vector<std::string> DataBoxHosts();
// "DataBoxDomains": domain suffixes, each starting with ".", whose certificate warnings a
// connection that asks for the trusted-domain check tolerates.
std::vector<std::string> DataBoxDomainSuffixes();

bool IsDataBoxHost(const std::string& host);

}  // namespace quillbox::net
