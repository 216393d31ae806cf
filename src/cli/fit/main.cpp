#include "cli/fit/fit_command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    platform::start_program(argc, argv, platform::Arguments::kToolConventions, fit_takes_value);
    return run_fit(argc, argv);
}
