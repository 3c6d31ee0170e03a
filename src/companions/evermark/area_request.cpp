#include "companions/evermark/area_request.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quillbox::companions {

namespace {

// More is no request of this protocol.
constexpr std::streamsize kRequestLimit = 64 * 1024;

std::string Decimal(double value) {
    return QString::number(value, 'f', 1).toStdString();
}

}  // namespace

std::optional<std::string> ReadAreaRequest(const std::string& requestFile) {
    std::ifstream in(requestFile, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(kRequestLimit), '\0');
    in.read(bytes.data(), kRequestLimit);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    std::istringstream lines(bytes);
    std::string kind, length, path, rest;
    if (!std::getline(lines, kind) || !std::getline(lines, length) || !std::getline(lines, path) ||
        std::getline(lines, rest) || kind != "getarea" || path.empty() || bytes.back() != '\n') {
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(path);
    if (text.toUtf8().toStdString() != path || std::to_string(text.size()) != length) {
        return std::nullopt;
    }
    return path;
}

bool WriteAnswer(const std::string& folder, int code, const std::string& text) {
    const std::string target = folder + "/output.io2";
    const std::string temporary = target + ".part";
    const std::string answer = std::to_string(code) + "\n" + text + "\n";
    unlink(temporary.c_str());
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    bool written = write(fd, answer.data(), answer.size()) == static_cast<ssize_t>(answer.size());
    written = fsync(fd) == 0 && written;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string AreaText(int page, const QRectF& rect, const QSizeF& pageSize) {
    const QRectF r = rect.normalized();
    return "page=" + std::to_string(page) + ";x=" + Decimal(r.left()) +
           ";y=" + Decimal(pageSize.height() - r.bottom()) + ";w=" + Decimal(r.width()) +
           ";h=" + Decimal(r.height());
}

}  // namespace quillbox::companions
