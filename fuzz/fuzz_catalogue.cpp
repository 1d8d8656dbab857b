// Opening the video catalogue from any file, listing it and changing it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz/fuzz_temp_file.h"
#include "recorder/library/video_element.h"
#include "recorder/library/video_info_xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = qarv::fuzz::TempPath("Video");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directory(folder, ignored);
    const auto path = qarv::fuzz::WriteTempFile("Video/VideoInfo.xml", data, size);

    qarv::VideoInfoXml catalogue(path, folder);
    std::vector<qarv::VideoElement> list;
    catalogue.ListAll(list, qarv::ThumbnailLookup::kSkip);
    if (!list.empty()) {
        qarv::VideoElement first = list.front();
        first.Title += "!";
        catalogue.UpdateVideo(first);
        catalogue.CountVideos(first.Date, first.FileName);
        catalogue.RemoveEntry(first);
    }
    qarv::VideoElement added;
    added.Date = "2014_9_9";
    added.FileName = "1.mp4";
    catalogue.AddVideo(added);
    catalogue.ListByDate(added.Date, list, qarv::ThumbnailLookup::kSkip);
    return 0;
}
