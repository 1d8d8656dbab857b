#pragma once
// The command line of qarv-devsite. Thread-safe (pure functions).

#include <string>
#include <vector>

#include "devsite/site_server.h"

namespace qarv {

struct DevsiteOptions {
    int port = 1080;
    SiteOptions site;
    bool help = false;
};

// Reads the arguments (without the program name): --port N (0: any free port), --data DIR,
// --fault MODE, --offer-version V, --offer-file PATH, --slow-ms MS, --fault-path PATH,
// --fault-times N, --fault-retn N, --read-rate BYTES, --help. 0, or -1 with the problem in
// `error`.
int ParseDevsiteOptions(const std::vector<std::string>& args, DevsiteOptions* options, std::string* error);

// The usage text.
const char* DevsiteUsage();

}  // namespace qarv
