// Commands as a user pastes them into a shell: the tools print the next
// command to run, and the web page shows the commands that would do what
// it did. Quoting lives here alone, so every printed command agrees.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Appends `word` to `out` (NUL-terminated, `capacity` bytes in all) as
// `shell` takes it back as one argument: bare when it is plain, quoted
// otherwise. False, with `out` unchanged, when it does not fit.
bool append_shell_word(const char* word, platform::Shell shell, char* out, size_t capacity);

// The words joined by spaces, each as append_shell_word writes it. False
// when the command does not fit `capacity`.
bool shell_command(const char* const* words, size_t count, platform::Shell shell, char* out, size_t capacity);
