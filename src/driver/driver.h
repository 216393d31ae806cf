#pragma once

#include "records.h"

// Converts every argument after the program name and returns the exit
// status. With no argument it prints the usage text and ends the process.
int run_conversions(int count, char** arguments);

// Reads the option block glued to the front of `argument` into `options`
// (which the caller has reset to the defaults) and returns the file-name
// part that follows it: the whole argument when it has no block.
const char* parse_option_block(const char* argument, ConversionOptions& options);
