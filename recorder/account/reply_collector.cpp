#include "recorder/account/reply_collector.h"

namespace qarv {

std::size_t CollectReply(char* data, std::size_t size, std::size_t count, void* context) {
    auto* reply = static_cast<ReplyCollector*>(context);
    const std::size_t bytes = size * count;
    if (bytes > reply->limit - reply->body.size()) {
        reply->tooLarge = true;
        return 0;
    }
    reply->body.append(data, bytes);
    return bytes;
}

}  // namespace qarv
