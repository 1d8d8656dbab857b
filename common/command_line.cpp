#include "common/command_line.h"

namespace qarv {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

// The rules, exactly as CommandLineToArgvW applies them (only space and tab separate):
//
// First token (the program name). It is never preceded by skipped blanks: a command line
// that begins with a blank has an empty first token (" 1" gives "" and "1"). If it starts
// with a quote it runs to the next quote (or the end) and whatever follows that quote
// belongs to the next token ("\"a b\"c d" gives "a b", "c", "d"); otherwise it runs to the
// next blank. Backslashes and quotes inside it are plain characters.
//
// Following arguments. Blanks outside a quoted part separate them (runs of blanks count
// once; trailing blanks start no argument). A run of n backslashes not followed by a quote
// is kept as it is. A run of 2n backslashes followed by a quote gives n backslashes and the
// quote is a delimiter; 2n+1 backslashes followed by a quote give n backslashes and a
// literal quote. Delimiting quotes count as follows, where "state" is 1 inside a quoted
// part and 0 outside: each delimiting quote adds one; consecutive quotes after it add one
// each, and whenever the state reaches 3 a literal quote is written and the state drops to
// 0; at the end of the run a state of 2 drops to 0. Hence outside a quoted part "" is an
// empty piece and """ a literal quote; inside one, a lone quote closes it, "" gives a
// literal quote and closes it, and """ gives a literal quote and stays inside.
std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> tokens;
    if (commandLine.empty())
        return tokens;

    const std::size_t size = commandLine.size();
    std::size_t i = 0;
    std::string first;
    if (commandLine[0] == '"') {
        for (i = 1; i < size; ++i) {
            if (commandLine[i] == '"') {
                ++i;
                break;
            }
            first += commandLine[i];
        }
    } else {
        while (i < size && !IsBlank(commandLine[i]))
            first += commandLine[i++];
    }
    tokens.push_back(std::move(first));

    while (i < size && IsBlank(commandLine[i]))
        ++i;
    if (i == size)
        return tokens;

    std::string current;
    int quoteState = 0;
    std::size_t backslashes = 0;
    while (i < size) {
        const char c = commandLine[i];
        if (IsBlank(c) && quoteState == 0) {
            tokens.push_back(std::move(current));
            current.clear();
            backslashes = 0;
            while (i < size && IsBlank(commandLine[i]))
                ++i;
            // Trailing blanks start no further argument.
            if (i == size)
                return tokens;
        } else if (c == '\\') {
            current += c;
            ++backslashes;
            ++i;
        } else if (c == '"') {
            // The backslashes were copied as they came; keep half of them.
            current.resize(current.size() - backslashes / 2);
            if (backslashes % 2 == 0) {
                ++quoteState;
            } else {
                current.back() = '"';  // the odd backslash becomes the literal quote
            }
            backslashes = 0;
            ++i;
            while (i < size && commandLine[i] == '"') {
                if (++quoteState == 3) {
                    current += '"';
                    quoteState = 0;
                }
                ++i;
            }
            if (quoteState == 2)
                quoteState = 0;
        } else {
            current += c;
            backslashes = 0;
            ++i;
        }
    }
    tokens.push_back(std::move(current));
    return tokens;
}

// Wraps the argument in quotes when it is empty or holds a blank or a quote. Inside the
// quotes, a run of backslashes is doubled when a quote follows it (an escaped one or the
// closing one), and each quote is written as \". Without quotes the argument already
// splits back to itself, since backslashes not before a quote are literal.
std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace qarv
