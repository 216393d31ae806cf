// What the platform layer promises on every system: a header that demands
// more memory than the process can have is refused before anything is
// committed, a failed write leaves nothing half-written, file names in
// any script and of any length reach the file system, and the companion
// tools follow the system's conventions for arguments and consoles.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"

#ifdef __linux__
#include <unistd.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

using namespace testing_support;

namespace {

// What tarnvil prints for a 20-byte file whose header declares planes it
// cannot have, followed by a small picture that must still be converted.
std::string expected_refusal(const char* header_size, long plane_bytes) {
    char text[512];
    snprintf(text, sizeof text,
             "Attempting to open huge.ppm\nThis PPM file has no comment.\n\nFile is %s\n"
             "Out of memory (%ld bytes required).\n50%% completed.\n"
             "Attempting to open small.ppm\nThis PPM file has no comment.\n\nFile is 1 x 1\nNow analysing file...\n"
             "Opening output file \"small.ppm.bbc\"...\nMODE 4 has 40 bytes per row, 2 steady colours\n"
             "and 8 pixels per byte.\nWriting Droxa INF file...\nDone!!!\n100%% completed.\n",
             header_size, plane_bytes);
    return text;
}

void expect_refused_before_committing(const RunResult& run, const TempDir& dir, const std::string& expected) {
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.exit_status, 0);
    // Nothing of the planes was ever committed: the refusal comes before
    // the allocation, not from it.
    if (run.peak_kib >= 0) {
        EXPECT_LT(run.peak_kib, 64 * 1024);
    }
    EXPECT_EQ(file_size(dir / "small.ppm.bbc"), 10240);
}

TEST(MemoryLimit, PlanesBeyondTheAddressSpaceLimit) {
    if (const std::string why = unavailable(Need::kMemoryLimit); !why.empty()) GTEST_SKIP() << why;
    TempDir dir;
    write_file(dir / "huge.ppm", "P6\n16384 8192\n255\n");  // three planes of 512 MiB
    write_file(dir / "small.ppm", make_ppm(1, 1, "abc"));
    const RunResult run = run_tarnvil({"huge.ppm", "-4small.ppm"}, dir.path(), {0, uint64_t{1280} << 20, ""});
    expect_refused_before_committing(run, dir, expected_refusal("16384 x 8192", 536870912));
}

#ifdef __linux__
// A memory cgroup of its own under this process's, limited to `bytes`; ""
// when this system does not let the tests make one.
std::string limited_cgroup(uint64_t bytes) {
    std::ifstream membership("/proc/self/cgroup");
    for (std::string line; std::getline(membership, line);) {
        const size_t first = line.find(':'), second = line.find(':', first + 1);
        if (second == std::string::npos) continue;
        std::string controllers = ",";
        controllers.append(line, first + 1, second - first - 1).append(",");
        std::string root, limit_file;
        if (controllers.find(",memory,") != std::string::npos) {
            root = "/sys/fs/cgroup/memory";
            limit_file = "memory.limit_in_bytes";
        } else if (controllers == ",," && std::filesystem::exists("/sys/fs/cgroup/cgroup.controllers")) {
            root = "/sys/fs/cgroup";
            limit_file = "memory.max";
        } else {
            continue;
        }
        const std::string group = root + line.substr(second + 1) + "/tarnvil-test-" + std::to_string(::getpid());
        std::error_code error;
        if (!std::filesystem::create_directory(group, error)) return "";
        std::ofstream limit(group + "/" + limit_file);
        if (limit << bytes << std::flush) return group;
        std::filesystem::remove(group, error);
        return "";
    }
    return "";
}
#endif

TEST(MemoryLimit, PlanesBeyondTheContainerLimit) {
#ifdef __linux__
    if (std::string(TARNVIL_TEST_PLATFORM) != "native") GTEST_SKIP() << "only the Linux platform layer reads cgroup limits";
    const std::string group = limited_cgroup(uint64_t{256} << 20);
    if (group.empty()) GTEST_SKIP() << "this system does not let the tests make a memory cgroup (needs root)";
    TempDir dir;
    write_file(dir / "huge.ppm", "P6\n8192 4096\n255\n");  // three planes of 128 MiB
    write_file(dir / "small.ppm", make_ppm(1, 1, "abc"));
    const RunResult run = run_tarnvil({"huge.ppm", "-4small.ppm"}, dir.path(), {0, 0, group});
    std::error_code error;
    std::filesystem::remove(group, error);
    expect_refused_before_committing(run, dir, expected_refusal("8192 x 4096", 134217728));
#else
    GTEST_SKIP() << "control groups are Linux's";
#endif
}

