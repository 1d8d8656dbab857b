#pragma once
// A libcurl client that sends the upload form the way the recorder does (multipart, the
// session cookie, "Expect:" empty), with a video generated on the fly from a seed instead
// of read from a file, so that gigabytes can be sent without writing them first. Also used
// by the upload benchmark.

#include <cstdint>
#include <functional>
#include <string>

namespace qarv::test {

// Deterministic bytes: one seed always gives the same stream.
class ByteGenerator {
  public:
    explicit ByteGenerator(std::uint64_t seed) : state_(seed | 1) {}
    void Fill(char* out, std::size_t length);

  private:
    std::uint64_t state_;
    std::uint64_t word_ = 0;
    int left_ = 0;  // bytes of word_ not handed out yet
};

struct StreamedUploadResult {
    int curlCode = -1;  // CURLcode of the transfer
    long httpStatus = 0;
    std::string body;    // the reply
    std::string sha256;  // lowercase hex digest of the bytes sent as the file
    std::uint64_t sent = 0;
    double seconds = 0;
};

// Logs in with libcurl (GET login.php with the encoded password) and returns the session
// cookie as "name=value", or an empty string.
std::string LoginCookie(const std::string& baseUrl, const std::string& account, const std::string& password);

// POSTs baseUrl + "upload_user_video" with `cookie` and a `size`-byte file from a
// ByteGenerator(`seed`). `progress`, if set, is called with the bytes sent so far.
StreamedUploadResult StreamedUpload(const std::string& baseUrl, const std::string& cookie, std::uint64_t size,
                                    std::uint64_t seed, const std::string& fileName,
                                    const std::function<void(std::uint64_t)>& progress = nullptr);

// Lowercase hex SHA-256 of the file at `path`, read in pieces; empty if it cannot be read.
std::string Sha256OfFile(const std::string& path);

}  // namespace qarv::test
