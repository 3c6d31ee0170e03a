#include "core/task_kind.h"

namespace quillbox {

TaskKind TaskKindFromName(std::string_view name) {
    struct Entry {
        std::string_view name;
        TaskKind kind;
    };
    static constexpr Entry kNames[] = {
        {"getplugininfo", TaskKind::GetPluginInfo},
        {"sign", TaskKind::Sign},
        {"choosecert", TaskKind::ChooseCert},
        {"attachment", TaskKind::Attachment},
        {"send", TaskKind::Send},
        {"createcertrequest", TaskKind::CreateCertRequest},
        {"makepfx", TaskKind::MakePfx},
        {"checkapp", TaskKind::CheckApp},
        {"getpdfarea", TaskKind::GetPdfArea},
    };
    for (const Entry& entry : kNames) {
        if (entry.name == name) {
            return entry.kind;
        }
    }
    return TaskKind::Unknown;
}

}  // namespace quillbox
