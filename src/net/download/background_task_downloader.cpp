#include "net/download/background_task_downloader.h"

#include "net/download/background_download.h"

namespace quillbox::net {

DownloadedDocument BackgroundTaskDownloader::Download(const std::string& url, int waitMessageId,
                                                      bool showWaitDialog) {
    DownloadedDocument document;
    DownloadInBackground(url, document.body, document.headers, document.statusText,
                         document.contentType, waitMessageId, showWaitDialog);
    return document;
}

}  // namespace quillbox::net
