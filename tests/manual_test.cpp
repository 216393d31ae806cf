// The manual pages against the tools' tables of options: each OPTIONS
// section lists the same options, in the same order, by the same names and
// values, and each entry starts with the words --help gives the option.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "cli/disc/disc_command.h"
#include "cli/fit/fit_command.h"
#include "cli/picture_options.h"
#include "cli/view/view_command.h"
#include "support.h"

using namespace testing_support;

namespace {

// roff as it reads: font changes dropped, "\-" a hyphen, white space
// folded.
std::string plain(const std::string& roff) {
    std::string text;
    for (size_t i = 0; i < roff.size(); ++i) {
        if (roff[i] == '\\' && i + 1 < roff.size()) {
            const char next = roff[i + 1];
            if (next == 'f') i += 2;                              // \fB, \fI, \fR, \fP
            else if (next == '-' || next == 'e') text += next == '-' ? '-' : '\\', ++i;
            else if (next == '&') ++i;
            else if (next == '(') text += '?', i += 3;            // \(mu and the like
            else text += roff[i];
        } else if (std::isspace(static_cast<unsigned char>(roff[i]))) {
            if (!text.empty() && text.back() != ' ') text += ' ';
        } else {
            text += roff[i];
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

struct Entry {
    std::string heading;
    std::string body;
};

// The .TP entries of the OPTIONS section: heading line and body, plain.
std::vector<Entry> options_section(const std::string& page) {
    std::vector<Entry> entries;
    const size_t start = page.find("\n.SH OPTIONS\n");
    if (start == std::string::npos) return entries;
    const size_t end = page.find("\n.SH ", start + 1);
    std::string section = page.substr(start + 13, end - start - 13);
    size_t at = 0;
    Entry* entry = nullptr;
    bool heading = false;
    while (at < section.size()) {
        size_t line_end = section.find('\n', at);
        if (line_end == std::string::npos) line_end = section.size();
        std::string line = section.substr(at, line_end - at);
        at = line_end + 1;
        if (line == ".TP") {
            entries.push_back({});
            entry = &entries.back();
            heading = true;
            continue;
        }
        // A paragraph after the entries ends them.
        if (line.rfind(".PP", 0) == 0 || line.rfind(".SS", 0) == 0) entry = nullptr;
        if (!entry) continue;
        // Font macros: their arguments run together, as roff sets them.
        for (const char* macro : {".BR ", ".BI ", ".IR ", ".IB ", ".RB ", ".B ", ".I "}) {
            if (line.rfind(macro, 0) != 0) continue;
            std::string words;
            for (size_t i = std::string(macro).size(); i < line.size(); ++i) {
                if (line[i] == '"') {
                    const size_t close = line.find('"', i + 1);
                    words += line.substr(i + 1, close - i - 1);
                    i = close == std::string::npos ? line.size() : close;
                } else if (line[i] != ' ') {
                    words += line[i];
                }
            }
            line = words;
            break;
        }
        if (!line.empty() && line[0] == '.') continue;
        (heading ? entry->heading : entry->body) += line + "\n";
        heading = false;
    }
    for (Entry& e : entries) e.heading = plain(e.heading), e.body = plain(e.body);
    return entries;
}

// How the manual page heads an option: "-m, --mode MODE", "--grey".
std::string heading_of(const OptionSpec& option) {
    std::string heading;
    if (option.short_name) heading += std::string("-") + option.short_name + ", ";
    heading += std::string("--") + option.long_name;
    if (option.value) heading += std::string(" ") + option.value;
    return heading;
}

bool starts_with_words(const std::string& body, const std::string& words) {
    if (body.size() < words.size() || words.empty()) return false;
    if (std::tolower(static_cast<unsigned char>(body[0])) != std::tolower(static_cast<unsigned char>(words[0])))
        return false;
    if (body.compare(1, words.size() - 1, words, 1) != 0) return false;
    return body.size() == words.size() || std::string(" .;:,").find(body[words.size()]) != std::string::npos;
}

TEST(Manual, EachPageListsItsToolsOptionsInTheWordsOfHelp) {
    const struct {
        const char* page;
        const ToolCommand& tool;
    } tools[] = {{"tarnvil-fit", fit_tool()}, {"tarnvil-view", view_tool()}, {"tarnvil-disc", disc_tool()}};
    for (const auto& t : tools) {
        SCOPED_TRACE(t.page);
        const auto page = read_file(std::string(TARNVIL_SOURCE_DIR) + "/man/" + t.page + ".1");
        ASSERT_TRUE(page);
        const std::vector<Entry> entries = options_section(*page);
        // What the page must say, entry by entry: the picture options of
        // tarnvil-view and tarnvil-disc as one entry, as --help gives them.
        std::vector<Entry> expected;
        for (size_t i = 0; i < t.tool.option_count; ++i) {
            const OptionSpec& option = t.tool.options[i];
            if (t.tool.picture_paragraph && is_picture_option(option.id)) {
                if (expected.empty() || expected.back().body != "For pictures, as tarnvil-fit takes them")
                    expected.push_back({"", "For pictures, as tarnvil-fit takes them"});
                expected.back().heading += (expected.back().heading.empty() ? "" : ", ") + heading_of(option);
                continue;
            }
            char help[1024];
            expand_help(option.help, help, sizeof help);
            expected.push_back({heading_of(option), help});
        }
        ASSERT_EQ(entries.size(), expected.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].heading, expected[i].heading);
            EXPECT_TRUE(starts_with_words(entries[i].body, expected[i].body))
                << "the entry of " << expected[i].heading << " starts \"" << entries[i].body.substr(0, 120)
                << "\", not with \"" << expected[i].body << "\"";
        }
    }
}

}  // namespace
