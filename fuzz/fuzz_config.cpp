// Reading Config/config.xml: the server settings and the version record, and rewriting the
// version record, which must read back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_temp_file.h"
#include "recorder/shell/server_info.h"
#include "updater/version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = qarv::fuzz::WriteTempFile("config.xml", data, size);
    qarv::ServerInfo server;
    qarv::LoadServerInfo(server, path);
    qarv::VersionInfo info;
    if (qarv::ReadVersionInfo(info, path) != 0)
        return 0;
    const qarv::VersionInfo next("1.0.0.2", "2014-9-9 10:0:0", "fuzz");
    if (qarv::WriteVersionInfo(next, path) != 0)
        return 0;
    qarv::VersionInfo back;
    if (qarv::ReadVersionInfo(back, path) != 0 || !(back == next))
        std::abort();  // a rewritten record that does not read back
    return 0;
}
