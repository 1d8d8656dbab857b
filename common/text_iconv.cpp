// Encoding conversion through iconv (POSIX systems).
#include <iconv.h>

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

}  // namespace

const char* SystemCodePage() {
    return "UTF-8";
}

int ConvertEncoding(const char* from, const char* to, std::string_view input, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return -1;
    IconvPtr owner(new iconv_t(cd));

    out.clear();
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[16384];
    while (true) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        // A null input flushes the converter's shift state once the input is used up.
        const std::size_t rc = inLeft > 0 ? iconv(cd, &in, &inLeft, &dst, &dstLeft)
                                          : iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0 && dst == buffer)
                return 0;  // input used up and flushed
            continue;
        }
        if (errno == E2BIG)
            continue;
        return -1;  // EILSEQ or EINVAL: invalid or truncated input
    }
}

}  // namespace qarv
