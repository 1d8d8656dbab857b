// Runs a fuzz target once over every file of the folders (or files) given, so that the seed
// corpus and the inputs of fixed findings are checked in every ordinary build. Stands in for
// libFuzzer's main when the target is built without it. Exit 0 when every input ran; a fault
// in the target crashes the program (or is reported by the sanitizer of the build).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return -1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of its own, so that a read past the end is caught by the sanitizers.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int inputs = 0;
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg, error))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                failures += RunFile(file) == 0 ? 0 : 1;
                ++inputs;
            }
        } else {
            failures += RunFile(arg) == 0 ? 0 : 1;
            ++inputs;
        }
    }
    std::printf("%d inputs run\n", inputs);
    if (inputs == 0) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
