#include "net/transfer/status_report.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace quillbox::net {
namespace {

constexpr std::size_t kMaxHead = 100;

const char* StatusName(int code) {
    switch (code) {
        case 1:
            return "MyNet_FILE";
        case 2:
            return "MyNet_FILE_OpenFailed";
        case 3:
            return "MyNet_FILE_Opened";
        case 4:
            return "MyNet_InternetConnectFTP";
        case 6:
            return "MyNet_FileOpenFTP";
        case 7:
            return "MyNet_SendFTP";
        case 8:
            return "MyNet_Upload";
        case 9:
            return "MyNet_CrackURL";
        case 10:
            return "MyNet_InternetOpen";
        case 11:
            return "MyNet_InternetOpenFailed";
        case 12:
            return "MyNet_InternetConnectHTTP";
        case 13:
            return "MyNet_InternetConnectHTTPS";
        case 14:
            return "MyNet_POSTDataHTTP_S";
        case 15:
            return "MyNet_Uploaded";
        case 16:
            return "MyNet_POSTOpenRequestHTTP";
        case 17:
            return "MyNet_POSTOpenRequestHTTPS";
        case 18:
            return "MyNet_GETOpenRequestHTTP";
        case 19:
            return "MyNet_GETOpenRequestHTTPS";
        case 20:
            return "MyNet_InternetReadFile";
        case 21:
            return "MyNet_Download";
        case 22:
            return "MyNet_AddHeader";
        case 23:
            return "MyNet_ConnectigFailed";
        case 24:
            return "MyNet_SendingFailed";
        case 26:
            return "MyNet_Send_OK";
        case 27:
            return "MyNet_Send_ERROR";
        case 28:
            return "MyNet_DownloadingFailed";
        case 29:
            return "MyNet_Download_OK";
        case 30:
            return "MyNet_Download_ERROR";
        case 50:
            return "MyNet_Error";
        case 51:
            return "MyNet_HTTPError";
        case 52:
            return "MyNet_WININETError";
        case 60:
            return "MyNet_GetClientCert";
        case 61:
            return "MyNet_AddCookie";
        case 62:
            return "MyNet_GetISDSAuth";
        case 65:
            return "MyNet_HttpFileTime";
        case 100:
            return "MyNet_DebugInfo";
        default:
            return "";
    }
}

}  // namespace

std::string FormatStatusLine(int code, const char* text) {
    std::string line =
        "IntConn::" + std::string(StatusName(code)) + " (" + std::to_string(code) + ")";
    if (line.size() > kMaxHead)
        line.resize(kMaxHead);
    if (text != nullptr) {
        line += ' ';
        line += text;
    }
    return line;
}

std::string TimeLine(const char* label) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%s %i-%i-%i Time %i:%02i:%02i.%03i", label,
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(millis));
    return buffer;
}

}  // namespace quillbox::net
