// Shared pieces of the connection tests: status reports, responses, a scripted person.
#pragma once

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/transfer/int_conn.h"
#include "platform/ui/scripted/scripted_user_interface.h"
#include "test_support.h"

namespace quillbox::test {

struct NetReports {
    std::vector<std::pair<int, std::string>> list;

    static void Callback(int code, char* text, void* context) {
        auto* self = static_cast<NetReports*>(context);
        // The file time's text is a binary record.
        const bool readable = text != nullptr && code != net::MyNet_HttpFileTime;
        self->list.emplace_back(code, readable ? text : "<null>");
    }

    int Count(int code) const {
        return static_cast<int>(std::ranges::count(list, code, &decltype(list)::value_type::first));
    }
    bool Has(int code, const std::string& text) const {
        return std::ranges::count(list, std::make_pair(code, text)) > 0;
    }
};

// Body, headers, status and content type of one response.
struct Response {
    std::vector<std::uint8_t> body;
    std::size_t length = 999;
    std::string headers, status, contentType;
    net::ResponseOut Out() { return {&body, &length, &headers, &status, &contentType}; }
    std::string Text() const {
        return std::string(body.begin(), body.begin() + std::min(length, body.size()));
    }
};

inline bool Open(net::IntConn& conn, const std::string& url, unsigned flags, NetReports& reports,
                 const char* user = nullptr) {
    return conn.Open(nullptr, url.c_str(), user, user != nullptr ? "" : nullptr, nullptr, nullptr,
                     nullptr, flags, &reports, &NetReports::Callback);
}

inline net::ResultCode Download(const std::string& url, Response& r, unsigned flags,
                                NetReports& reports) {
    return net::DownloadUrl(nullptr, url.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                            r.Out(), flags, &reports, &NetReports::Callback);
}

// Answers dialogs from a JSON list; each Answer starts a fresh transcript.
struct ScriptedPerson {
    ~ScriptedPerson() { ui::SetUserInterface(nullptr); }
    void Answer(const std::string& answers) {
        std::filesystem::remove(dir / "transcript");
        WriteFile(dir / "answers.json", answers);
        ui = std::make_unique<ui::ScriptedUserInterface>(dir / "answers.json", dir / "transcript");
        ui::SetUserInterface(ui.get());
    }
    std::vector<nlohmann::json> Transcript() const {
        std::vector<nlohmann::json> lines;
        std::istringstream in(
            std::filesystem::exists(dir / "transcript") ? ReadFile(dir / "transcript") : "");
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }
    TempDir dir;
    std::unique_ptr<ui::ScriptedUserInterface> ui;
};

}  // namespace quillbox::test
