#pragma once
// A libcurl write function that collects a reply body up to a limit, so that a reply is
// parsed once, whole, and a site cannot fill the memory. Used on the transfer's thread.

#include <cstddef>
#include <string>

namespace qarv {

struct ReplyCollector {
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
};

// CURLOPT_WRITEFUNCTION with a ReplyCollector as CURLOPT_WRITEDATA: appends the block, or
// refuses it (ending the transfer with CURLE_WRITE_ERROR) once the body would pass the limit.
std::size_t CollectReply(char* data, std::size_t size, std::size_t count, void* context);

}  // namespace qarv
