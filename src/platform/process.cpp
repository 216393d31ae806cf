// Process start-up: signals, and on Windows the arguments and console.
#include "platform/platform.h"
#include "platform/target.h"

#if defined(TARNVIL_POSIX)
#include <csignal>
#elif defined(TARNVIL_WINDOWS)
#include <windows.h>
#include <shellapi.h>

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

}  // namespace

void start_program(int& argc, char**& argv) {
    take_wide_arguments(argc, argv);
    // Names echoed back are UTF-8 too; a console shows them as such.
    if (GetConsoleWindow()) SetConsoleOutputCP(CP_UTF8);
}

#else

void start_program(int&, char**&) {
#if defined(TARNVIL_POSIX)
    signal(SIGXFSZ, SIG_IGN);
#endif
}

#endif

}  // namespace platform
