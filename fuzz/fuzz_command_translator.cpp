// The encoder adapter's translation of any command line the recorder could send.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "capturer/command_translator.h"
#include "common/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto arguments = qarv::SplitCommandLine(std::string_view(reinterpret_cast<const char*>(data), size));
    if (arguments.empty())
        return 0;
    arguments.erase(arguments.begin());  // the program name
    qarv::CaptureEnvironment environment;
    environment.display = ":0";
    environment.soundServer = qarv::CommandTranslator::UsesSoundDevices(arguments);
    environment.defaultSinkMonitor = "alsa_output.pci.analog-stereo.monitor";
    environment.defaultSource = "alsa_input.pci.analog-stereo";
    environment.sources = {{"alsa_output.pci.analog-stereo.monitor", "Monitor of Built-in Audio", true},
                           {"alsa_input.pci.analog-stereo", "Built-in Audio Analog Stereo", false}};
    qarv::CommandTranslation translation;
    qarv::CommandTranslator(environment).Translate(arguments, translation);
    return 0;
}
