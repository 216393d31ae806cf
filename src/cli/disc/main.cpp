#include "cli/disc/disc_command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    platform::start_program(argc, argv, platform::Arguments::kToolConventions, disc_takes_value);
    return run_disc(argc, argv);
}
