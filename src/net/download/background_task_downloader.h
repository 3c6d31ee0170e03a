// The pipeline's downloader of task documents: the background download with its wait
// dialog.
#pragma once

#include "core/task_source.h"

namespace quillbox::net {

class BackgroundTaskDownloader final : public TaskDownloader {
  public:
    DownloadedDocument Download(const std::string& url, int waitMessageId,
                                bool showWaitDialog) override;
};

}  // namespace quillbox::net
