// The account client's reading of the site's login reply.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "recorder/account/login_register.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qarv::LoginRegister client;
    client.ParseLoginReply(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