// Every program's outputs under a file-size limit, or through a link to
// /dev/full: nothing half-written is left, wherever the name leads, and
// no link and no device is ever removed.
TEST(FailedWrites, LeaveNothingHalfWrittenAndKeepTheLinks) {
    struct Program {
        std::string name;
        std::vector<std::string> outputs;  // each named as the program is told
        std::vector<std::string> arguments;
        int status;
        long limit;  // below every output; room for the messages on standard error
    };
    const std::vector<Program> programs = {
        {"tarnvil", {"pic.ppm.bbc", "pic.ppm.bbc.inf"}, {"pic.ppm"}, 0, 16},
        {"tarnvil-view", {"out.png"}, {"-o", "out.png", "d.bbc"}, 1, 1024},
        {"tarnvil-disc", {"out.ssd"}, {"-o", "out.ssd", "d.bbc"}, 1, 1024},
        {"tarnvil-fit", {"out.ppm"}, {"-o", "out.ppm", "pic.ppm"}, 1, 1024},
    };
    // Where an output's name leads: through links named after it with
    // these suffixes to a regular file that held "x", or to /dev/full.
    struct Naming {
        std::string label;
        std::vector<std::string> links;
        bool dev_full;
        std::vector<Need> needs;
    };
    const std::vector<Naming> namings = {
        {"a file", {}, false, {Need::kFileSizeLimit}},
        {"a link to a file", {".real"}, false, {Need::kSymbolicLinks, Need::kFileSizeLimit}},
        {"a link to a link to a file", {".via", ".real"}, false, {Need::kSymbolicLinks, Need::kFileSizeLimit}},
        {"a link to /dev/full", {}, true, {Need::kSymbolicLinks, Need::kDevFull}},
    };
    for (const Naming& naming : namings) {
        std::string why;
        for (Need need : naming.needs) why += unavailable(need);
        if (!why.empty()) {
            printf("skipped \"%s\": %s\n", naming.label.c_str(), why.c_str());
            continue;
        }
        for (const Program& p : programs) {
            SCOPED_TRACE(p.name + " writing to " + naming.label);
            TempDir dir;
            write_file(dir / "pic.ppm", make_ppm(1, 1, "abc"));
            std::string noise(20480, '\0');  // a picture that does not compress below the limit
            for (size_t i = 0, x = 1; i < noise.size(); ++i) noise[i] = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
            write_file(dir / "d.bbc", noise);
            for (const std::string& output : p.outputs) {
                std::string name = output;
                for (const std::string& suffix : naming.links) {
                    make_link(output + suffix, dir / name);
                    name = output + suffix;
                }
                if (naming.dev_full) link_to_dev_full(dir / output);
                else if (!naming.links.empty()) write_file(dir / name, "x");
            }
            const RunResult run = run_program(program(p.name), p.arguments, dir.path(), {naming.dev_full ? 0 : p.limit});
            EXPECT_EQ(run.exit_status, p.status);
            if (p.name == "tarnvil")
                EXPECT_NE(run.out.find("\nError writing output file \"pic.ppm.bbc\".\nWriting Droxa INF file...\n"
                                       "Unable to create INF file \"pic.ppm.bbc.inf\".\n"),
                          std::string::npos)
                    << run.out;
            else
                EXPECT_EQ(run.err, p.name + ": " + p.outputs[0] + ": " +
                                       (naming.dev_full ? "No space left on device" : "File too large") + "\n");
            for (const std::string& output : p.outputs) {
                std::string name = output;
                for (const std::string& suffix : naming.links) {
                    EXPECT_EQ(link_target(dir / name), output + suffix);
                    name = output + suffix;
                }
                if (naming.dev_full) EXPECT_EQ(link_target(dir / output), "/dev/full");
                else EXPECT_FALSE(exists(dir / name)) << name;
            }
            EXPECT_TRUE(exists("/dev/full") || !naming.dev_full);
        }
    }
}

