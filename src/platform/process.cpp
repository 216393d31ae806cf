// Process start-up: signals, and on Windows the arguments and console.
#include "platform/platform.h"
#include "platform/target.h"

#if defined(TARNVIL_POSIX)
#include <csignal>
#elif defined(TARNVIL_WINDOWS)
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#endif

namespace platform {

#if defined(TARNVIL_WINDOWS)

namespace {

// The arguments as UTF-8, from the wide command line: the narrow argv holds
// them in the ANSI code page, which cannot spell most file names. Keeps
// the narrow argv if anything fails.
void take_wide_arguments(int& argc, char**& argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return;
    size_t text_bytes = 0;
    bool valid = true;
    for (int i = 0; i < count; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        valid = valid && bytes > 0;
        if (bytes > 0) text_bytes += static_cast<size_t>(bytes);
    }
    // One block, the pointer table and then the strings, that lives as
    // long as the process.
    const size_t table_bytes = (static_cast<size_t>(count) + 1) * sizeof(char*);
    char* block = valid ? new (std::nothrow) char[table_bytes + text_bytes] : nullptr;
    if (block) {
        char** table = reinterpret_cast<char**>(block);
        char* text = block + table_bytes;
        const char* const end = text + text_bytes;
        for (int i = 0; i < count; ++i) {
            table[i] = text;
            text += WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text, static_cast<int>(end - text), nullptr, nullptr);
        }
        table[count] = nullptr;
        argc = count;
        argv = table;
    }
    LocalFree(wide);
}

// ---- Wildcards ----

// Makes room for `more` elements after the first `used`. False when
// memory ran out; `data` is then unchanged.
template <typename T>
bool make_room(T*& data, size_t& capacity, size_t used, size_t more) {
    if (capacity - used >= more) return true;
    size_t grown = capacity < 256 ? 256 : capacity;
    while (grown - used < more) grown *= 2;
    T* bigger = new (std::nothrow) T[grown];
    if (!bigger) return false;
    if (used > 0) memcpy(bigger, data, used * sizeof(T));
    delete[] data;
    data = bigger;
    capacity = grown;
    return true;
}

// The arguments after expansion: their text, one NUL-terminated string
// after another, and where each starts.
struct ArgumentList {
    char* text = nullptr;
    size_t text_size = 0, text_capacity = 0;
    size_t* starts = nullptr;
    size_t count = 0, starts_capacity = 0;
    bool complete = true;
};

void add_argument(ArgumentList& list, const char* head, size_t head_length, const char* tail) {
    const size_t tail_length = strlen(tail);
    if (!list.complete || !make_room(list.starts, list.starts_capacity, list.count, 1) ||
        !make_room(list.text, list.text_capacity, list.text_size, head_length + tail_length + 1)) {
        list.complete = false;
        return;
    }
    list.starts[list.count++] = list.text_size;
    memcpy(list.text + list.text_size, head, head_length);
    memcpy(list.text + list.text_size + head_length, tail, tail_length + 1);
    list.text_size += head_length + tail_length + 1;
}

const wchar_t* next_character(const wchar_t* text) {
    return text + (IS_SURROGATE_PAIR(text[0], text[1]) ? 2 : 1);
}

// Whether `name` matches `pattern` (* any run of characters, ? one), in
// any case as the file system compares names. Checked here rather than by
// FindFirstFileW, which also matches the short 8.3 names, so that "*.ppm"
// would find "photo.ppmx" through "PHOTO~1.PPM".
bool matches(const wchar_t* pattern, const wchar_t* name) {
    const wchar_t* star = nullptr;
    const wchar_t* retry = nullptr;
    while (*name != L'\0') {
        if (*pattern == L'*') {
            star = pattern++;
            retry = name;
        } else if (*pattern == L'?') {
            ++pattern;
            name = next_character(name);
        } else if (*pattern != L'\0' && CompareStringOrdinal(pattern, 1, name, 1, TRUE) == CSTR_EQUAL) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = retry = next_character(retry);
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == L'\0';
}

// Explorer's order: names compared regardless of case, then as they are.
struct ByName {
    const char* text;
    size_t skip;  // the directory part, the same in every match
    bool operator()(size_t a, size_t b) const {
        wchar_t first[MAX_PATH], second[MAX_PATH];
        const int first_length = MultiByteToWideChar(CP_UTF8, 0, text + a + skip, -1, first, MAX_PATH);
        const int second_length = MultiByteToWideChar(CP_UTF8, 0, text + b + skip, -1, second, MAX_PATH);
        const int order = CompareStringOrdinal(first, first_length, second, second_length, TRUE);
        if (order != CSTR_EQUAL) return order == CSTR_LESS_THAN;
        return strcmp(text + a + skip, text + b + skip) < 0;
    }
};

bool is_separator(char c) { return c == '/' || c == '\\' || c == ':'; }

// Adds the files that `argument` matches, if it is a pattern that names no
// file; returns how many.
size_t add_matches(ArgumentList& list, const char* argument) {
    size_t directory_length = strlen(argument);
    while (directory_length > 0 && !is_separator(argument[directory_length - 1])) --directory_length;
    const char* name_pattern = argument + directory_length;
    // "\\?\" starts a path that Windows takes as it is; a wildcard anywhere
    // else before the last component makes no pattern.
    const char wildcards[] = "*?";
    const char* directory = strncmp(argument, "\\\\?\\", 4) == 0 ? argument + 4 : argument;
    if (!strpbrk(name_pattern, wildcards) ||
        std::find_first_of(directory, name_pattern, wildcards, wildcards + 2) != name_pattern)
        return 0;
    wchar_t wide[kMaxPath];
    if (MultiByteToWideChar(CP_UTF8, 0, argument, -1, wide, kMaxPath) == 0 ||
        GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES)
        return 0;
    wchar_t pattern[MAX_PATH];
    char search[kMaxPath];
    if (MultiByteToWideChar(CP_UTF8, 0, name_pattern, -1, pattern, MAX_PATH) == 0 ||
        snprintf(search, sizeof search, "%.*s*", static_cast<int>(directory_length), argument) >=
            static_cast<int>(sizeof search) ||
        MultiByteToWideChar(CP_UTF8, 0, search, -1, wide, kMaxPath) == 0)
        return 0;

    WIN32_FIND_DATAW found;
    const HANDLE search_handle = FindFirstFileExW(wide, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search_handle == INVALID_HANDLE_VALUE) return 0;
    const size_t first = list.count;
    do {
        const wchar_t* name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0 || !matches(pattern, name)) continue;
        char utf8[MAX_PATH * 3];
        if (WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr) > 0)
            add_argument(list, argument, directory_length, utf8);
    } while (FindNextFileW(search_handle, &found));
    FindClose(search_handle);
    if (!list.complete) return 0;
    std::sort(list.starts + first, list.starts + list.count, ByName{list.text, directory_length});
    return list.count - first;
}

