// tarnvil-disc and tarnvil-view in memory, as the page runs them: a
// command line and the files it names, checked by what a user would see.
//
// Input layout: one byte (bit 0: tarnvil-view rather than tarnvil-disc;
// bit 1: run as from a shell), then the arguments one per line, then for
// the 0th, 1st, ... dump named a record, each record after a 0x1E byte:
// its dump's kind, its sidecar's kind, then text that the dump repeats
// and the sidecar holds (see serve_dump and serve_sidecar).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "cli/disc/disc_command.h"
#include "platform/platform.h"
#include "cli/tool.h"
#include "cli/view/view_command.h"
#include "lib/disc/compress.h"
#include "../tests/boot_data.h"

namespace {

constexpr char kRecordSeparator = '\x1e';

struct File {
    int64_t result;  // what the read returns: the size, or a failure
    int error;       // errno with a result of -1
    std::string bytes;
};

// Kind 0 and 1: the full screen of MODEs 0-2 and 4-5; 2: the text itself,
// mostly of a wrong size; 3: missing.
File serve_dump(uint8_t kind, const std::string& text) {
    if (kind % 4 == 3) return {-1, ENOENT, {}};
    if (kind % 4 == 2) return {static_cast<int64_t>(text.size()), 0, text};
    std::string bytes(kind % 4 == 0 ? 20480 : 10240, '\0');
    for (size_t i = 0; i < bytes.size() && !text.empty(); ++i) bytes[i] = text[i % text.size()];
    return {static_cast<int64_t>(bytes.size()), 0, bytes};
}

// Kind 0: none; 1: the text; 2: no regular file; 3: a link that leads
// nowhere; 4: unreadable; 5: the text repeated to 4095..4097 bytes, around
// the longest sidecar read.
File serve_sidecar(uint8_t kind, const std::string& text) {
    switch (kind % 6) {
    case 1:
        return {static_cast<int64_t>(text.size()), 0, text};
    case 2:
        return {platform::kNotRegularFile, 0, {}};
    case 3:
        return {platform::kLinkToNothing, 0, {}};
    case 4:
        return {-1, EACCES, {}};
    case 5: {
        if (text.empty()) break;
        std::string bytes(4095 + static_cast<uint8_t>(text[0]) % 3, ' ');
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = text[i % text.size()];
        return {static_cast<int64_t>(bytes.size()), 0, bytes};
    }
    }
    return {-1, ENOENT, {}};
}

struct Served {
    std::vector<File> dumps, sidecars;
    std::vector<int32_t> dumps_read;  // indexes, in the order read
};

int64_t read_served(void* context, int32_t index, InputKind kind, const char*, uint8_t* buffer, size_t capacity) {
    Served& served = *static_cast<Served*>(context);
    const std::vector<File>& files = kind == InputKind::kDump ? served.dumps : served.sidecars;
    if (index < 0) abort();
    if (kind == InputKind::kDump) served.dumps_read.push_back(index);
    const File missing{-1, ENOENT, {}};
    const File& file = static_cast<size_t>(index) < files.size() ? files[static_cast<size_t>(index)] : missing;
    if (file.result < 0) {
        errno = file.error;
        return file.result;
    }
    const size_t taken = file.bytes.size() < capacity ? file.bytes.size() : capacity;
    memcpy(buffer, file.bytes.data(), taken);
    return static_cast<int64_t>(taken);
}

// Only dumps are served: a dump that starts like a picture cannot be had
// whole, so it is read as the dump it is, and the disc's invariants below
// hold. (fuzz/fit.cpp fuzzes the pictures.)
bool load_nothing(void*, int32_t, const char*, LoadedFile&) {
    errno = ENOENT;
    return false;
}

std::vector<std::string> lines_of(const MessageText& text) {
    std::vector<std::string> lines;
    const std::string all = text.text ? std::string(text.text, text.size) : std::string();
    if (!all.empty() && all.back() != '\n') abort();  // every message is whole lines
    for (size_t start = 0; start < all.size();) {
        const size_t end = all.find('\n', start);
        lines.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool starts_with(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// Every line names the program, or is the shell's pointer to --help.
void check_lines(const std::vector<std::string>& lines, const std::string& program, bool from_shell) {
    for (const std::string& line : lines)
        if (!starts_with(line, program + ": ") &&
            !(from_shell && line == "Try '" + program + " --help' for more information."))
            abort();
}

// The first line's LOAD and EXEC as the catalogue keeps them: 18 bits.
void inf_addresses(const std::string& inf, uint32_t& load, uint32_t& exec) {
    std::vector<std::string> fields;
    const std::string line = inf.substr(0, inf.find_first_of("\r\n"));
    for (size_t at = 0; (at = line.find_first_not_of(" \t", at)) != std::string::npos;) {
        const size_t end = line.find_first_of(" \t", at);
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    if (fields.size() < 3) abort();
    const auto held = [](const std::string& hex) {
        const uint32_t value = static_cast<uint32_t>(strtoul(hex.c_str(), nullptr, 16));
        return (value & 0xFFFF) | ((value >> 16) & 3) << 16;
    };
    load = held(fields[1]);
    exec = held(fields[2]);
}

// The image tarnvil-disc handed over, with the name it was bound for.
struct Made {
    std::vector<uint8_t> bytes;
    const char* output = nullptr;
    bool taken = false;
    int images = 0;  // more than one only with --split, each of a disc's size
};

bool take_disc(void* context, const ToolRun&, const char* path, const DiscImage& image) {
    Made& made = *static_cast<Made*>(context);
    if (made.taken) {
        if (image.size != made.bytes.size()) abort();
        ++made.images;
        return true;
    }
    made = {std::vector<uint8_t>(image.bytes, image.bytes + image.size), path, true, 1};
    return true;
}

struct Entry {
    std::string name;
    uint32_t load, exec, length, start;
};

// A disc of packed screens: after !BOOT and the unpacker, a file for each
// dump in order, named by its place, or all in $.!PICS; each screen whole
// sectors at the track and sector !BOOT's DATA gives, with its mode,
// palette and sectors, unpacking to the dump. Only warnings are said.
void check_packed_disc(const Made& image, const std::vector<Entry>& entries, const std::string& boot,
                       const Served& served, const std::vector<std::string>& errors) {
    const std::vector<std::string> items = boot_data_items(boot);
    const bool one_file = entries[0].name == "!PICS";
    constexpr size_t kFields = 5;
    const size_t pictures = items.size() / kFields;
    if (items.size() % kFields != 0 || served.dumps_read.size() != pictures ||
        (!one_file && entries.size() != pictures + 2))
        abort();
    for (size_t k = 0; k < pictures; ++k) {
        const std::string* item = &items[k * kFields];
        const uint32_t length = static_cast<uint32_t>(strtoul(item[2].c_str(), nullptr, 10)) * 256;
        const size_t at = (strtoul(item[3].c_str(), nullptr, 10) * 10 + strtoul(item[4].c_str(), nullptr, 10)) * 256;
        const size_t size = item[0] == "4" || item[0] == "5" ? 10240 : 20480;
        if (served.dumps_read[k] != static_cast<int32_t>(k) || k >= served.dumps.size()) abort();
        const File& dump = served.dumps[k];
        if (!one_file) {
            const Entry& e = entries[pictures - 1 - k];
            char name[24];
            snprintf(name, sizeof name, "P%zu", k + 1);
            if (e.name != name || e.length != length || e.load != 0x8000 - length || e.start * 256 != at) abort();
        }
        std::vector<uint8_t> screen(size);
        if (dump.bytes.size() != size || at + length > image.bytes.size() ||
            !unpack_screen(image.bytes.data() + at, static_cast<int32_t>(length), screen.data(),
                           static_cast<int32_t>(size)) ||
            memcmp(screen.data(), dump.bytes.data(), size) != 0)
            abort();
    }
    for (const std::string& line : errors)
        if (line.find(": warning: ") == std::string::npos) abort();
}

void check_disc(const Made& image, const Served& served, const std::vector<std::string>& errors,
                char** argv, int argc) {
    const uint8_t* disc = image.bytes.data();
    // Both sides, their tracks interleaved, or an MMB of discs: sized so,
    // and no more is checked.
    const size_t length = strlen(image.output);
    std::string suffix(image.output + (length >= 4 ? length - 4 : length));
    for (char& c : suffix) c = static_cast<char>(c | 0x20);
    if (suffix == ".dsd") {
        if (image.bytes.size() != 204800 && image.bytes.size() != 409600) abort();
        return;
    }
    // The index, then a slot for each disc.
    if (suffix == ".mmb") {
        if (image.bytes.size() < 8192 + 204800 || (image.bytes.size() - 8192) % 204800 != 0) abort();
        return;
    }
    if (image.bytes.size() != 102400 && image.bytes.size() != 204800) abort();
    bool named = strcmp(image.output, "pictures.ssd") == 0;
    for (int i = 1; i < argc; ++i) named = named || (image.output >= argv[i] && image.output <= argv[i] + strlen(argv[i]));
    if (!named) abort();

    // The catalogue, read back: the sector count, then each file inside
    // the image, after the catalogue and apart from the others.
    const uint32_t sectors = static_cast<uint32_t>((disc[256 + 6] & 3) << 8 | disc[256 + 7]);
    if (sectors * 256 != image.bytes.size() || disc[256 + 5] % 8 != 0) abort();
    const int files = disc[256 + 5] / 8;
    if (files < 2 || files > 31 || (disc[256 + 6] >> 4 & 3) != 3) abort();
    std::vector<Entry> entries;
    for (int i = 0; i < files; ++i) {
        const uint8_t* n = disc + 8 + 8 * i;
        const uint8_t* d = disc + 256 + 8 + 8 * i;
        const uint8_t high = d[6];
        Entry e{std::string(reinterpret_cast<const char*>(n), 7),
                static_cast<uint32_t>(d[0] | d[1] << 8 | (high >> 2 & 3) << 16),
                static_cast<uint32_t>(d[2] | d[3] << 8 | (high >> 6 & 3) << 16),
                static_cast<uint32_t>(d[4] | d[5] << 8 | (high >> 4 & 3) << 16),
                static_cast<uint32_t>(d[7] | (high & 3) << 8)};
        e.name.erase(e.name.find_last_not_of(' ') + 1);
        if (n[7] != '$' || e.start < 2 || (e.start + (e.length + 255) / 256) * 256 > image.bytes.size()) abort();
        for (const Entry& other : entries)
            if (e.start < other.start + (other.length + 255) / 256 && other.start < e.start + (e.length + 255) / 256)
                abort();
        entries.push_back(e);
    }
    // Listed from the last start down: !BOOT last, P1 before it.
    const Entry& boot = entries.back();
    if (boot.name != "!BOOT") abort();
    const std::string text(reinterpret_cast<const char*>(disc) + boot.start * 256, boot.length);
    if (files >= 3 && entries[static_cast<size_t>(files) - 2].name == "!UNPACK") {
        check_packed_disc(image, entries, text, served, errors);
        return;
    }
    const size_t modes_at = text.find("M$=\"") + 4;
    const std::string modes = text.substr(modes_at, text.find('"', modes_at) - modes_at);
    const size_t pictures = static_cast<size_t>(files - 1);
    if (modes.size() != pictures || served.dumps_read.size() != pictures) abort();

    size_t off_screen = 0;
    for (size_t k = 0; k < pictures; ++k) {
        const Entry& e = entries[pictures - 1 - k];
        const int mode = modes[k] - '0';
        const uint32_t start = mode >= 4 ? 0x5800 : 0x3000;
        char name[24];
        snprintf(name, sizeof name, "P%zu", k + 1);
        if (e.name != name || e.length != 0x8000 - start) abort();
        if (served.dumps_read[k] != static_cast<int32_t>(k) || k >= served.dumps.size()) abort();
        const File& dump = served.dumps[k];
        if (dump.bytes.size() != e.length || memcmp(dump.bytes.data(), disc + e.start * 256, e.length) != 0) abort();
        uint32_t load = start, exec = 0;
        if (k < served.sidecars.size() && served.sidecars[k].result >= 0)
            inf_addresses(served.sidecars[k].bytes, load, exec);
        if (e.load != load || e.exec != exec) abort();
        off_screen += (load & 0xFFFF) != start || (load >> 16 != 0 && load >> 16 != 3);
    }
    // A disc is written with nothing but a warning for each load address
    // beside the screen.
    if (errors.size() != off_screen) abort();
    for (const std::string& line : errors)
        if (line.find(": warning: ") == std::string::npos) abort();
}

struct Pictures {
    const Served* served;
    char** argv;
    int argc;
    size_t taken = 0;
    size_t reads_pictured = 0;  // how many dumps had been read at the last picture
};

bool take_picture(void* context, const ToolRun&, const char* path, const IndexedImage& picture) {
    Pictures& pictures = *static_cast<Pictures*>(context);
    // Only ever one picture of a dump just read, of a dump's size.
    const Served& served = *pictures.served;
    if (served.dumps_read.size() == pictures.reads_pictured) abort();
    pictures.reads_pictured = served.dumps_read.size();
    const int32_t index = served.dumps_read.back();
    if (static_cast<size_t>(index) >= served.dumps.size()) abort();
    const size_t size = served.dumps[static_cast<size_t>(index)].bytes.size();
    if (size != 10240 && size != 20480) abort();
    ++pictures.taken;
    // Named by -o or after the dump: its name less ".bbc", then "-N" when
    // the run chose that name already, then ".bbc.png".
    bool named = false;
    const std::string name = path;
    const std::string suffix = ".bbc.png";
    const bool previewed =
        name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    for (int i = 1; i < pictures.argc; ++i) {
        std::string word = pictures.argv[i];
        named = named || word == name ||
                (word.size() > name.size() && word.compare(word.size() - name.size(), name.size(), name) == 0);
        if (word.size() > 4 && word.compare(word.size() - 4, 4, ".bbc") == 0) word.resize(word.size() - 4);
        named = named || (previewed && name.compare(0, word.size(), word) == 0 &&
                          (name.size() == word.size() + suffix.size() || name[word.size()] == '-'));
    }
    if (!named) abort();
    const bool scaled = picture.width == 640 && picture.height == 512;
    const bool native = picture.height == 256 && (picture.width == 640 || picture.width == 320 || picture.width == 160);
    if (!scaled && !native) abort();
    // The mode's 2, 4 or 8 logical colours, each a full-intensity colour,
    // and every pixel one of them: checked eight pixels at a time (the
    // width is a multiple of 8).
    if (picture.colours != 2 && picture.colours != 4 && picture.colours != 8) abort();
    for (int32_t c = 0; c < 8; ++c)
        for (const uint8_t level : picture.rgb[c])
            if (level != 0 && level != 255) abort();
    const uint64_t beyond = 0x0101010101010101u * static_cast<uint8_t>(~(picture.colours - 1));
    const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    for (size_t i = 0; i < pixels; i += 8) {
        uint64_t word;
        memcpy(&word, &picture.indices[i], 8);
        if (word & beyond) abort();
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return -1;
    const bool view = data[0] & 1;
    const bool from_shell = data[0] & 2;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t end = input.find(kRecordSeparator, start);
        parts.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }

    // Each argument exactly sized, so a read past its end is caught.
    const std::string program = view ? "tarnvil-view" : "tarnvil-disc";
    std::vector<std::string> words = {program};
    for (size_t start = 0; start <= parts[0].size() && !parts[0].empty();) {
        const size_t end = std::min(parts[0].find('\n', start), parts[0].size());
        words.push_back(parts[0].substr(start, end - start).c_str());
        start = end + 1;
    }
    std::vector<std::unique_ptr<char[]>> copies;
    std::vector<char*> argv;
    for (const std::string& word : words) {
        copies.emplace_back(new char[word.size() + 1]);
        memcpy(copies.back().get(), word.c_str(), word.size() + 1);
        argv.push_back(copies.back().get());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    Served served;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& record = parts[i];
        const uint8_t dump_kind = record.size() > 0 ? static_cast<uint8_t>(record[0]) : 3;
        const uint8_t sidecar_kind = record.size() > 1 ? static_cast<uint8_t>(record[1]) : 0;
        const std::string text = record.size() > 2 ? record.substr(2) : std::string();
        served.dumps.push_back(serve_dump(dump_kind, text));
        served.sidecars.push_back(serve_sidecar(sidecar_kind, text));
    }

    MessageText out, errors;
    const ToolRun run{collect_into(out), collect_into(errors), from_shell, &served, read_served, load_nothing};
    int status;
    Pictures pictures{&served, argv.data(), argc};
    Made image;
    if (view) {
        status = view_dumps(argc, argv.data(), run, {&pictures, take_picture});
    } else {
        status = make_disc(argc, argv.data(), run, {&image, take_disc});
    }
    // A disc written is summed up in a line, unless it went to standard
    // output; anything else said is --help or --version.
    const std::string said = out.text ? std::string(out.text, out.size) : std::string();
    size_t said_lines = 0;
    for (const char c : said) said_lines += c == '\n';
    const bool summed_up =
        image.taken && (strcmp(image.output, "-") == 0
                            ? said.empty()
                            : starts_with(said, std::string(image.output) + " holds ") &&
                                  said_lines == static_cast<size_t>(image.images) && said.back() == '\n');
    if (!view && (status == 0 && (said.empty() || summed_up)) != image.taken) abort();  // an image exactly when nothing failed
    if (image.taken && !summed_up) abort();
    if (status < 0 || status > 2) abort();
    const std::vector<std::string> error_lines = lines_of(errors);
    check_lines(error_lines, program, from_shell);
    const bool help = out.size > 0 && !image.taken;  // --help or --version, which end the run
    if (help && (status != 0 || !error_lines.empty() || pictures.taken > 0 || image.taken)) abort();
    if (status != 0 && error_lines.empty()) abort();
    if (status == 2 && (pictures.taken > 0 || !served.dumps_read.empty())) abort();
    if (view && status == 0 && !help && (!error_lines.empty() || pictures.taken != served.dumps_read.size()))
        abort();
    // Split discs each hold some of the dumps; one disc holds them all.
    if (image.taken && image.images == 1) check_disc(image, served, error_lines, argv.data(), argc);
    release_text(out);
    release_text(errors);
    return 0;
}
