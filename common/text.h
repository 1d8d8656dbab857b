#pragma once
// Text helpers for narrow strings in the system code page (UTF-8 on this platform).
// All functions are pure and thread-safe.

#include <cstddef>
#include <functional>
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

// The character that stands in for bytes that are not UTF-8 (U+FFFD), as UTF-8.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `text`, with its code point in
// `codePoint`; 0 if `text` is empty or does not start with one.
std::size_t DecodeUtf8Character(std::string_view text, char32_t& codePoint);

// Replaces every byte of `text` that is not part of a well-formed UTF-8 sequence by
// kReplacementCharacter. Returns the number of bytes replaced.
std::size_t ReplaceInvalidUtf8(std::string& text);

// Converts `input` from the encoding `from` to the encoding `to` (iconv names).
// Returns 0 and fills `out`; -1 if the input is not valid in `from` or cannot be
// represented in `to` (`out` is then unspecified).
int ConvertEncoding(const char* from, const char* to, std::string_view input, std::string& out);

// Converts GB18030 `input` to UTF-8 exactly as ConvertEncoding("GB18030", "UTF-8", ...) does.
// The runs of ASCII characters, which both encodings write alike, are copied as they are, so
// that text of mostly ASCII converts several times faster.
int Gb18030ToUtf8(std::string_view input, std::string& out);

// Gives the UTF-8 text written in place of a character that the target encoding cannot
// represent; that text itself must be representable.
using CharacterSubstitute = std::function<std::string(char32_t codePoint)>;

// Converts the well-formed UTF-8 `input` to the encoding `to` as ConvertEncoding does, except
// that each character `to` cannot represent is written as `substitute` gives it, and counted
// in `substituted`. Returns 0; -1 if the encoding is unknown, `input` is not UTF-8, or a
// substitute cannot be represented either (`out` is then unspecified).
int ConvertFromUtf8(const char* to, std::string_view input, const CharacterSubstitute& substitute,
                    std::string& out, std::size_t& substituted);

// ASCII case-insensitive equality (names of attributes, process image names).
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// `text` with the ASCII capitals A-Z made small; other bytes as they are.
std::string AsciiLower(std::string text);

}  // namespace qarv
