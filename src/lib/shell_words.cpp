#include "lib/shell_words.h"

#include <cstring>

namespace {

bool is_plain(const char* word, const char* punctuation) {
    if (*word == '\0') return false;
    for (const char* p = word; *p; ++p) {
        const char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr(punctuation, c)))
            return false;
    }
    return true;
}

// Writes into `out` from `used` on, keeping count; remembers whether it all fitted.
struct Writer {
    char* out;
    size_t capacity;
    size_t used;
    bool fits = true;
    void put(const char* text, size_t length) {
        if (!fits || used + length >= capacity) {
            fits = false;
            return;
        }
        memcpy(out + used, text, length);
        used += length;
    }
    void put(char c) { put(&c, 1); }
};

// sh, bash and their kin: double quotes where they keep every character
// as it is, single quotes otherwise (they take everything but themselves).
void posix_word(const char* word, Writer& writer) {
    if (is_plain(word, "_.,+=:/@%-")) {
        writer.put(word, strlen(word));
    } else if (strpbrk(word, "\"$`!\\") == nullptr) {
        writer.put('"');
        writer.put(word, strlen(word));
        writer.put('"');
    } else {
        writer.put('\'');
        for (const char* p = word; *p; ++p) {
            if (*p == '\'') writer.put("'\\''", 4);
            else writer.put(*p);
        }
        writer.put('\'');
    }
}

// cmd.exe hands the line to the program, whose C runtime splits it: inside
// double quotes cmd's own characters (& | < > ^ and the rest) are plain,
// and the runtime takes \" as a quote and doubles backslashes before one,
// so backslashes that end the word or precede a quote are doubled.
void cmd_word(const char* word, Writer& writer) {
    if (is_plain(word, "_.,+=:/@-\\")) {
        writer.put(word, strlen(word));
        return;
    }
    writer.put('"');
    size_t backslashes = 0;
    for (const char* p = word;; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        const bool doubled = *p == '"' || *p == '\0';
        for (size_t i = 0; i < (doubled ? 2 * backslashes : backslashes); ++i) writer.put('\\');
        backslashes = 0;
        if (*p == '\0') break;
        if (*p == '"') writer.put('\\');
        writer.put(*p);
    }
    writer.put('"');
}

}  // namespace

bool append_shell_word(const char* word, platform::Shell shell, char* out, size_t capacity) {
    const size_t start = strnlen(out, capacity);
    Writer writer{out, capacity, start};
    if (start >= capacity) return false;
    if (shell == platform::Shell::kCmd)
        cmd_word(word, writer);
    else
        posix_word(word, writer);
    out[writer.fits ? writer.used : start] = '\0';
    return writer.fits;
}

bool shell_command(const char* const* words, size_t count, platform::Shell shell, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = '\0';
    for (size_t i = 0; i < count; ++i) {
        const size_t used = strlen(out);
        if (i > 0) {
            if (used + 1 >= capacity) return false;
            out[used] = ' ';
            out[used + 1] = '\0';
        }
        if (!append_shell_word(words[i], shell, out, capacity)) return false;
    }
    return true;
}
