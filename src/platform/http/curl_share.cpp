#include "platform/http/curl_share.h"

#include <array>
#include <mutex>
#include <stdexcept>

#include "platform/http/transfer.h"

namespace quillbox::http::detail {
namespace {

class GlobalState {
  public:
    GlobalState() {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw std::runtime_error("libcurl initialisation failed");
        share_ = curl_share_init();
        if (share_ == nullptr)
            throw std::runtime_error("libcurl share failed");
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &Lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &Unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    ~GlobalState() {
        curl_share_cleanup(share_);
        curl_global_cleanup();
    }
    GlobalState(const GlobalState&) = delete;
    GlobalState& operator=(const GlobalState&) = delete;

    CURLSH* share() const { return share_; }

    std::string anchors() {
        std::lock_guard guard(anchorsLock_);
        return anchors_;
    }
    void setAnchors(const std::string& path) {
        std::lock_guard guard(anchorsLock_);
        anchors_ = path;
    }

  private:
    static std::mutex& LockFor(void* user, curl_lock_data data) {
        auto* self = static_cast<GlobalState*>(user);
        auto index = static_cast<std::size_t>(data);
        return self->locks_[index < self->locks_.size() ? index : 0];
    }
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        LockFor(user, data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* user) { LockFor(user, data).unlock(); }

    CURLSH* share_ = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
    std::mutex anchorsLock_;
    std::string anchors_;
};

GlobalState& State() {
    static GlobalState state;
    return state;
}

}  // namespace

CURLSH* CookieShare() {
    return State().share();
}

EasyHandle NewEasyHandle() {
    CURLSH* share = CookieShare();
    EasyHandle easy(curl_easy_init());
    if (!easy)
        throw std::runtime_error("libcurl handle failed");
    curl_easy_setopt(easy.get(), CURLOPT_SHARE, share);
    curl_easy_setopt(easy.get(), CURLOPT_COOKIEFILE, "");
    return easy;
}

std::string TrustAnchorsFile() {
    return State().anchors();
}

}  // namespace quillbox::http::detail

namespace quillbox::http {

void SetTrustAnchorsFile(const std::string& pemPath) {
    detail::State().setAnchors(pemPath);
}

}  // namespace quillbox::http
