#include "companions/scan/sane_scanner.h"

#include <dlfcn.h>
#include <link.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace quillbox::companions {

namespace {

constexpr int kPresets[] = {75, 100, 150, 200, 300, 400, 600};
// Larger is no page: 600 dpi A3 in colour is well below.
constexpr std::size_t kImageLimit = 512u << 20;

QString Reason(SANE_Status status) {
    return QString::fromUtf8(sane_strstatus(status));
}

// SANE unloads its drivers in sane_exit. A driver whose reader thread was stopped at the
// end of a page can leave that thread's buffer behind; with the driver still mapped the
// leak checker of a sanitizer build names the driver instead of an unknown module.
void KeepDriversMapped() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* found) {
            const std::string_view name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.find("/sane/libsane-") != std::string_view::npos) {
                static_cast<std::vector<std::string>*>(found)->emplace_back(name);
            }
            return 0;
        },
        &drivers);
    for (const std::string& driver : drivers) {
        dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

}  // namespace

SaneSession::SaneSession() {
    SANE_Int version = 0;
    ok_ = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
}

SaneSession::~SaneSession() {
    if (ok_) {
        KeepDriversMapped();
        sane_exit();
    }
}

std::vector<SaneSession::Device> SaneSession::Devices() const {
    std::vector<Device> found;
    const SANE_Device** list = nullptr;
    if (!ok_ || sane_get_devices(&list, SANE_TRUE) != SANE_STATUS_GOOD || list == nullptr) {
        return found;
    }
    for (; *list != nullptr; ++list) {
        const SANE_Device& d = **list;
        found.push_back({d.name, QString::fromUtf8(d.vendor) + " " + QString::fromUtf8(d.model) +
                                     " (" + QString::fromUtf8(d.name) + ")"});
    }
    return found;
}

Scanner::~Scanner() {
    if (handle_ != nullptr) {
        sane_close(handle_);
    }
}

QString Scanner::Open(const std::string& name) {
    if (handle_ != nullptr) {
        sane_close(handle_);
        handle_ = nullptr;
    }
    const SANE_Status status = sane_open(name.c_str(), &handle_);
    if (status != SANE_STATUS_GOOD) {
        handle_ = nullptr;
        return Reason(status);
    }
    return {};
}

int Scanner::OptionIndex(const char* name) const {
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* option = sane_get_option_descriptor(handle_, i);
        if (option == nullptr) {
            return -1;
        }
        if (option->name != nullptr && std::strcmp(option->name, name) == 0 &&
            SANE_OPTION_IS_ACTIVE(option->cap) && SANE_OPTION_IS_SETTABLE(option->cap)) {
            return i;
        }
    }
}

std::vector<std::string> Scanner::StringChoices(const char* name) const {
    std::vector<std::string> choices;
    const int index = OptionIndex(name);
    const SANE_Option_Descriptor* option =
        index < 0 ? nullptr : sane_get_option_descriptor(handle_, index);
    if (option != nullptr && option->type == SANE_TYPE_STRING &&
        option->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
        for (const SANE_String_Const* s = option->constraint.string_list; *s != nullptr; ++s) {
            choices.emplace_back(*s);
        }
    }
    return choices;
}

std::vector<std::string> Scanner::Sources() const {
    return StringChoices(SANE_NAME_SCAN_SOURCE);
}

std::vector<std::string> Scanner::Modes() const {
    return StringChoices(SANE_NAME_SCAN_MODE);
}

std::vector<int> Scanner::Resolutions(int wanted) const {
    const int index = OptionIndex(SANE_NAME_SCAN_RESOLUTION);
    const SANE_Option_Descriptor* option =
        index < 0 ? nullptr : sane_get_option_descriptor(handle_, index);
    if (option == nullptr || (option->type != SANE_TYPE_INT && option->type != SANE_TYPE_FIXED)) {
        return {};
    }
    const bool fixed = option->type == SANE_TYPE_FIXED;
    auto dpi = [fixed](SANE_Word w) { return fixed ? int(SANE_UNFIX(w)) : int(w); };
    std::vector<int> offered;
    if (option->constraint_type == SANE_CONSTRAINT_WORD_LIST) {
        for (SANE_Int i = 1; i <= option->constraint.word_list[0]; ++i) {
            offered.push_back(dpi(option->constraint.word_list[i]));
        }
    } else {
        int low = 1, high = std::numeric_limits<int>::max();
        if (option->constraint_type == SANE_CONSTRAINT_RANGE) {
            low = dpi(option->constraint.range->min);
            high = dpi(option->constraint.range->max);
        }
        for (const int preset : kPresets) {
            if (preset >= low && preset <= high) {
                offered.push_back(preset);
            }
        }
        if (wanted >= low && wanted <= high) {
            offered.push_back(wanted);
        }
    }
    std::sort(offered.begin(), offered.end());
    offered.erase(std::unique(offered.begin(), offered.end()), offered.end());
    return offered;
}

