#include "recorder/recording/file_number.h"

#include <bitset>
#include <filesystem>
#include <system_error>

#include "common/third_node.h"

namespace qarv {

namespace {

using TakenNumbers = std::bitset<kMaxFileNumbers>;

// Marks the number that the file name `name` holds: its stem (the text before its last '.',
// or the whole name) read as atoi reads it, unless the stem contains '_' (thumbnails carry
// their video's stem, an underscore and a number).
void MarkTaken(const std::string& name, TakenNumbers& taken) {
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    if (stem.find('_') != std::string::npos)
        return;
    const int value = ParseIntLikeAtoi(stem);
    if (value >= 0 && value < kMaxFileNumbers)
        taken.set(static_cast<std::size_t>(value));
}

}  // namespace

int FindFreeFileNumber(const std::string& folder, std::string& number) {
    return FindFreeFileNumber(folder, {}, number);
}

int FindFreeFileNumber(const std::string& folder, const std::vector<std::string>& catalogued,
                       std::string& number) {
    namespace fs = std::filesystem;
    number.clear();

    std::error_code error;
    if (!fs::is_directory(folder, error))
        return -1;
    fs::directory_iterator entry(folder, error);
    if (error)
        return -1;

    TakenNumbers taken;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        // The entry's type comes from the directory listing where the file system gives it.
        std::error_code typeError;
        if (!entry->is_directory(typeError))
            MarkTaken(entry->path().filename().string(), taken);
    }
    // A listing cut short could hide a taken number.
    if (error)
        return -1;
    for (const std::string& name : catalogued)
        MarkTaken(name, taken);

    for (int n = 0; n < kMaxFileNumbers; ++n) {
        if (!taken.test(static_cast<std::size_t>(n))) {
            number = std::to_string(n);
            return 0;
        }
    }
    return -1;
}

}  // namespace qarv
