#include "console/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

void write_stream(void* context, const char* text, size_t length) {
    fwrite(text, 1, length, static_cast<FILE*>(context));
}

void write_nothing(void*, const char*, size_t) {}

void append(void* context, const char* text, size_t length) {
    MessageText& out = *static_cast<MessageText*>(context);
    if (out.capacity - out.size <= length) {
        size_t capacity = out.capacity < 256 ? 256 : out.capacity;
        while (capacity - out.size <= length && capacity < SIZE_MAX / 2) capacity *= 2;
        char* grown = capacity - out.size > length ? new (std::nothrow) char[capacity] : nullptr;
        if (!grown) return;
        if (out.size > 0) memcpy(grown, out.text, out.size);
        delete[] out.text;
        out.text = grown;
        out.capacity = capacity;
    }
    memcpy(out.text + out.size, text, length);
    out.size += length;
    out.text[out.size] = '\0';
}

}  // namespace

void say(const MessageSink& sink, const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<size_t>(length) < sizeof line) {
        sink.write(sink.context, line, static_cast<size_t>(length));
    } else if (length >= 0) {
        // A long file name: formatted again into a buffer of its own size.
        const std::unique_ptr<char[]> long_line(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
        if (long_line) {
            vsnprintf(long_line.get(), static_cast<size_t>(length) + 1, format, again);
            sink.write(sink.context, long_line.get(), static_cast<size_t>(length));
        } else {
            sink.write(sink.context, line, sizeof line - 1);
        }
    }
    va_end(again);
}

MessageSink standard_output() { return {stdout, write_stream}; }
MessageSink standard_error() { return {stderr, write_stream}; }
MessageSink no_messages() { return {nullptr, write_nothing}; }

MessageSink collect_into(MessageText& collected) { return {&collected, append}; }

void release_text(MessageText& collected) {
    delete[] collected.text;
    collected = MessageText{};
}
