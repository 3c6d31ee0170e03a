// The kinds of task a task document can name.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillbox {

enum class TaskKind : std::int32_t {
    None = 0,  // an envelope without a task element
    Unknown = 1,
    GetPluginInfo = 2,
    ChooseCert = 3,
    Sign = 4,
    Attachment = 5,
    Send = 6,
    CreateCertRequest = 7,
    MakePfx = 8,
    CheckApp = 9,
    GetPdfArea = 10,
};

// Exact, case-sensitive match of the whole name; anything else is Unknown.
TaskKind TaskKindFromName(std::string_view name);

}  // namespace quillbox
