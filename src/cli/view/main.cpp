#include "platform/platform.h"
#include "cli/view/view_command.h"

int main(int argc, char** argv) {
    platform::start_program(argc, argv, platform::Arguments::kToolConventions, view_takes_value);
    return run_view(argc, argv);
}
