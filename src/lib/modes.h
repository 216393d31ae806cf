// The modes the companion tools and the page take: the converter's
// graphics modes, whose screens tarnvil makes, and MODE 7, teletext, whose
// pages the library makes itself (teletext/).
#pragma once

#include <cstdint>

#include "lib/teletext/teletext.h"
#include "screen/modes.h"

inline constexpr int32_t kTeletextMode = 7;
// Where MODE 7's screen memory starts; a page fills its first 1000 bytes.
inline constexpr uint32_t kTeletextStart = 0x7C00;

constexpr bool is_tool_mode(int32_t mode) { return is_screen_mode(mode) || mode == kTeletextMode; }

// The bytes of a dump in `mode`: its screen memory, or a teletext page.
constexpr int32_t dump_bytes(int32_t mode) {
    return mode == kTeletextMode ? kTeletextPageBytes : screen_bytes(screen_mode_for(mode));
}

// Where a dump of `mode` is loaded: the start of its screen memory.
constexpr uint32_t dump_start(int32_t mode) {
    return mode == kTeletextMode ? kTeletextStart : screen_mode_for(mode).screen_start;
}

// The modes in order: tool_mode(0) to tool_mode(kToolModeCount - 1).
inline constexpr int32_t kToolModeCount = sizeof kScreenModes / sizeof kScreenModes[0] + 1;
constexpr int32_t tool_mode(int32_t index) {
    return index < kToolModeCount - 1 ? kScreenModes[index].mode : kTeletextMode;
}
