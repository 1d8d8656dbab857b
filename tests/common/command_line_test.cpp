#include "common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qarv {
namespace {

using Tokens = std::vector<std::string>;

struct SplitCase {
    const char* commandLine;
    Tokens expected;
};

void ExpectSplits(const std::vector<SplitCase>& cases) {
    for (const SplitCase& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.commandLine), c.expected) << "command line: [" << c.commandLine << "]";
    }
}

TEST(CommandLineSplit, SeparatorsAndPlainWords) {
    ExpectSplits({
        {"", {}},
        {"prog", {"prog"}},
        {"prog a b", {"prog", "a", "b"}},
        {"prog\ta\t\tb", {"prog", "a", "b"}},
        {"prog   a  \t  b   ", {"prog", "a", "b"}},
        {"prog ", {"prog"}},
        // Only space and tab separate.
        {"prog a\nb", {"prog", "a\nb"}},
    });
}

TEST(CommandLineSplit, LeadingBlankGivesEmptyFirstToken) {
    ExpectSplits({
        {" 1", {"", "1"}},
        {"  1  2", {"", "1", "2"}},
        {"\t-i x", {"", "-i", "x"}},
        {" ", {""}},
        {"   ", {""}},
    });
}

TEST(CommandLineSplit, FirstTokenHasNoEscapes) {
    ExpectSplits({
        {"\"C:\\Program Files\\app.exe\" -x", {"C:\\Program Files\\app.exe", "-x"}},
        // It ends at the first quote, backslashes or not.
        {"\"C:\\dir\\\" a", {"C:\\dir\\", "a"}},
        // What follows the closing quote starts the next token.
        {"\"a b\"c d", {"a b", "c", "d"}},
        // Unquoted, it ends at the first blank; quotes inside are plain characters.
        {"a\"b c\"d e", {"a\"b", "cd e"}},
        {"C:\\x\\\"y z", {"C:\\x\\\"y", "z"}},
        // An unclosed quote takes the rest of the line.
        {"\"a b c", {"a b c"}},
        {"\"\" x", {"", "x"}},
    });
}

TEST(CommandLineSplit, QuotesInArguments) {
    ExpectSplits({
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p \"a b\" c", {"p", "a b", "c"}},
        {"p \"\"", {"p", ""}},
        {"p \"\" \"\" x", {"p", "", "", "x"}},
        {"p \"unclosed arg", {"p", "unclosed arg"}},
        {"p audio=\"a (b)\"", {"p", "audio=a (b)"}},
    });
}

TEST(CommandLineSplit, Backslashes) {
    ExpectSplits({
        // Not before a quote: literal.
        {"p C:\\path\\ x", {"p", "C:\\path\\", "x"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        // 2n+1 before a quote: n backslashes and a literal quote.
        {"p \\\"", {"p", "\""}},
        {"p a\\\"b", {"p", "a\"b"}},
        {"p \\\\\\\"x", {"p", "\\\"x"}},
        // 2n before a quote: n backslashes, the quote delimits.
        {"p \\\\\"a b\"", {"p", "\\a b"}},
        {"p \"a\\\\\" b", {"p", "a\\", "b"}},
        // A trailing backslash inside quotes escapes the closing quote.
        {"p \"C:\\dir\\\" x", {"p", "C:\\dir\" x"}},
        {"p \"C:\\dir\\\\\" x", {"p", "C:\\dir\\", "x"}},
        {"p \"a\\\"b\" c", {"p", "a\"b", "c"}},
    });
}

TEST(CommandLineSplit, ConsecutiveQuotes) {
    ExpectSplits({
        // Inside a quoted part "" is a literal quote and ends the part.
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p \"a\"\"b c\"", {"p", "a\"b", "c"}},
        {"p \"a\"\" b\"", {"p", "a\"", "b"}},
        // Outside, """ is a literal quote; """" also opens a quoted part.
        {"p \"\"\"", {"p", "\""}},
        {"p a\"\"\"b c", {"p", "a\"b", "c"}},
        {"p \"\"\"\" a", {"p", "\" a"}},
        // Inside, """ is a literal quote and the part goes on.
        {"p \"a\"\"\"b c\"", {"p", "a\"b c"}},
        {"p \"\"\"\"\"\" x", {"p", "\"\"", "x"}},
        // An escaped quote does not change the state of the run that follows it.
        {"p \\\"\"a b\"", {"p", "\"a b"}},
    });
}

TEST(CommandLineSplit, EncoderCommandLine) {
    const std::string commandLine =
        " -f dshow -framerate 25 -i video=screen-capture-recorder -pix_fmt yuv420p -vprofile main"
        " -f dshow -i audio=\"virtual-audio-capturer\""
        " -f dshow -i audio=\"麦克风 (Realtek High Definition Audio)\""
        " -filter_complex amix=inputs=2:duration=first:dropout_transition=2 -i Icon\\logo.png"
        " -filter_complex overlay=main_w-overlay_w-10:10 -b-pyramid none -c:v libx264 -tune zerolatency"
        " -g 50 -r 25 -b:v 1000000 -ar 44100 -t 60 -s 1280*720 -y \"/tmp/x y/Video/2014_9_9/game01.flv\"";
    // clang-format off
    const Tokens expected = {
        "", "-f", "dshow", "-framerate", "25", "-i", "video=screen-capture-recorder",
        "-pix_fmt", "yuv420p", "-vprofile", "main",
        "-f", "dshow", "-i", "audio=virtual-audio-capturer",
        "-f", "dshow", "-i", "audio=麦克风 (Realtek High Definition Audio)",
        "-filter_complex", "amix=inputs=2:duration=first:dropout_transition=2", "-i", "Icon\\logo.png",
        "-filter_complex", "overlay=main_w-overlay_w-10:10", "-b-pyramid", "none", "-c:v", "libx264",
        "-tune", "zerolatency", "-g", "50", "-r", "25", "-b:v", "1000000", "-ar", "44100", "-t", "60",
        "-s", "1280*720", "-y", "/tmp/x y/Video/2014_9_9/game01.flv"};
    // clang-format on
    EXPECT_EQ(SplitCommandLine(commandLine), expected);
}

TEST(CommandLineQuote, RoundTripsTrickyArguments) {
    const std::vector<std::string> tricky = {
        "",
        " ",
        "\t",
        "plain",
        "a b",
        "\"",
        "\"\"",
        "\"\"\"",
        "a\"b",
        "\"a b\"",
        "\\",
        "\\\\",
        "a\\",
        "a b\\",
        "a b\\\\",
        "\\\"",
        "\\\\\"",
        "a\\\"b c",
        "C:\\Program Files\\dir\\",
        "audio=麦克风 (Realtek High Definition Audio)",
        "/tmp/x y/Video/2014_9_9/game01.flv",
        "end quote\"",
        "\" start quote",
        "tab\tinside",
        "new\nline",
    };
    for (const std::string& argument : tricky) {
        EXPECT_EQ(SplitCommandLine("prog " + QuoteArgument(argument)), (Tokens{"prog", argument}))
            << "argument: [" << argument << "] quoted: [" << QuoteArgument(argument) << "]";
    }
    // Every pair, joined into one command line, splits back into the same pair.
    for (const std::string& first : tricky) {
        for (const std::string& second : tricky) {
            const std::string commandLine = " " + QuoteArgument(first) + " " + QuoteArgument(second);
            EXPECT_EQ(SplitCommandLine(commandLine), (Tokens{"", first, second}))
                << "command line: [" << commandLine << "]";
        }
    }
}

}  // namespace
}  // namespace qarv
