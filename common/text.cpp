#include "common/text.h"

namespace qarv {

namespace {

// Number of bytes of the UTF-8 sequence starting with `lead`, or 0 for a byte that
// cannot start one.
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

std::size_t CharBoundaryPrefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    // Step back over continuation bytes to the lead byte of the character that
    // straddles the cut; the cut then goes before it. Invalid bytes count as
    // characters of their own.
    std::size_t cut = maxBytes;
    std::size_t back = 0;
    while (cut > 0 && back < 3 && IsContinuation(static_cast<unsigned char>(text[cut]))) {
        --cut;
        ++back;
    }
    if (back == 0)
        return maxBytes;
    const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(text[cut]));
    if (length > back)
        return cut;   // the character would be split: drop it whole
    return maxBytes;  // stray continuation bytes: cut where asked
}

void TruncateOnCharBoundary(std::string& text, std::size_t maxBytes) {
    text.resize(CharBoundaryPrefix(text, maxBytes));
}

std::size_t DecodeUtf8Character(std::string_view text, char32_t& codePoint) {
    if (text.empty())
        return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = Utf8SequenceLength(lead);
    if (length == 0 || length > text.size())
        return 0;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[k]);
        if (!IsContinuation(next))
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values above U+10FFFF.
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    codePoint = value;
    return length;
}

bool IsValidUtf8(std::string_view text) {
    char32_t codePoint = 0;
    while (!text.empty()) {
        const std::size_t length = DecodeUtf8Character(text, codePoint);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::size_t ReplaceInvalidUtf8(std::string& text) {
    if (IsValidUtf8(text))
        return 0;
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t replaced = 0;
    std::string_view rest = text;
    char32_t codePoint = 0;
    while (!rest.empty()) {
        const std::size_t length = DecodeUtf8Character(rest, codePoint);
        if (length == 0) {
            out += kReplacementCharacter;
            ++replaced;
            rest.remove_prefix(1);
        } else {
            out += rest.substr(0, length);
            rest.remove_prefix(length);
        }
    }
    text.swap(out);
    return replaced;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace qarv
