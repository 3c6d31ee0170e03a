#include "control/host/host_program.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "control/form_filler.h"
#include "control/host/host_session.h"
#include "control/ui_choice.h"
#include "core/globals.h"

namespace quillbox::host {

namespace {

// Moves the message channels to descriptors of their own and points standard input
// and output elsewhere, so a library that prints cannot corrupt the framing.
bool TakeStandardChannels(int& in, int& out) {
    in = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (in < 0 || out < 0) {
        return false;
    }
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0) {
        return false;
    }
    bool ok = dup2(null, STDIN_FILENO) >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) >= 0;
    close(null);
    return ok;
}

}  // namespace

int RunHostProgram(int argc, char** argv, const std::function<TaskServices()>& makeServices) {
    // A closed browser end must show up as a failed write, not kill the host.
    std::signal(SIGPIPE, SIG_IGN);
    int in = -1;
    int out = -1;
    if (!TakeStandardChannels(in, out)) {
        std::fprintf(stderr, "quillbox-host: cannot set up the message channels\n");
        return 1;
    }
    // Chromium passes the calling extension's origin; Firefox passes the host manifest's
    // path and then the add-on's id.
    std::string caller = argc > 1 ? argv[1] : "";
    if (argc > 2 && caller.starts_with('/')) {
        caller = argv[2];
    }

    control::UiChoice choice;
    std::string error;
    if (!control::ChooseUi({}, argc, argv, choice, error)) {
        std::fprintf(stderr, "quillbox-host: %s\n", error.c_str());
        return 1;
    }
    ui::SetUserInterface(choice.ui.get());
    int status;
    {
        control::CFormFiller control(makeServices());
        QB_LOG(LogLevel::File, nullptr, "Native host for %s", caller.c_str());
        HostSession session(in, out, control);
        status = choice.HasQtApplication() ? session.RunWithQt() : session.RunPlain();
    }
    ui::SetUserInterface(nullptr);
    close(in);
    close(out);
    return status;
}

}  // namespace quillbox::host
