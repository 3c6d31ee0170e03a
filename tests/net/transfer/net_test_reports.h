// Collects the status reports of a connection for the tests.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "net/transfer/int_conn.h"

namespace quillbox::test {

struct NetReports {
    std::vector<std::pair<int, std::string>> list;
    // Answer to the cookie query (code 61); empty leaves the buffer alone.
    std::string cookieAnswer;

    static void Callback(int code, char* text, void* context) {
        auto* self = static_cast<NetReports*>(context);
        if (code == net::MyNet_AddCookie && text != nullptr && !self->cookieAnswer.empty()) {
            self->cookieAnswer.copy(text, net::kAddCookieBufferSize - 1);
            text[std::min(self->cookieAnswer.size(), net::kAddCookieBufferSize - 1)] = '\0';
        }
        if (code == net::MyNet_HttpFileTime && text != nullptr) {
            self->fileTimes.push_back(*reinterpret_cast<const net::NetFileTime*>(text));
            self->list.emplace_back(code, "");
            return;
        }
        self->list.emplace_back(code, text != nullptr ? text : "<null>");
    }

    int Count(int code) const {
        return static_cast<int>(std::count_if(list.begin(), list.end(),
                                              [code](const auto& r) { return r.first == code; }));
    }
    bool Has(int code, const std::string& text) const {
        return std::find(list.begin(), list.end(), std::make_pair(code, text)) != list.end();
    }
    std::vector<std::string> Texts(int code) const {
        std::vector<std::string> texts;
        for (const auto& r : list)
            if (r.first == code)
                texts.push_back(r.second);
        return texts;
    }
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const auto& r : list)
            if (r.first != net::MyNet_DebugInfo)
                codes.push_back(r.first);
        return codes;
    }

    std::vector<net::NetFileTime> fileTimes;
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

}  // namespace quillbox::test