TEST(FileNames, NamesInAnyScriptReachTheFileSystem) {
    TempDir dir;
    const std::string name = "caf\xc3\xa9 \xe2\x98\x95 \xd0\xb4.ppm";  // "café ☕ д.ppm"
    write_file(dir / name, make_ppm(1, 1, "\xff\xff\xff"));
    const RunResult run = run_tarnvil({"-h05" + name}, dir.path());
    EXPECT_EQ(run.out, "Attempting to open " + name + "\nThis PPM file has no comment.\n\nFile is 1 x 1\n"
                       "Now analysing file...\nOpening output file \"" + name + ".bbc\"...\n"
                       "MODE 5 has 40 bytes per row, 4 steady colours\nand 4 pixels per byte.\n"
                       "Writing Droxa INF file...\nDone!!!\n100% completed.\n");
    EXPECT_EQ(read_file(dir / (name + ".bbc.inf")), "$.SCREEN 005800 000000\n");
    const auto dump = read_file(dir / (name + ".bbc"));
    ASSERT_TRUE(dump);
    EXPECT_EQ(static_cast<unsigned char>((*dump)[0]), 0x88);  // the one pixel white

    const RunResult view = run_program(program("tarnvil-view"), {"-m", "5", name + ".bbc"}, dir.path());
    EXPECT_EQ(view.exit_status, 0) << view.err;
    EXPECT_GT(file_size(dir / (name + ".bbc.png")), 0);
    const RunResult disc = run_program(program("tarnvil-disc"), {"-m", "5", "-o", name + ".ssd", name + ".bbc"}, dir.path());
    EXPECT_EQ(disc.exit_status, 0) << disc.err;
    EXPECT_EQ(file_size(dir / (name + ".ssd")), 204800);
}

