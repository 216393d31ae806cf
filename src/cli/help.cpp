// --help, printed from each tool's table of options.
#include <cstdio>
#include <cstring>

#include "cli/command_line.h"
#include "cli/picture_options.h"
#include "lib/tarnvil.h"
#include "screen/halftone.h"

namespace {

// The longest line --help prints, as terminals of 80 columns show it.
constexpr size_t kWidth = 79;

// Writes `text` from column `column` on, where the line so far has
// `at` characters, words wrapped so that no line passes kWidth; every line
// after the first starts at `column` too. Ends with a line feed.
void say_wrapped(const MessageSink& sink, const char* text, size_t column, size_t at) {
    for (; at < column; ++at) say_text(sink, " ", 1);
    bool first_word = true;
    for (const char* word = text; *word;) {
        while (*word == ' ') ++word;
        if (!*word) break;
        size_t length = 0;
        while (word[length] && word[length] != ' ') ++length;
        if (!first_word && at + 1 + length > kWidth) {
            say(sink, "\n%*s", static_cast<int>(column), "");
            at = column;
        } else if (!first_word) {
            say_text(sink, " ", 1);
            ++at;
        }
        say_text(sink, word, length);
        at += length;
        first_word = false;
        word += length;
    }
    say_text(sink, "\n", 1);
}

}  // namespace

void expand_help(const char* text, char* out, size_t capacity) {
    size_t used = 0;
    out[0] = '\0';
    for (const char* p = text; *p && used + 1 < capacity;) {
        const char* end = *p == '{' ? strchr(p, '}') : nullptr;
        char name[16];
        char list[256];
        if (end && static_cast<size_t>(end - p - 1) < sizeof name) {
            snprintf(name, sizeof name, "%.*s", static_cast<int>(end - p - 1), p + 1);
            if (list_in_help(name, list, sizeof list)) {
                used += static_cast<size_t>(snprintf(out + used, capacity - used, "%s", list));
                used = used < capacity ? used : capacity - 1;
                p = end + 1;
                continue;
            }
        }
        out[used++] = *p++;
        out[used] = '\0';
    }
}

namespace {

// "crop: fill the screen and crop the centre (default); fit: ...".
template <size_t kCount>
bool describe_choices(const Choice (&choices)[kCount], char* out, size_t capacity) {
    size_t used = 0;
    out[0] = '\0';
    for (size_t i = 0; i < kCount; ++i) {
        const int written = snprintf(out + used, capacity - used, "%s%s: %s%s", i ? "; " : "", choices[i].name,
                                     choices[i].does, i == 0 ? " (default)" : "");
        if (written < 0 || static_cast<size_t>(written) >= capacity - used) return false;
        used += static_cast<size_t>(written);
    }
    return true;
}

// "0 none, 1 fine (default), ...", or without the default.
void describe_halftones(bool with_default, char* out, size_t capacity) {
    size_t used = 0;
    out[0] = '\0';
    for (int32_t i = 0; i <= kHalftoneDiagonal; ++i)
        used += static_cast<size_t>(snprintf(out + used, capacity - used, "%s%d %s%s", i ? ", " : "", static_cast<int>(i),
                                             kHalftoneNames[i], with_default && i == kHalftoneFine ? " (default)" : ""));
}

}  // namespace

bool list_in_help(const char* name, char* out, size_t capacity) {
    if (strcmp(name, "modes") == 0) {
        char digits[kToolModeCount][4];
        const char* words[kToolModeCount];
        for (int32_t i = 0; i < kToolModeCount; ++i) {
            snprintf(digits[i], sizeof digits[i], "%d", static_cast<int>(tool_mode(i)));
            words[i] = digits[i];
        }
        return join_words(words, sizeof words / sizeof words[0], " or ", out, capacity);
    }
    if (strcmp(name, "colours") == 0) return join_words(kColourNames, 8, " or ", out, capacity);
    if (strcmp(name, "halftones") == 0) {
        describe_halftones(true, out, capacity);
        return true;
    }
    if (strcmp(name, "fills") == 0) return describe_choices(kFillChoices, out, capacity);
    if (strcmp(name, "tones") == 0) return describe_choices(kToneChoices, out, capacity);
    if (strcmp(name, "dithers") == 0) return describe_choices(kDitherChoices, out, capacity);
    return false;
}

void say_help(const ToolCommand& tool, const MessageSink& sink) {
    say_text(sink, tool.usage, strlen(tool.usage));
    for (size_t i = 0; i < tool.option_count; ++i) {
        const OptionSpec& option = tool.options[i];
        if (!option.help || (tool.picture_paragraph && is_picture_option(option.id))) continue;
        char label[64];
        const int at = snprintf(label, sizeof label, "  %c%c%s--%s%s%s", option.short_name ? '-' : ' ',
                                option.short_name ? option.short_name : ' ', option.short_name ? ", " : "  ",
                                option.long_name, option.value ? " " : "", option.value ? option.value : "");
        say_text(sink, label, static_cast<size_t>(at));
        char text[1024];
        expand_help(option.help, text, sizeof text);
        // A label too long for its column has the words on the next line.
        if (static_cast<size_t>(at) + 2 > static_cast<size_t>(tool.column)) {
            say_text(sink, "\n", 1);
            say_wrapped(sink, text, static_cast<size_t>(tool.column), 0);
        } else {
            say_wrapped(sink, text, static_cast<size_t>(tool.column), static_cast<size_t>(at));
        }
    }
    if (tool.picture_paragraph) {
        // "For pictures, as tarnvil-fit takes them: -a/--aspect, --fill, ..."
        char names[sizeof kFitSettingOptions / sizeof kFitSettingOptions[0] + 2][96];
        const char* words[sizeof names / sizeof names[0]];
        size_t count = 0;
        for (size_t i = 0; i < tool.option_count && count < sizeof names / sizeof names[0]; ++i) {
            const OptionSpec& option = tool.options[i];
            if (!is_picture_option(option.id)) continue;
            char halftones[80] = "";
            if (option.id == kOptionHalftone) {
                char list[64];
                describe_halftones(false, list, sizeof list);
                snprintf(halftones, sizeof halftones, " N (%s)", list);
            }
            if (option.short_name)
                snprintf(names[count], sizeof names[count], "-%c/--%s%s", option.short_name, option.long_name, halftones);
            else
                snprintf(names[count], sizeof names[count], "--%s%s", option.long_name, halftones);
            words[count] = names[count];
            ++count;
        }
        char paragraph[512] = "For pictures, as tarnvil-fit takes them: ";
        const size_t used = strlen(paragraph);
        join_words(words, count, " and ", paragraph + used, sizeof paragraph - used);
        strncat(paragraph, ".", sizeof paragraph - strlen(paragraph) - 1);
        say_text(sink, "\n", 1);
        say_wrapped(sink, paragraph, 0, 0);
        say_wrapped(sink, "Options apply to the dumps and pictures after them.", 0, 0);
    }
    say_text(sink, tool.after, strlen(tool.after));
}
