#include "net/download/background_download.h"

#include <vector>

#include "core/globals.h"
#include "core/messages/messages.h"
#include "net/download/download_signal.h"
#include "net/download/wait_dialog_controller.h"

namespace quillbox::net {

std::size_t DownloadInBackground(const std::string& url, std::string& body, std::string& headers,
                                 std::string& statusText, std::string& contentType, int messageId,
                                 bool showWaitDialog) {
    return DownloadInBackground(url, body, headers, statusText, contentType, messageId,
                                showWaitDialog, DownloadWithEngine);
}

std::size_t DownloadInBackground(const std::string& url, std::string& body, std::string& headers,
                                 std::string& statusText, std::string& contentType, int messageId,
                                 bool showWaitDialog, const DownloadFunction& download) {
    QB_LOG(LogLevel::File, nullptr, "szUrl: %s", url.c_str());
    ui::UserInterface& ui = ui::CurrentUserInterface();
    // The worker may ask for dialogs (credentials, a certificate warning) while this thread
    // waits; if this is the dialog thread, the wait must serve them. It outlives the worker.
    const std::unique_ptr<ui::ThreadWait> wait = ui.CreateThreadWait();
    DownloadSignal& signal = DownloadSignal::Get();
    // The done flag is shared: a second download waits here for the first to finish,
    // and the flag is cleared before the worker starts so an earlier download's "done"
    // cannot end this wait early.
    std::unique_lock slot = signal.AcquireSlot(*wait);
    signal.Clear([&wait] { wait->Wake(); });

    std::vector<std::uint8_t> block;
    std::size_t length = 0;
    {
        CUrlFile_GetFileBinary worker(url, block, headers, statusText, contentType, download);
        // The transfer starts first, so making the (hidden) window costs it no time.
        const bool started = worker.Start(0);
        WaitDialogController dialog(ui, LoadMessage(messageId), showWaitDialog);
        if (!started) {
            QB_LOG(LogLevel::File, nullptr, "Cannot start the download thread");
        }
        while (started && worker.IsActive() && !signal.IsDone()) {
            dialog.Beat();
            wait->Beat(WaitDialogController::kBeat);
        }
        // The worker writes the caller's variables until it is joined.
        worker.Join();
        length = worker.BodyLength();
    }
    signal.Clear();
    body.assign(reinterpret_cast<const char*>(block.data()), length);
    return length;
}

}  // namespace quillbox::net
