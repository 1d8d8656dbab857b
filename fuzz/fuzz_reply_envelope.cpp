// The site's reply envelope, as the upload reads its reply.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "recorder/account/reply_envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qarv::ReplyEnvelope envelope;
    qarv::ParseReplyEnvelope(std::string_view(reinterpret_cast<const char*>(data), size), &envelope);
    return 0;
}