// Replaces each pattern among the arguments, other than the values of
// options, by the files it matches. Keeps the arguments as they are if
// memory runs out.
void expand_wildcards(int& argc, char**& argv, TakesValue takes_value) {
    ArgumentList list;
    bool expanded = false;
    bool options_ended = false, value_next = false;
    for (int i = 0; i < argc; ++i) {
        const char* argument = argv[i];
        const bool is_value = value_next;
        value_next = false;
        if (i > 0 && !is_value && add_matches(list, argument) > 0)
            expanded = true;
        else
            add_argument(list, argument, strlen(argument), "");
        if (i == 0 || is_value || options_ended) continue;
        if (strcmp(argument, "--") == 0)
            options_ended = true;
        else
            value_next = takes_value && takes_value(argument);
    }
    char** table = list.complete && expanded ? new (std::nothrow) char*[list.count + 1] : nullptr;
    if (!table || list.count > INT_MAX) {
        delete[] table;
        delete[] list.text;
        delete[] list.starts;
        return;
    }
    // The text lives as long as the process, like the arguments it replaces.
    for (size_t i = 0; i < list.count; ++i) table[i] = list.text + list.starts[i];
    table[list.count] = nullptr;
    delete[] list.starts;
    argc = static_cast<int>(list.count);
    argv = table;
}

// ---- The console ----

UINT console_code_page = 0;  // to restore when the program ends; 0: none

void restore_code_page() {
    // What is still buffered goes out in the code page it was written for.
    fflush(stdout);
    fflush(stderr);
    SetConsoleOutputCP(console_code_page);
}

BOOL WINAPI restore_on_break(DWORD) {
    restore_code_page();
    return FALSE;  // and on to the handler that ends the process
}

bool is_console(DWORD stream) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}

}  // namespace

void start_program(int& argc, char**& argv, Arguments arguments, TakesValue takes_value) {
    take_wide_arguments(argc, argv);
    if (arguments == Arguments::kToolConventions) expand_wildcards(argc, argv, takes_value);
    // Names echoed back are UTF-8; the console shows them as such. The code
    // page belongs to the console, which outlives the program.
    if (is_console(STD_OUTPUT_HANDLE) || is_console(STD_ERROR_HANDLE)) {
        const UINT previous = GetConsoleOutputCP();
        if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
            console_code_page = previous;
            atexit(restore_code_page);
            SetConsoleCtrlHandler(restore_on_break, TRUE);
        }
    }
}

bool asks_for_help(const char* argument) { return strcmp(argument, "/?") == 0; }

#else

void start_program(int&, char**&, Arguments, TakesValue) {
#if defined(TARNVIL_POSIX)
    signal(SIGXFSZ, SIG_IGN);
#endif
}

bool asks_for_help(const char*) { return false; }

#endif

Shell native_shell() {
#if defined(_WIN32)
    return Shell::kCmd;
#else
    return Shell::kPosix;
#endif
}

}  // namespace platform
