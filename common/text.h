#pragma once
// Text helpers for narrow strings in the system code page (UTF-8 on this platform).
// All functions are pure and thread-safe.

#include <cstddef>
#include <string>
#include <string_view>

namespace qarv {

// Name of the system code page as iconv knows it ("UTF-8" here, "GBK" on a Chinese Windows).
const char* SystemCodePage();

// Length of the longest prefix of `text` that is at most `maxBytes` long and does not end
// inside a multi-byte character of the system code page.
std::size_t CharBoundaryPrefix(std::string_view text, std::size_t maxBytes);

// Cuts `text` to at most `maxBytes` bytes on a character boundary.
void TruncateOnCharBoundary(std::string& text, std::size_t maxBytes);

// True if `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Converts `input` from the encoding `from` to the encoding `to` (iconv names).
// Returns 0 and fills `out`; -1 if the input is not valid in `from` or cannot be
// represented in `to` (`out` is then unspecified).
int ConvertEncoding(const char* from, const char* to, std::string_view input, std::string& out);

// ASCII case-insensitive equality (names of attributes, process image names).
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace qarv
