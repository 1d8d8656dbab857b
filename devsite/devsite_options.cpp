#include "devsite/devsite_options.h"

#include <algorithm>
#include <charconv>

namespace qarv {
namespace {

constexpr std::size_t kMaxVersionBytes = 64;

// A whole decimal number in [low, high].
bool ParseNumber(const std::string& text, long low, long high, long* value) {
    long parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, parsed);
    if (text.empty() || problem != std::errc() || stop != end || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

bool PrintableAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

}  // namespace

int ParseDevsiteOptions(const std::vector<std::string>& args, DevsiteOptions* options, std::string* error) {
    DevsiteOptions parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            parsed.help = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
            return -1;
        }
        const std::string& value = args[++i];
        long number = 0;
        if (name == "--port") {
            if (!ParseNumber(value, 0, 65535, &number)) {
                *error = "--port takes a number from 0 to 65535";
                return -1;
            }
            parsed.port = static_cast<int>(number);
        } else if (name == "--data") {
            if (value.empty()) {
                *error = "--data takes a folder";
                return -1;
            }
            parsed.site.dataDir = value;
        } else if (name == "--fault") {
            if (ParseFaultMode(value, &parsed.site.fault) != 0) {
                *error = "unknown fault mode " + value;
                return -1;
            }
        } else if (name == "--offer-version") {
            if (value.empty() || value.size() > kMaxVersionBytes || !PrintableAscii(value)) {
                *error = "--offer-version takes 1 to 64 printable characters";
                return -1;
            }
            parsed.site.offerVersion = value;
        } else if (name == "--offer-file") {
            parsed.site.offerFile = value;
        } else if (name == "--slow-ms") {
            if (!ParseNumber(value, 0, 3600 * 1000, &number)) {
                *error = "--slow-ms takes a number of milliseconds up to one hour";
                return -1;
            }
            parsed.site.slowMs = static_cast<int>(number);
        } else if (name == "--fault-path") {
            if (value.empty() || value[0] != '/') {
                *error = "--fault-path takes a path that starts with /";
                return -1;
            }
            parsed.site.faultPath = value;
        } else if (name == "--fault-times") {
            if (!ParseNumber(value, 0, 1000000000, &number)) {
                *error = "--fault-times takes a number of requests";
                return -1;
            }
            parsed.site.faultTimes = number;
        } else if (name == "--fault-retn") {
            if (!ParseNumber(value, -1000000000, 1000000000, &number) || number == 0) {
                *error = "--fault-retn takes a non-zero number";
                return -1;
            }
            parsed.site.faultRetn = static_cast<int>(number);
        } else if (name == "--read-rate") {
            if (!ParseNumber(value, 1, 1L << 40, &number)) {
                *error = "--read-rate takes a number of bytes per second";
                return -1;
            }
            parsed.site.readBytesPerSecond = static_cast<std::uint64_t>(number);
        } else {
            *error = "unknown option " + name;
            return -1;
        }
    }
    *options = parsed;
    return 0;
}

const char* DevsiteUsage() {
    return "usage: qarv-devsite [--port N] [--data DIR] [--fault MODE] [--offer-version V]\n"
           "                    [--offer-file PATH] [--slow-ms MS] [--fault-path PATH]\n"
           "                    [--fault-times N] [--fault-retn N] [--read-rate BYTES]\n"
           "  --port N           port on 127.0.0.1 (default 1080; 0 takes any free port)\n"
           "  --data DIR         folder for requests.log and uploads/ (default devsite-data)\n"
           "  --fault MODE       none, slow, hang, cut, http500, http500-envelope, not-json,\n"
           "                     bad-envelope, refuse, split, big-reply, cut-upload,\n"
           "                     slow-reader, html-page, stall, wrong-sha256 (default none)\n"
           "  --offer-version V  recorder version the update server offers (default 1.0.0.2)\n"
           "  --offer-file PATH  file served as the new recorder, its SHA-256 given with the\n"
           "                     version (default: none offered)\n"
           "  --slow-ms MS       delay of the slow mode (default 3000)\n"
           "  --fault-path PATH  the fault touches only requests for PATH (default: all)\n"
           "  --fault-times N    the fault touches the first N requests only (default: all)\n"
           "  --fault-retn N     the non-zero retn of the refuse mode (default 9)\n"
           "  --read-rate BYTES  bytes per second the slow reader takes (default 1048576)\n";
}

}  // namespace qarv
