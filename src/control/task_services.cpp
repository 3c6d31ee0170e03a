#include "control/task_services.h"

#include <memory>

#include "attach/attachment_handler.h"
#include "attach/scan_program.h"
#include "control/pkcs7_message_reader.h"
#include "enroll/enroll_handlers.h"
#include "net/download/background_task_downloader.h"
#include "net/download/preview_download.h"
#include "net/send/send_handler.h"
#include "platform/pkcs11/cryptoki_token_store.h"
#include "signing/engine/certificate_store.h"
#include "signing/engine/module_choice.h"
#include "signing/tasks/signing_task_handlers.h"

namespace quillbox {

TaskServices MakeTaskServices() {
    // The task handlers join this table as they are built; until then their tasks
    // answer with result "error".
    TaskServices services;
    services.downloader = std::make_shared<net::BackgroundTaskDownloader>();
    services.messageReader = std::make_shared<control::Pkcs7MessageReader>();
    // The one place that picks the Cryptoki implementation of the token store.
    // The module is looked up at each opening: its setting may change while a host runs.
    const signing::TokenStoreOpener openTokens = [] {
        return pkcs11::OpenCryptokiTokenStore({signing::ConfiguredModulePath()});
    };
    signing::AddSigningTaskHandlers(
        services.handlers,
        [openTokens] { return std::make_unique<signing::CertificateStore>(openTokens); },
        net::DownloadPreview);
    attach::AddAttachTaskHandlers(services.handlers, attach::InstalledScanAccessory);
    net::AddSendTaskHandler(services.handlers, openTokens);
    enroll::AddEnrollTaskHandlers(services.handlers);
    return services;
}

}  // namespace quillbox
