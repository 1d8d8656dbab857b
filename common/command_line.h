#pragma once
// Splitting a Windows-style command line into arguments. Pure, thread-safe.

#include <string>
#include <string_view>
#include <vector>

namespace qarv {

// Splits `commandLine` by the rules of CommandLineToArgvW: the first token (the program
// name) ends at the first space or tab, or at the closing quote if it begins with one, with
// no escapes; in the following arguments 2n backslashes before a quote give n backslashes
// and the quote opens or closes a quoted part, 2n+1 backslashes before a quote give n
// backslashes and a literal quote, other backslashes are literal, and inside a quoted part
// "" gives a literal quote and ends it. Leading blanks are not skipped: " 1" gives "" and
// "1". An empty command line gives no tokens (CommandLineToArgvW would give the path of
// the running program instead).
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Quotes one argument (not the first token) so that SplitCommandLine gives it back
// unchanged; arguments without blanks or quotes are returned as they are.
std::string QuoteArgument(std::string_view argument);

}  // namespace qarv
