#include "lib/lists.h"

#include <cstdio>

bool join_words(const char* const* words, size_t count, const char* last, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = '\0';
    size_t used = 0;
    for (size_t i = 0; i < count; ++i) {
        const char* joint = i == 0 ? "" : i + 1 == count ? last : ", ";
        const int written = snprintf(out + used, capacity - used, "%s%s", joint, words[i]);
        if (written < 0 || static_cast<size_t>(written) >= capacity - used) return false;
        used += static_cast<size_t>(written);
    }
    return true;
}
