// Lists in words, as messages and --help give them: "0, 1, 2, 4 or 5".
#pragma once

#include <cstddef>

// `count` words joined by ", ", the last two by `last` (" or ", " and "),
// into `out`. Returns false when they do not fit `capacity` (what fits is
// written).
bool join_words(const char* const* words, size_t count, const char* last, char* out, size_t capacity);