TEST(FileNames, PathsPastTheOldWindowsLimit) {
    // 311 characters below the scratch directory, which Windows reaches
    // only through the programs' manifest.
    TempDir dir;
    std::string deep;
    for (char level = 'a'; level < 'g'; ++level) {
        deep.append(deep.empty() ? "" : "/").append(50, level);
        make_directory(dir / deep);
    }
    write_file(dir / (deep + "/pic.ppm"), make_ppm(1, 1, "\xff\xff\xff"));
    EXPECT_EQ(run_tarnvil({"-5" + deep + "/pic.ppm"}, dir.path()).exit_status, 0);
    EXPECT_EQ(read_file(dir / (deep + "/pic.ppm.bbc.inf")), "$.SCREEN 005800 000000\n");
    EXPECT_EQ(file_size(dir / (deep + "/pic.ppm.bbc")), 10240);
    const RunResult view = run_program(program("tarnvil-view"), {"-m", "5", deep + "/pic.ppm.bbc"}, dir.path());
    EXPECT_EQ(view.out, "Wrote " + deep + "/pic.ppm.bbc.png\n") << view.err;
    EXPECT_GT(file_size(dir / (deep + "/pic.ppm.bbc.png")), 0);
    const RunResult disc =
        run_program(program("tarnvil-disc"), {"-m", "5", "-o", deep + "/p.ssd", deep + "/pic.ppm.bbc"}, dir.path());
    EXPECT_EQ(disc.out, "Wrote " + deep + "/p.ssd\n" + deep + "/p.ssd holds 1 picture in 7 of its 800 sectors; 249 more of "
                        "their size would fit\n") << disc.err;
    EXPECT_EQ(file_size(dir / (deep + "/p.ssd")), 204800);
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

TEST(Arguments, CompanionToolsFollowTheSystemAndTarnvilTakesThemAsGiven) {
    // Windows has no shell that expands wildcards and asks for help with
    // "/?"; elsewhere both are names like any other.
    TempDir dir;
    const std::string screen(20480, '\0');
    for (const char* name : {"a.bbc", "B.bbc", "c.bbc", "x y.bbc", "a.bbcd"}) write_file(dir / name, screen);
    make_directory(dir / "sub");
    write_file(dir / "sub/d.bbc", screen);
    write_file(dir / "q.b4", std::string(10240, '\0'));
    write_file(dir / "q.pnm", make_ppm(1, 1, "abc"));
    const std::string disc_help = run_program(program("tarnvil-disc"), {"--help"}, dir.path()).out;
    struct Outcome {
        int status;
        std::string out, err;
    };
    const struct {
        const char* program;
        std::vector<std::string> arguments;
        Outcome windows, elsewhere;
    } cases[] = {
        {"tarnvil-view", {"*.bbc"},
         {0, "Wrote a.bbc.png\nWrote B.bbc.png\nWrote c.bbc.png\nWrote x y.bbc.png\n", ""},
         {1, "", "tarnvil-view: *.bbc: No such file or directory\n"}},
        {"tarnvil-view", {"sub\\?.bbc", "sub/*.bbc"},
         {0, "Wrote sub\\d.bbc.png\nWrote sub/d.bbc.png\n", ""},
         {1, "",
          "tarnvil-view: sub\\?.bbc: No such file or directory\ntarnvil-view: sub/*.bbc: No such file or directory\n"}},
        {"tarnvil-view", {"*.none", "a.bbc"},
         {1, "Wrote a.bbc.png\n", "tarnvil-view: *.none: No such file or directory\n"},
         {1, "Wrote a.bbc.png\n", "tarnvil-view: *.none: No such file or directory\n"}},
        {"tarnvil-disc", {"/?"}, {0, disc_help, ""}, {1, "", "tarnvil-disc: /?: No such file or directory\n"}},
        // Options and their values stay with the patterns; a value is taken
        // as written, never as the files it matches.
        {"tarnvil-view", {"-m", "4", "-o", "x.png", "*.b4"},
         {0, "Wrote x.png\n", ""},
         {1, "", "tarnvil-view: *.b4: No such file or directory\n"}},
        {"tarnvil-fit", {"-a", "-m", "2", "*.pnm"},
         {0, "q.ppm: 320 x 256; convert with tarnvil -a2q.ppm\n  tarnvil-view -m 2 q.ppm.bbc\n  tarnvil-disc -m 2 -o q.ssd q.ppm.bbc\n", ""},
         {1, "", "tarnvil-fit: *.pnm: No such file or directory\n"}},
        {"tarnvil-disc", {"-o", "x.ssd", "--title", "T", "-m4", "*.b4"},
         {0, "Wrote x.ssd\nx.ssd holds 1 picture in 7 of its 800 sectors; 249 more of their size would fit\n", ""},
         {1, "", "tarnvil-disc: *.b4: No such file or directory\n"}},
        {"tarnvil-view", {"-m", "4", "-o", "*.b4", "q.b4"},
         {1, "", "tarnvil-view: *.b4: Invalid argument\n"},
         {0, "Wrote *.b4\n", ""}},
        {"tarnvil", {"/?", "*.bbc"},
         {0, "Attempting to open /?\nUnable to open this file.\n50% completed.\n"
             "Attempting to open *.bbc\nUnable to open this file.\n100% completed.\n", ""},
         {0, "Attempting to open /?\nUnable to open this file.\n50% completed.\n"
             "Attempting to open *.bbc\nUnable to open this file.\n100% completed.\n", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        const RunResult run = run_program(program(c.program), c.arguments, dir.path());
        const Outcome& expected = kWindows ? c.windows : c.elsewhere;
        EXPECT_EQ(run.exit_status, expected.status);
        EXPECT_EQ(run.out, expected.out);
        EXPECT_EQ(run.err, expected.err);
    }
}

#ifdef _WIN32
// Console code pages are Windows' own: the test exists there only.
TEST(Console, CodePageComesBackAfterEveryRun) {
    // The tests' own output goes to files, and wine has no console without
    // a terminal: the checks run in a second run of this test, in a pseudo
    // console, where the programs write to that console.
    if (!getenv("TARNVIL_TEST_IN_CONSOLE")) {
        SetEnvironmentVariableW(L"TARNVIL_TEST_IN_CONSOLE", L"1");
        const RunResult inside = run_program(program("tarnvil_tests"),
                                             {"--gtest_filter=Console.CodePageComesBackAfterEveryRun"}, ".",
                                             {0, 0, "", Console::kOwn});
        SetEnvironmentVariableW(L"TARNVIL_TEST_IN_CONSOLE", nullptr);
        EXPECT_EQ(inside.exit_status, 0) << inside.out << inside.err;
        return;
    }
    TempDir dir;
    write_file(dir / "p.ppm", make_ppm(1, 1, "abc"));
    ASSERT_TRUE(SetConsoleOutputCP(850));
    const struct {
        const char* program;
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {"tarnvil", {}, 0},  // the usage, ended by exit()
        {"tarnvil", {"-4p.ppm"}, 0},
        {"tarnvil-view", {"-m", "4", "p.ppm.bbc"}, 0},
        {"tarnvil-view", {"--bogus"}, 2},
        {"tarnvil-disc", {"absent.bbc"}, 1},
        {"tarnvil-disc", {"/?"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + (c.arguments.empty() ? "" : " " + c.arguments[0]));
        EXPECT_EQ(run_program(program(c.program), c.arguments, dir.path(), {0, 0, "", Console::kShared}).exit_status,
                  c.status);
        EXPECT_EQ(GetConsoleOutputCP(), 850u);
    }
    EXPECT_GT(file_size(dir / "p.ppm.bbc.png"), 0);
}
#endif

}  // namespace
