// Encoding conversion through iconv (POSIX systems).
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "common/text.h"

namespace qarv {

namespace {

struct IconvCloser {
    void operator()(iconv_t* cd) const {
        iconv_close(*cd);
        delete cd;
    }
};
using IconvPtr = std::unique_ptr<iconv_t, IconvCloser>;

IconvPtr OpenConverter(const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return IconvPtr();
    return IconvPtr(new iconv_t(cd));
}

// Converts `input` with `cd` and appends the result to `out`. A character of `input` that
// the target cannot represent is handed to `substitute` (if given; the input is then UTF-8)
// and its text converted in its place. 0, or -1 on input that is invalid or truncated, or
// that cannot be represented and has no substitute.
int AppendConverted(iconv_t cd, std::string_view input, const CharacterSubstitute* substitute,
                    std::string& out, std::size_t& substituted) {
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[16384];
    while (true) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        // A null input flushes the converter's shift state once the input is used up.
        const std::size_t rc = inLeft > 0 ? iconv(cd, &in, &inLeft, &dst, &dstLeft)
                                          : iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        const int error = errno;  // before anything else can change it
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0 && dst == buffer)
                return 0;  // input used up and flushed
            continue;
        }
        if (error == E2BIG)
            continue;
        // EILSEQ at a well-formed character: the target has no bytes for it.
        char32_t codePoint = 0;
        const std::size_t length =
            error == EILSEQ && substitute != nullptr ? DecodeUtf8Character({in, inLeft}, codePoint) : 0;
        if (length == 0)
            return -1;  // invalid or truncated input
        if (AppendConverted(cd, (*substitute)(codePoint), nullptr, out, substituted) != 0)
            return -1;
        ++substituted;
        in += length;
        inLeft -= length;
    }
}

}  // namespace

const char* SystemCodePage() {
    return "UTF-8";
}

int ConvertEncoding(const char* from, const char* to, std::string_view input, std::string& out) {
    const IconvPtr cd = OpenConverter(from, to);
    out.clear();
    std::size_t substituted = 0;
    return cd ? AppendConverted(*cd, input, nullptr, out, substituted) : -1;
}

int Gb18030ToUtf8(std::string_view input, std::string& out) {
    const IconvPtr cd = OpenConverter("GB18030", "UTF-8");
    out.clear();
    if (!cd)
        return -1;
    out.reserve(input.size() + input.size() / 2);
    std::size_t substituted = 0;
    std::size_t i = 0;
    while (i < input.size()) {
        // A byte below 0x80 is a character of its own only where no character is under way:
        // the second byte of a two-byte character may be one too.
        std::size_t end = i;
        while (end < input.size() && static_cast<unsigned char>(input[end]) < 0x80)
            ++end;
        out.append(input.substr(i, end - i));
        i = end;
        // The run of other characters up to the next ASCII one, measured by their lead bytes
        // (four bytes where the second is a digit, else two); iconv checks them.
        while (end < input.size() && static_cast<unsigned char>(input[end]) >= 0x80) {
            const bool fourBytes = end + 1 < input.size() && input[end + 1] >= '0' && input[end + 1] <= '9';
            end = std::min(input.size(), end + (fourBytes ? 4 : 2));
        }
        if (end > i && AppendConverted(*cd, input.substr(i, end - i), nullptr, out, substituted) != 0)
            return -1;
        i = end;
    }
    return 0;
}

int ConvertFromUtf8(const char* to, std::string_view input, const CharacterSubstitute& substitute,
                    std::string& out, std::size_t& substituted) {
    const IconvPtr cd = OpenConverter("UTF-8", to);
    out.clear();
    substituted = 0;
    if (!cd || !IsValidUtf8(input))
        return -1;
    return AppendConverted(*cd, input, &substitute, out, substituted);
}

}  // namespace qarv
