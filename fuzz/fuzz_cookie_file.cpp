// The cookie file as libcurl reads it for the recorder's requests; what was read must write
// back (WriteCookieJarFile) and read again without a cookie that was not there (a forged
// one). Cookies may change their domain or go: libcurl drops a leading dot of a domain on
// every read, and a domain left starting with '#' makes its line a comment.

#include <curl/curl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_temp_file.h"
#include "recorder/account/cookie_jar_file.h"

namespace {

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The cookies libcurl holds after reading the file at `path`, as libcurl lists them.
std::vector<std::string> ReadCookies(const std::string& path) {
    std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy)
        std::abort();
    curl_easy_setopt(easy.get(), CURLOPT_COOKIEFILE, path.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "RELOAD");
    curl_slist* raw = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_COOKIELIST, &raw);
    std::unique_ptr<curl_slist, ListCleanup> list(raw);
    std::vector<std::string> lines;
    for (const curl_slist* item = list.get(); item != nullptr; item = item->next)
        lines.emplace_back(item->data);
    return lines;
}

// The names and values of `lines` (what follows the fifth tab of each), sorted.
std::vector<std::string> NamesAndValues(const std::vector<std::string>& lines) {
    std::vector<std::string> cookies;
    for (const std::string& line : lines) {
        std::size_t from = 0;
        for (int tab = 0; tab < 5 && from != std::string::npos; ++tab) {
            const auto at = line.find('\t', from);
            from = at == std::string::npos ? at : at + 1;
        }
        cookies.push_back(from == std::string::npos ? line : line.substr(from));
    }
    std::sort(cookies.begin(), cookies.end());
    return cookies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised)
        std::abort();
    const auto cookies = ReadCookies(qarv::fuzz::WriteTempFile("cookie.txt", data, size));
    const auto written = qarv::fuzz::TempPath("written.txt");
    if (qarv::WriteCookieJarFile(written, cookies) != 0)
        std::abort();
    const auto before = NamesAndValues(cookies);
    const auto after = NamesAndValues(ReadCookies(written));
    if (!std::includes(before.begin(), before.end(), after.begin(), after.end()))
        std::abort();  // a cookie that libcurl did not give
    return 0;
}
