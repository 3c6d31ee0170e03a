#include "core/response_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>
#include <vector>

#include "core/base64/base64_coder.h"
#include "core/globals.h"
#include "core/identity.h"
#include "core/sign_exception.h"
#include "core/unique_fd.h"
#include "platform/xml/xml_document.h"

namespace quillbox {

namespace {

// Where a kind's content goes: nowhere, the root itself, or a new child of the root.
struct Target {
    enum Where { None, Root, Child } where = None;
    std::string_view child;
};

struct ResponseForm {
    std::string_view plainRoot;
    Target plainTarget;
    Target appTarget;
};

ResponseForm FormOf(TaskKind kind) {
    using T = Target;
    switch (kind) {
        case TaskKind::GetPluginInfo:
            return {"plugininfo", {T::Child, "summary"}, {T::Child, "plugininfo"}};
        case TaskKind::ChooseCert:
            return {"certificate", {T::Root, {}}, {T::Root, {}}};
        case TaskKind::Sign:
            return {"signresponse", {T::Root, {}}, {T::Root, {}}};
        case TaskKind::Attachment:
            return {"attachment", {T::Root, {}}, {T::Child, "attachment"}};
        case TaskKind::Send:
            return {"sendresult", {T::Root, {}}, {T::Child, "sendresult"}};
        case TaskKind::CreateCertRequest:
            return {"certrequest", {T::Root, {}}, {T::Child, "certrequest"}};
        case TaskKind::MakePfx:
            return {"makepfx", {T::None, {}}, {T::Child, "makepfx"}};
        case TaskKind::GetPdfArea:
            return {"pdfarea", {T::Child, "area"}, {T::Child, "area"}};
        default:
            return {"response", {T::None, {}}, {T::None, {}}};
    }
}

xml::XmlNode MakeTarget(xml::XmlNode root, const Target& target) {
    switch (target.where) {
        case Target::Root:
            return root;
        case Target::Child:
            return root.AppendElement(target.child);
        case Target::None:
            break;
    }
    return {};
}

void AppendCertificate(xml::XmlNode target, const TaskOutcome& outcome) {
    xml::XmlNode cert = target.AppendElement("X509Certificate");
    cert.SetAttribute("id", outcome.certificateId);
    cert.SetText(outcome.certificate);
}

void AppendFileAsBase64(xml::XmlNode target, TaskOutcome& outcome, Base64Coder& coder) {
    // Non-blocking, so that a FIFO put in the file's place cannot stall the open; such a
    // file, or a device, is refused: it could block or never end.
    UniqueFd file(open(outcome.attachmentPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.get() >= 0 && fstat(file.get(), &info) == 0 && !S_ISREG(info.st_mode)) {
        errno = EINVAL;
    }
    if (file.get() < 0 || !S_ISREG(info.st_mode)) {
        outcome.result = TaskResult::Error;
        throw CSignException(-1);
    }
    outcome.result = TaskResult::Error;
    std::vector<std::uint8_t> chunk(kAttachmentChunkBytes);
    for (;;) {
        ssize_t got;
        do {
            got = read(file.get(), chunk.data(), chunk.size());
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            // A file that fails half-way must not go out as a shorter attachment
            // that claims success.
            outcome.result = TaskResult::Error;
            throw CSignException(-1);
        }
        if (got == 0) {
            break;
        }
        coder.Encode(chunk.data(), static_cast<std::uint32_t>(got));
        target.AppendText(std::string_view(coder.EncodedMessage(), coder.EncodedSize()));
        outcome.result = TaskResult::Ok;
    }
}

void WriteContent(TaskKind kind, bool appResponse, xml::XmlNode root, const Target& where,
                  TaskOutcome& outcome, Base64Coder& coder) {
    switch (kind) {
        case TaskKind::GetPluginInfo: {
            xml::XmlNode target = MakeTarget(root, where);
            target.SetAttribute("name", appResponse ? kComponentKindApp : kComponentKindPlain);
            target.SetAttribute("version", ResponseVersion());
            break;
        }
        case TaskKind::ChooseCert:
            AppendCertificate(MakeTarget(root, where), outcome);
            break;
        case TaskKind::Sign: {
            xml::XmlNode target = MakeTarget(root, where);
            target.AppendElement("SignatureValue").SetText(outcome.signatureValue);
            AppendCertificate(target, outcome);
            break;
        }
        case TaskKind::Attachment: {
            xml::XmlNode target = MakeTarget(root, where);
            target.SetAttribute("name", outcome.attachmentName);
            if (outcome.attachmentContentGiven) {
                target.SetText(outcome.attachmentContent);
            } else {
                AppendFileAsBase64(target, outcome, coder);
            }
            break;
        }
        case TaskKind::Send: {
            xml::XmlNode target = MakeTarget(root, where);
            target.SetAttribute("result", "ok");
            target.SetAttribute("retcode", outcome.sendRetcode);
            target.SetAttribute("headers", outcome.sendHeaders);
            target.SetText(outcome.sendBody);
            break;
        }
        case TaskKind::CreateCertRequest: {
            xml::XmlNode target = MakeTarget(root, where);
            if (appResponse) {
                target.SetAttribute("result", *TaskResultText(outcome.result));
            }
            target.SetText(outcome.requestText);
            break;
        }
        case TaskKind::MakePfx:
            if (appResponse) {
                MakeTarget(root, where).SetAttribute("result", *TaskResultText(outcome.result));
            }
            break;
        case TaskKind::GetPdfArea:
            MakeTarget(root, where).SetAttribute("coords", outcome.pdfAreaCoords);
            break;
        default:
            break;
    }
}

}  // namespace

std::string BuildResponse(TaskKind kind, bool appResponse, TaskOutcome& outcome,
                          Base64Coder& coder) {
    if (kind == TaskKind::CheckApp) {
        QB_LOG(LogLevel::File, nullptr, "Result xml: %s", "");
        return {};
    }
    const ResponseForm form = FormOf(kind);
    const std::string rootText =
        appResponse ? std::string("<appresponse></appresponse>")
                    : "<" + std::string(form.plainRoot) + "></" + std::string(form.plainRoot) + ">";
    std::unique_ptr<xml::XmlDocument> document = xml::XmlDocument::Parse(rootText);
    if (!document) {
        return {};
    }
    xml::XmlNode root = document->Root();
    if (std::optional<std::string_view> text = TaskResultText(outcome.result)) {
        root.SetAttribute("result", *text);
    }
    if (outcome.result == TaskResult::Ok) {
        WriteContent(kind, appResponse, root, appResponse ? form.appTarget : form.plainTarget,
                     outcome, coder);
    }
    if (outcome.result == TaskResult::Error && kind == TaskKind::Unknown) {
        root.SetAttribute("errorinfo", "unknown task");
    }
    std::string response = document->Serialize();
    QB_LOG(LogLevel::File, nullptr, "Result xml: %s", response.c_str());
    return response;
}

}  // namespace quillbox
