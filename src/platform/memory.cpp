// Memory for the sample planes, and how much memory the system will really
// give. A 20-byte header can declare gigabytes of planes: committing them
// on a machine that lacks them would get the whole batch killed, so large
// requests are measured against what is left before anything is touched.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "platform/platform.h"
#include "platform/target.h"

#if defined(TARNVIL_POSIX)
#include <sys/resource.h>
#endif
#if defined(TARNVIL_LINUX)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(TARNVIL_WINDOWS)
#include <windows.h>
#endif

namespace platform {

namespace {

// Smaller requests go straight to the allocator, whose failure is caught
// too; asking the system would cost more than the planes.
constexpr uint64_t kCheckFrom = uint64_t{64} << 20;

#if defined(TARNVIL_POSIX)

bool within(const struct rlimit& limit, uint64_t bytes) {
    return limit.rlim_cur == RLIM_INFINITY || bytes <= static_cast<uint64_t>(limit.rlim_cur);
}

bool within_resource_limits(uint64_t bytes) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && !within(limit, bytes)) return false;
    if (getrlimit(RLIMIT_DATA, &limit) == 0 && !within(limit, bytes)) return false;
    return true;
}

#endif

#if defined(TARNVIL_LINUX)

constexpr uint64_t kUnknown = UINT64_MAX;

// A small file of procfs or cgroupfs as text; false when it is not there.
bool read_text(const char* path, char (&text)[4096]) {
    const int64_t got = read_file_prefix(path, reinterpret_cast<uint8_t*>(text), sizeof text - 1);
    if (got <= 0) return false;
    text[got] = '\0';
    return true;
}

// The decimal number at `p`, or kUnknown when there is none ("max").
uint64_t parse_number(const char* p) {
    if (*p < '0' || *p > '9') return kUnknown;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value > (kUnknown - 9) / 10 ? kUnknown : value * 10 + static_cast<uint64_t>(*p - '0');
    return value;
}

// MemAvailable plus free swap, in bytes.
uint64_t available_physical_memory() {
    char text[4096];
    if (!read_text("/proc/meminfo", text)) return kUnknown;
    uint64_t total = 0;
    bool found = false;
    for (const char* field : {"MemAvailable:", "SwapFree:"}) {
        const char* at = strstr(text, field);
        if (!at) continue;
        at += strlen(field);
        while (*at == ' ') ++at;
        const uint64_t kib = parse_number(at);
        if (kib == kUnknown) continue;
        total += kib * 1024;
        found = true;
    }
    return found ? total : kUnknown;
}

// What is left under the memory limit of the cgroup at `directory` and of
// every group above it up to `root`.
uint64_t cgroup_headroom(const char* root, const char* group, const char* limit_file, const char* usage_file) {
    char directory[kMaxPath];
    if (snprintf(directory, sizeof directory, "%s%s", root, group) >= static_cast<int>(sizeof directory)) return kUnknown;
    const size_t root_length = strlen(root);
    uint64_t headroom = kUnknown;
    for (;;) {
        char path[kMaxPath + 32];
        char text[4096];
        snprintf(path, sizeof path, "%s/%s", directory, limit_file);
        const uint64_t limit = read_text(path, text) ? parse_number(text) : kUnknown;
        snprintf(path, sizeof path, "%s/%s", directory, usage_file);
        const uint64_t usage = limit != kUnknown && read_text(path, text) ? parse_number(text) : kUnknown;
        if (limit != kUnknown && usage != kUnknown) {
            const uint64_t left = usage < limit ? limit - usage : 0;
            if (left < headroom) headroom = left;
        }
        char* slash = strrchr(directory, '/');
        if (!slash || static_cast<size_t>(slash - directory) < root_length) break;
        *slash = '\0';
    }
    return headroom;
}

// Room under the memory controller's limits, version 2 ("0::/path") or
// version 1 ("4:memory:/path") of the cgroup hierarchy.
uint64_t available_in_cgroup() {
    char text[4096];
    if (!read_text("/proc/self/cgroup", text)) return kUnknown;
    uint64_t headroom = kUnknown;
    for (char* line = text; *line;) {
        char* end = strchr(line, '\n');
        if (end) *end = '\0';
        const char* first = strchr(line, ':');
        const char* second = first ? strchr(first + 1, ':') : nullptr;
        if (second) {
            const size_t controllers = static_cast<size_t>(second - first - 1);
            uint64_t left = kUnknown;
            if (controllers == 0 && strncmp(line, "0:", 2) == 0) {
                left = cgroup_headroom("/sys/fs/cgroup", second + 1, "memory.max", "memory.current");
            } else {
                // A comma-separated controller list that names "memory".
                for (const char* c = first + 1; c < second;) {
                    const char* comma = static_cast<const char*>(memchr(c, ',', static_cast<size_t>(second - c)));
                    const char* stop = comma ? comma : second;
                    if (stop - c == 6 && strncmp(c, "memory", 6) == 0) {
                        left = cgroup_headroom("/sys/fs/cgroup/memory", second + 1, "memory.limit_in_bytes",
                                               "memory.usage_in_bytes");
                        break;
                    }
                    c = stop + 1;
                }
            }
            if (left < headroom) headroom = left;
        }
        if (!end) break;
        line = end + 1;
    }
    return headroom;
}

