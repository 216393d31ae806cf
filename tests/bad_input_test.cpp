// Every kind of broken input, run through the real program: the exact
// console output, the files left behind, exit status 0, and that the next
// argument on the command line is still converted. The cases share one
// run, each in a folder of its own; a file-size limit needs a run of its
// own.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support.h"

using namespace testing_support;

namespace {

const std::string kNoComment = "This PPM file has no comment.\n\n";

std::string opening(const std::string& name) { return "Attempting to open " + name + "\n"; }

std::string written(const std::string& name, int mode) {
    return "Opening output file \"" + name + ".bbc\"...\n" + mode_line(mode) + "Writing Droxa INF file...\nDone!!!\n";
}

// The argument after each bad one: a MODE 4 picture, whose 10240-byte dump
// also fits under the file-size limit case.
const std::string kGoodFile = "good.ppm";
const std::string kGoodArgument = "-4good.ppm";
const std::string kGoodOutput = opening(kGoodFile) + kNoComment + "File is 2 x 2\nNow analysing file...\n" + written(kGoodFile, 4);

struct BadInput {
    std::string label;
    std::string argument;
    std::function<void(const std::string& folder)> setup;
    std::string output;  // everything printed for the bad argument, before its progress line
    std::vector<std::pair<std::string, long>> files;  // size -1: must not exist
    long file_size_limit = 0;
    std::vector<Need> needs = {};  // what the system must offer for this case
};

// Runs the cases for this file-size limit in one run of tarnvil, each in
// a folder of its own, its names in its messages moved into that folder,
// and each followed by the good argument.
void run_cases(const std::vector<BadInput>& cases, long file_size_limit) {
    TempDir dir;
    write_file(dir / kGoodFile, make_ppm(2, 2, "abcdefghijkl"));
    std::vector<std::pair<const BadInput*, std::string>> runnable;  // with its folder
    for (const BadInput& c : cases) {
        if (c.file_size_limit != file_size_limit) continue;
        std::string missing;
        for (Need need : c.needs) missing = missing.empty() ? unavailable(need) : missing;
        if (!missing.empty()) {
            printf("skipped \"%s\": %s\n", c.label.c_str(), missing.c_str());
        } else {
            const std::string folder = "case" + std::to_string(runnable.size()) + "/";
            make_directory(dir / folder);
            if (c.setup) c.setup(dir / folder);
            runnable.emplace_back(&c, folder);
        }
    }
    if (runnable.empty()) return;
    std::vector<std::string> arguments;
    std::string expected;
    const size_t count = 2 * runnable.size();
    auto progress = [&] { return std::to_string(100 * arguments.size() / count) + "% completed.\n"; };
    for (const auto& [c, folder] : runnable) {
        arguments.push_back(folder + c->argument);
        std::string output = c->output;
        for (size_t at = 0; (at = output.find(c->argument, at)) != std::string::npos; at += folder.size() + c->argument.size())
            output.insert(at, folder);
        expected += output + progress();
        arguments.push_back(kGoodArgument);
        expected += kGoodOutput + progress();
    }
    const RunResult run = run_tarnvil(arguments, dir.path(), {file_size_limit});
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.exit_status, 0);
    for (const auto& [c, folder] : runnable)
        for (const auto& [name, size] : c->files) EXPECT_EQ(file_size(dir / (folder + name)), size) << c->label << ": " << name;
    EXPECT_EQ(file_size(dir / "good.ppm.bbc"), 10240);
    EXPECT_EQ(read_file(dir / "good.ppm.bbc.inf"), "$.SCREEN 005800 000000\n");
}

std::function<void(const std::string&)> file(const std::string& name, const std::string& bytes) {
    return [=](const std::string& folder) { write_file(folder + name, bytes); };
}

std::function<void(const std::string&)> picture_and(const std::string& name, std::function<void(const std::string&)> extra) {
    return [=](const std::string& folder) {
        write_file(folder + "pic.ppm", make_ppm(1, 1, "abc"));
        extra(folder + name);
    };
}

const std::string kPicRead = opening("pic.ppm") + kNoComment + "File is 1 x 1\nNow analysing file...\n";
const std::string kModeTwoLine = mode_line(2);

TEST(BadInput, Table) {
    const std::string not_ppm = "Not a PPM6 (binary-encoded) file!\n";
    const std::vector<BadInput> cases = {
        {"missing file", "missing.ppm", nullptr, opening("missing.ppm") + "Unable to open this file.\n",
         {{"missing.ppm.bbc", -1}, {"missing.ppm.bbc.inf", -1}}},
        {"directory as input", "dir.ppm", [](const std::string& folder) { make_directory(folder + "dir.ppm"); },
         opening("dir.ppm") + not_ppm, {{"dir.ppm.bbc", -1}}},
        {"directory where the dump goes", "pic.ppm", picture_and("pic.ppm.bbc", make_directory),
         kPicRead + "Opening output file \"pic.ppm.bbc\"...\nUnable to create output file \"pic.ppm.bbc\".\n"
                    "Writing Droxa INF file...\nDone!!!\n",
         {{"pic.ppm.bbc.inf", 23}}},
        {"dump linked to /dev/full", "pic.ppm", picture_and("pic.ppm.bbc", link_to_dev_full),
         kPicRead + "Opening output file \"pic.ppm.bbc\"...\n" + kModeTwoLine +
             "Error writing output file \"pic.ppm.bbc\".\nWriting Droxa INF file...\nDone!!!\n",
         {{"pic.ppm.bbc", 0}, {"pic.ppm.bbc.inf", 23}}, 0, {Need::kDevFull, Need::kSymbolicLinks}},  // the link stays
        {"directory where the sidecar goes", "pic.ppm", picture_and("pic.ppm.bbc.inf", make_directory),
         kPicRead + "Opening output file \"pic.ppm.bbc\"...\n" + kModeTwoLine +
             "Writing Droxa INF file...\nUnable to create INF file \"pic.ppm.bbc.inf\".\nDone!!!\n",
         {{"pic.ppm.bbc", 20480}}},
        {"sidecar linked to /dev/full", "pic.ppm", picture_and("pic.ppm.bbc.inf", link_to_dev_full),
         kPicRead + "Opening output file \"pic.ppm.bbc\"...\n" + kModeTwoLine +
             "Writing Droxa INF file...\nUnable to create INF file \"pic.ppm.bbc.inf\".\nDone!!!\n",
         {{"pic.ppm.bbc", 20480}}, 0, {Need::kDevFull, Need::kSymbolicLinks}},
        {"file-size limit below the dump", "pic.ppm", file("pic.ppm", make_ppm(1, 1, "abc")),
         kPicRead + "Opening output file \"pic.ppm.bbc\"...\n" + kModeTwoLine +
             "Error writing output file \"pic.ppm.bbc\".\nWriting Droxa INF file...\nDone!!!\n",
         {{"pic.ppm.bbc", -1}, {"pic.ppm.bbc.inf", 23}}, 16384, {Need::kFileSizeLimit}},
    };
    run_cases(cases, 0);
    run_cases(cases, 16384);
}

}  // namespace
