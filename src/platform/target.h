// Which system calls the platform layer may use. Included by the platform
// layer only: everything else is written against platform.h.
//
// TARNVIL_PORTABLE builds the standard-library fallback of every call;
// TARNVIL_NO_LINUX keeps to plain POSIX, as on macOS and the BSDs. Both
// are built and tested on Linux so the fallbacks cannot rot.
#pragma once

#if defined(TARNVIL_PORTABLE)
// Standard library only.
#elif defined(_WIN32)
#define TARNVIL_WINDOWS 1
#elif defined(__unix__) || defined(__APPLE__)
#define TARNVIL_POSIX 1
#if defined(__linux__) && !defined(TARNVIL_NO_LINUX)
#define TARNVIL_LINUX 1
#endif
#endif
