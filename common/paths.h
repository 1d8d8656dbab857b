#pragma once
// Path and executable-name helpers. Pure functions, thread-safe.

#include <string>
#include <string_view>

namespace qarv {

// The platform's path separator ('/' here, '\\' on Windows).
char PathSeparator();

// `a` + separator + `b`; `b` alone if `a` is empty.
std::string JoinPath(std::string_view a, std::string_view b);

// The file name of an executable as the platform spells it: "capturer" here,
// "capturer.exe" on Windows.
std::string ExecutableName(std::string_view base);

// The part of `path` after its last separator (the whole of it if it has none).
std::string BaseName(std::string_view path);

}  // namespace qarv
