// What a task handler hands to the response builder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillbox {

enum class TaskResult : std::int32_t { Ok = 0, Cancel = 1, Error = 2 };

// "ok", "cancel", "error"; nothing for values outside the three.
std::optional<std::string_view> TaskResultText(TaskResult result);

struct TaskOutcome {
    TaskResult result = TaskResult::Ok;

    // sign and choosecert
    std::string certificateId;   // Base64 of the certificate's SHA-1 thumbprint
    std::string signatureValue;  // Base64
    std::string certificate;     // Base64 of the DER encoding

    // attachment
    std::string attachmentName;
    bool attachmentContentGiven = false;
    std::string attachmentContent;  // Base64, when given
    std::string attachmentPath;     // file whose Base64 form is sent otherwise

    // send
    std::string sendRetcode;
    std::string sendHeaders;
    std::string sendBody;

    // createcertrequest
    std::string requestText;

    // getpdfarea
    std::string pdfAreaCoords;
};

}  // namespace quillbox
