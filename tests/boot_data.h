// The items of a !BOOT program's DATA lines, in order: tarnvil-disc's
// tests and its fuzz harness read a disc's pictures from them.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

inline std::vector<std::string> boot_data_items(const std::string& boot) {
    std::vector<std::string> items;
    for (size_t at = boot.find(" DATA "); at != std::string::npos; at = boot.find(" DATA ", at)) {
        at += 6;
        const size_t end = boot.find('\r', at);
        for (size_t item = at; item < end;) {
            const size_t comma = std::min(boot.find(',', item), end);
            items.push_back(boot.substr(item, comma - item));
            item = comma + 1;
        }
    }
    return items;
}
