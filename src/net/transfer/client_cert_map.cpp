#include "net/transfer/client_cert_map.h"

namespace quillbox::net {

std::optional<std::string> ClientCertMap::Find(const std::string& key) const {
    const auto found = entries_.find(key);
    if (found == entries_.end())
        return std::nullopt;
    return found->second;
}

void ClientCertMap::Set(const std::string& key, const std::string& certificateId) {
    entries_[key] = certificateId;
}

std::string CertKeyFromUrl(std::string_view url) {
    std::string key(url);
    if (!key.empty() && key.back() == '/')
        key.pop_back();
    // Searched from the second-to-last character, so a URL of one or two characters has
    // nothing to search and stays as it is.
    if (key.size() < 2)
        return key;
    const auto slash = key.rfind('/', key.size() - 2);
    if (slash == std::string::npos)
        return key;
    if (slash > 0 && key[slash - 1] == '/')
        return key;  // the "//" after the scheme: no path
    return key.substr(0, slash);
}

}  // namespace quillbox::net
