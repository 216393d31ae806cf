// Where messages go: standard output or standard error for a program run
// from a shell, a buffer in memory for the web page, the fuzz harnesses and
// the tests. Every message of every program is written through one of
// these, so the page shows exactly what the command line prints.
#pragma once

#include <cstddef>

struct MessageSink {
    void* context;
    void (*write)(void* context, const char* text, size_t length);
};

// printf-style text, written to the sink in one piece.
#if defined(__GNUC__)
[[gnu::format(printf, 2, 3)]]
#endif
void say(const MessageSink& sink, const char* format, ...);

inline void say_text(const MessageSink& sink, const char* text, size_t length) {
    sink.write(sink.context, text, length);
}

MessageSink standard_output();
MessageSink standard_error();

// Drops everything.
MessageSink no_messages();

// Text collected in memory. When memory runs out, what no longer fits is
// dropped: messages are what is said of a run, never its result, which
// reaches the caller by other means.
struct MessageText {
    char* text = nullptr;  // NUL-terminated once anything was written
    size_t size = 0;
    size_t capacity = 0;
};

MessageSink collect_into(MessageText& collected);

// Frees the text and empties the record.
void release_text(MessageText& collected);
