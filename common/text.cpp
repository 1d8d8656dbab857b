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

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(lead);
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (!IsContinuation(static_cast<unsigned char>(text[i + k])))
                return false;
        }
        const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0);
        // Overlong three- and four-byte forms, surrogates and values above U+10FFFF.
        if (lead == 0xE0 && second < 0xA0)
            return false;
        if (lead == 0xED && second > 0x9F)
            return false;
        if (lead == 0xF0 && second < 0x90)
            return false;
        if (lead == 0xF4 && second > 0x8F)
            return false;
        i += length;
    }
    return true;
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

}  // namespace qarv
