// The client certificates chosen during a control's life, by the URL key they were chosen
// for, so the next exchange with that server uses the same one without asking.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quillbox::net {

class ClientCertMap {
  public:
    std::optional<std::string> Find(const std::string& key) const;
    // Replaces an earlier entry for the key.
    void Set(const std::string& key, const std::string& certificateId);
    void Erase(const std::string& key) { entries_.erase(key); }
    // The tokens of the chosen certificates, kept open (and so logged in) for the control's
    // later exchanges: one PIN per control, not one per send.
    void KeepTokensOpen(std::shared_ptr<void> tokens) { tokens_ = std::move(tokens); }

  private:
    std::map<std::string, std::string> entries_;
    std::shared_ptr<void> tokens_;
};

// The key a URL's certificate is remembered under: the URL without its last path segment
// (one trailing "/" ignored first), or the URL itself when it has no path.
// "https://h/a/b" → "https://h/a", "https://h/a" → "https://h", "https://h" → "https://h".
std::string CertKeyFromUrl(std::string_view url);

}  // namespace quillbox::net
