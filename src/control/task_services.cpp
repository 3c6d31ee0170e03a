#include "control/task_services.h"

#include "net/download/background_task_downloader.h"
#include "platform/crypto/pkcs7_message_reader.h"

namespace quillbox {

TaskServices MakeTaskServices() {
    // The task handlers join this table as they are built; until then their tasks
    // answer with result "error".
    TaskServices services;
    services.downloader = std::make_shared<net::BackgroundTaskDownloader>();
    services.messageReader = std::make_shared<crypto::Pkcs7MessageReader>();
    return services;
}

}  // namespace quillbox