// The planes of one image come from one mapping that is kept for the next
// image: one for the process, as conversions run one at a time (tarnvil's
// own loop, and the page's and the companion tools' calls alike). Fresh pages are faulted in with one call instead of a trap each,
// and from 768 KiB on the mapping is aligned for huge pages, which cut the
// faults and TLB misses by a factor of 512. Both are hints: a kernel
// without them faults pages in as they are touched.
struct PlaneArena {
    unsigned char* base = nullptr;
    size_t capacity = 0;
    bool in_use = false;
};

PlaneArena arena;

constexpr size_t kPage = 4096;
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kArenaFrom = size_t{64} << 10;
constexpr size_t kHugePagesFrom = size_t{768} << 10;
// Larger mappings go back to the system once their image is done.
constexpr size_t kKeepUpTo = size_t{96} << 20;

size_t round_up(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

void drop_arena() {
    if (arena.base) munmap(arena.base, arena.capacity);
    arena = PlaneArena{};
}

// A mapping of `capacity` bytes aligned to `alignment`.
unsigned char* map_aligned(size_t capacity, size_t alignment) {
    const size_t span = capacity + alignment - kPage;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + alignment - 1) / alignment * alignment;
    if (aligned > start) munmap(mapped, aligned - start);
    const uintptr_t end = start + span;
    if (end > aligned + capacity) munmap(reinterpret_cast<void*>(aligned + capacity), end - aligned - capacity);
    return reinterpret_cast<unsigned char*>(aligned);
}

bool grow_arena(size_t need) {
    drop_arena();
    const bool huge = need >= kHugePagesFrom;
    const size_t capacity = round_up(need, huge ? kHugePage : kPage);
    unsigned char* base = map_aligned(capacity, huge ? kHugePage : kPage);
    if (!base) return false;
#ifdef MADV_HUGEPAGE
    if (huge) madvise(base, capacity, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(base, round_up(need, kPage), MADV_POPULATE_WRITE);
#endif
    arena.base = base;
    arena.capacity = capacity;
    return true;
}

bool in_arena(const int32_t* plane) {
    const unsigned char* at = reinterpret_cast<const unsigned char*>(plane);
    return arena.base && at >= arena.base && at < arena.base + arena.capacity;
}

#endif

bool allocate_from_heap(size_t samples, int32_t*& red, int32_t*& green, int32_t*& blue) {
    red = new (std::nothrow) int32_t[samples];
    green = red ? new (std::nothrow) int32_t[samples] : nullptr;
    blue = green ? new (std::nothrow) int32_t[samples] : nullptr;
    if (blue) return true;
    delete[] red;
    delete[] green;
    red = green = nullptr;
    return false;
}

}  // namespace

bool memory_fits(uint64_t bytes) {
    if (bytes < kCheckFrom) return true;
#if defined(TARNVIL_POSIX)
    if (!within_resource_limits(bytes)) return false;
#endif
#if defined(TARNVIL_LINUX)
    if (bytes > available_physical_memory() || bytes > available_in_cgroup()) return false;
#endif
#if defined(TARNVIL_WINDOWS)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status) && (bytes > status.ullAvailPageFile || bytes > status.ullAvailVirtual))
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job;
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job, nullptr)) {
        const DWORD flags = job.BasicLimitInformation.LimitFlags;
        if ((flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) && bytes > job.ProcessMemoryLimit) return false;
        if ((flags & JOB_OBJECT_LIMIT_JOB_MEMORY) && bytes > job.JobMemoryLimit) return false;
    }
#endif
    return true;
}

bool allocate_planes(size_t samples, int32_t*& red, int32_t*& green, int32_t*& blue) {
#if defined(TARNVIL_LINUX)
    // Each plane starts on a cache line, which also suits vector stores, and
    // the same sample of the three planes falls at a different place in a
    // page: at page-multiple distances the loads and stores of the three
    // would compete for the same cache sets.
    if (samples <= SIZE_MAX / 16) {
        const size_t plane_bytes = round_up(samples * sizeof(int32_t), kPage) + kPage / 4 + 64;
        const size_t need = 3 * plane_bytes;
        if (need >= kArenaFrom && !arena.in_use) {
            if (need > arena.capacity && !grow_arena(need)) return false;
            arena.in_use = true;
            red = reinterpret_cast<int32_t*>(arena.base);
            green = reinterpret_cast<int32_t*>(arena.base + plane_bytes);
            blue = reinterpret_cast<int32_t*>(arena.base + 2 * plane_bytes);
            return true;
        }
    }
#endif
    return allocate_from_heap(samples, red, green, blue);
}

void release_planes(int32_t*& red, int32_t*& green, int32_t*& blue) {
#if defined(TARNVIL_LINUX)
    if (in_arena(red)) {
        arena.in_use = false;
        if (arena.capacity > kKeepUpTo) drop_arena();
        red = green = blue = nullptr;
        return;
    }
#endif
    delete[] red;
    delete[] green;
    delete[] blue;
    red = green = blue = nullptr;
}

}  // namespace platform
