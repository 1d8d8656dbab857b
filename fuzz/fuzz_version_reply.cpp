// The update server's version reply, and the comparison of the version it offers.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/version_compare.h"
#include "updater/version_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qarv::VersionReply reply;
    if (qarv::ParseVersionReply(std::string_view(reinterpret_cast<const char*>(data), size), reply) == 0)
        qarv::IsNewerVersion("1.0.0.1", reply.version);
    return 0;
}
