// The command-line splitter; a quoted argument must split back to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qarv::SplitCommandLine(text);
    if (text.find('\0') != std::string_view::npos)
        return 0;
    const auto split = qarv::SplitCommandLine("program " + qarv::QuoteArgument(text));
    if (split.size() != 2 || split[1] != text)
        std::abort();
    return 0;
}