bool Scanner::SetString(const char* name, const std::string& value) {
    const int index = OptionIndex(name);
    if (index < 0) {
        return false;
    }
    std::vector<char> text(value.begin(), value.end());
    text.push_back('\0');
    return sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, text.data(), nullptr) ==
           SANE_STATUS_GOOD;
}

bool Scanner::SetSource(const std::string& source) {
    return SetString(SANE_NAME_SCAN_SOURCE, source);
}

bool Scanner::SetMode(const std::string& mode) {
    return SetString(SANE_NAME_SCAN_MODE, mode);
}

bool Scanner::SetResolution(int dpi) {
    const int index = OptionIndex(SANE_NAME_SCAN_RESOLUTION);
    if (index < 0) {
        return false;
    }
    const SANE_Option_Descriptor* option = sane_get_option_descriptor(handle_, index);
    SANE_Word value = option->type == SANE_TYPE_FIXED ? SANE_FIX(dpi) : dpi;
    return sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, &value, nullptr) ==
           SANE_STATUS_GOOD;
}

void Scanner::Cancel() {
    cancelled_ = true;
    if (handle_ != nullptr) {
        sane_cancel(handle_);
    }
}

QImage Scanner::ScanPage(QString& why) {
    cancelled_ = false;
    SANE_Status status = sane_start(handle_);
    SANE_Parameters p{};
    if (status == SANE_STATUS_GOOD) {
        status = sane_get_parameters(handle_, &p);
    }
    if (status != SANE_STATUS_GOOD) {
        sane_cancel(handle_);
        why = Reason(status);
        return {};
    }
    const bool gray = p.format == SANE_FRAME_GRAY;
    if (!p.last_frame || (!gray && p.format != SANE_FRAME_RGB) ||
        (p.depth != 1 && p.depth != 8 && p.depth != 16) || (!gray && p.depth == 1) ||
        p.pixels_per_line <= 0 || p.bytes_per_line <= 0) {
        sane_cancel(handle_);
        why = QStringLiteral("unsupported image format");
        return {};
    }
    const int samplesPerLine = gray ? p.pixels_per_line : p.pixels_per_line * 3;
    const int lineBytes = p.depth == 1 ? (samplesPerLine + 7) / 8 : samplesPerLine * (p.depth / 8);
    if (p.bytes_per_line < lineBytes) {
        sane_cancel(handle_);
        why = QStringLiteral("inconsistent image parameters");
        return {};
    }
    std::vector<unsigned char> data;
    if (p.lines > 0) {
        data.reserve(std::min(kImageLimit, std::size_t(p.lines) * std::size_t(p.bytes_per_line)));
    }
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        SANE_Int length = 0;
        status = sane_read(handle_, chunk.data(), SANE_Int(chunk.size()), &length);
        if (status != SANE_STATUS_GOOD) {
            break;
        }
        if (data.size() + std::size_t(length) > kImageLimit) {
            status = SANE_STATUS_NO_MEM;
            break;
        }
        data.insert(data.end(), chunk.begin(), chunk.begin() + length);
    }
    sane_cancel(handle_);
    if (status != SANE_STATUS_EOF || cancelled_) {
        why = Reason(cancelled_ ? SANE_STATUS_CANCELLED : status);
        return {};
    }
    const int width = p.pixels_per_line;
    const int lines = int(data.size() / std::size_t(p.bytes_per_line));
    if (lines == 0) {
        why = Reason(SANE_STATUS_IO_ERROR);
        return {};
    }
    QImage image(width, lines, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    const int sampleBytes = p.depth == 16 ? 2 : 1;
    for (int y = 0; y < lines; ++y) {
        const unsigned char* in = data.data() + std::size_t(y) * std::size_t(p.bytes_per_line);
        unsigned char* out = image.scanLine(y);
        const int samples = gray ? width : width * 3;
        for (int i = 0; i < samples; ++i) {
            if (p.depth == 1) {
                // Line art: a set bit is black.
                out[i] = (in[i / 8] & (0x80 >> (i % 8))) ? 0 : 255;
            } else {
                // 16-bit samples in the machine's order; their high byte is enough for a PDF.
                std::uint16_t sample = in[i * sampleBytes];
                if (sampleBytes == 2) {
                    std::memcpy(&sample, in + i * 2, 2);
                    sample >>= 8;
                }
                out[i] = static_cast<unsigned char>(sample);
            }
        }
    }
    return image;
}

}  // namespace quillbox::companions
