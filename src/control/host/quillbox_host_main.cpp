// "quillbox-host": the native messaging host a browser starts for each page
// connection; it holds that page's control.
#include "control/host/host_program.h"
#include "control/task_services.h"

int main(int argc, char** argv) {
    return quillbox::host::RunHostProgram(argc, argv, quillbox::MakeTaskServices);
}
