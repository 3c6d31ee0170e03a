// The worker of a background download: runs the one-shot download of the connection
// engine on its own thread and leaves the answer in its caller's variables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/download/c_thread.h"
#include "net/transfer/int_conn.h"

namespace quillbox::net {

// How the worker fetches a URL; the default runs DownloadUrl with the download flags.
using DownloadFunction = std::function<ResultCode(const std::string& url, const ResponseOut& out)>;
ResultCode DownloadWithEngine(const std::string& url, const ResponseOut& out);

class CUrlFile_GetFileBinary final : public CThread {
  public:
    // The caller's variables must outlive the worker. The worker writes them only
    // until it sets the process-wide done flag.
    CUrlFile_GetFileBinary(std::string url, std::vector<std::uint8_t>& body, std::string& headers,
                           std::string& statusText, std::string& contentType,
                           DownloadFunction download = DownloadWithEngine);
    ~CUrlFile_GetFileBinary() override;

    std::size_t BodyLength() const { return bodyLength_; }
    ResultCode Result() const { return result_; }

  protected:
    std::int32_t Run(std::uint32_t parameter) override;

  private:
    std::string url_;
    std::vector<std::uint8_t>& body_;
    std::size_t bodyLength_ = 0;
    std::string& headers_;
    std::string& statusText_;
    std::string& contentType_;
    DownloadFunction download_;
    ResultCode result_ = ResultCode::Failed;
};

}  // namespace quillbox::net
