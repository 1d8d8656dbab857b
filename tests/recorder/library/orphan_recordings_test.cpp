#include "recorder/library/orphan_recordings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"
#include "common/paths.h"
#include "common/process.h"
#include "recorder/library/media_probe.h"
#include "recorder/library/orphan_adoption_thread.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/recording_repair.h"
#include "recorder/library/thumbnails.h"
#include "recorder/library/video_info_xml.h"
#include "tests/recorder/library/test_media.h"
#include "tests/support/command_output.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::MakeMedia;
using test::ReadFileText;
using test::SetModificationTime;
using test::TempDir;
using test::WriteFileText;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The "duration" number of an FLV's onMetaData, which players show as the length; -1 if the
// file has none.
double FlvMetadataDuration(const std::string& path) {
    const std::string bytes = ReadFileText(path);
    const std::string key = std::string(
        "\x00\x08"
        "duration\x00",
        11);
    const std::size_t at = bytes.find(key);
    if (at == std::string::npos || at > 4096 || bytes.size() < at + key.size() + 8)
        return -1;
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i)
        bits = bits << 8 | static_cast<unsigned char>(bytes[at + key.size() + i]);
    return std::bit_cast<double>(bits);
}

// "container,packets of each stream" as ffprobe reads them, e.g. "flv,38,59".
std::string ContainerAndPackets(const std::string& path) {
    std::string text = test::CommandOutput(
        "ffprobe -v error -count_packets -show_entries format=format_name:stream="
        "nb_read_packets -of csv=p=0 '" +
        path + "' 2>/dev/null");
    for (char& c : text)
        c = c == '\n' ? ',' : c;
    while (!text.empty() && text.back() == ',')
        text.pop_back();
    return text;
}

std::string LogLine(const char* format, const std::string& path) {
    char line[4096];
    std::snprintf(line, sizeof line, format, path.c_str());
    return line;
}

TEST(IsDateKeyTest, OnlyKeysAsTheRecorderWritesThem) {
    for (const char* key : {"2015_3_5", "2014_12_31", "1_1_1", "9999_10_10"})
        EXPECT_TRUE(IsDateKey(key)) << key;
    for (const char* name : {"", "2015_03_05", "2015_3_05", "2015_3", "2015_3_5_1", "2015_13_1", "2015_0_1",
                             "2015_3_32", "2015_3_0", "-1_1_1", "+2015_3_5", "2015_3_5x", "x2015_3_5",
                             "2015__3_5", "2015_3_ 5", "clips", "0_1_1"})
        EXPECT_FALSE(IsDateKey(name)) << name;
}

TEST(RepairCutOffRecordingTest, RewritesEachFormatInPlaceKeepingEveryPacket) {
    TempDir dir;
    for (const std::string format : {"flv", "mpeg", "ts", "mts"}) {
        const std::string path = dir.file("whole." + format);
        ASSERT_TRUE(MakeMedia(path, 1.5));
        const std::string before = ContainerAndPackets(path);
        double lengthBefore = 0;
        ASSERT_EQ(ProbeDuration(path, lengthBefore), 0);
        ::chmod(path.c_str(), 0640);
        ASSERT_TRUE(SetModificationTime(path, 2015, 3, 5, 12, 0, 0));
        const fs::file_time_type changed = fs::last_write_time(path);

        EXPECT_EQ(RepairCutOffRecording(path), 0) << format;
        EXPECT_EQ(ContainerAndPackets(path), before) << format;
        double lengthAfter = 0;
        EXPECT_EQ(ProbeDuration(path, lengthAfter), 0);
        EXPECT_NEAR(lengthAfter, lengthBefore, 0.1) << format;
        EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0640)) << format;
        EXPECT_EQ(fs::last_write_time(path), changed) << format;
        EXPECT_FALSE(fs::exists(path + kRepairSuffix)) << format;
    }
}

TEST(RepairCutOffRecordingTest, FailureLeavesTheOriginalByteForByte) {
    TempDir dir;
    const std::string video = dir.file("video.flv");
    ASSERT_TRUE(MakeMedia(video, 1));
    const std::string garbage = dir.file("garbage.flv");
    WriteFileText(garbage, "FLV but not really a video");
    const std::string blocked = dir.file("blocked.flv");
    fs::copy_file(video, blocked);
    fs::create_directory(blocked + kRepairSuffix);  // the temporary cannot be made
    const auto stop = [] { return false; };

    struct Case {
        std::string path;
        std::function<bool()> proceed;
        int result;
    };
    for (const Case& c : {Case{garbage, {}, -1}, Case{dir.file("missing.flv"), {}, -1},
                          Case{dir.path(), {}, -1}, Case{blocked, {}, -2}, Case{video, stop, -3}}) {
        const std::string before = ReadFileText(c.path);
        EXPECT_EQ(RepairCutOffRecording(c.path, c.proceed), c.result) << c.path;
        EXPECT_EQ(ReadFileText(c.path), before) << c.path;
    }
    EXPECT_FALSE(fs::exists(video + kRepairSuffix));
    EXPECT_TRUE(fs::is_directory(blocked + kRepairSuffix));  // not ours: left alone
}

// A video folder at start-up after recorders ended without finishing their recordings, with
// the real encoder adapter as "capturer" in the current directory for the thumbnails.
TEST(OrphanAdoptionTest, WorkerAdoptsUnlistedRecordingsAndLeavesTheRestAlone) {
    TempDir dir;
    test::ScopedCurrentDirectory current(dir.path());
    fs::create_symlink(QARV_CAPTURER_PROGRAM, dir.file("capturer"));
    ASSERT_EQ(LogOpen(), 0);
    const std::string videoFolder = dir.file("Video");
    const std::string day = videoFolder + "/2015_3_5/";
    for (const char* folder : {"2015_3_5", "2015_03_05", "clips"})
        fs::create_directories(videoFolder + "/" + folder);

    ASSERT_TRUE(test::MakeCutOffMedia(day + "cut.flv", 300000));
    ASSERT_EQ(FlvMetadataDuration(day + "cut.flv"), 0.0);  // what a player sees before the repair
    ASSERT_TRUE(SetModificationTime(day + "cut.flv", 2015, 3, 5, 21, 30, 15));
    ASSERT_TRUE(MakeMedia(day + "whole.flv", 3));
    ASSERT_TRUE(MakeMedia(day + "clip.ts", 1.2));
    fs::copy_file(day + "clip.ts", day + "held.mts");
    fs::copy_file(day + "clip.ts", videoFolder + "/clips/other.ts");
    fs::copy_file(day + "clip.ts", videoFolder + "/2015_03_05/other.ts");
    WriteFileText(day + "empty.flv", "");
    WriteFileText(day + "noise.ts", "not a video at all");
    WriteFileText(day + "listed.flv", "catalogued, so never opened");
    WriteFileText(day + "notes.txt", "text");
    WriteFileText(day + "x_0.jpeg", "a picture");
    WriteFileText(day + "old.flv" + kRepairSuffix, "left by a crash during a repair");
    ASSERT_TRUE(SetModificationTime(day + "old.flv" + kRepairSuffix, 2015, 3, 5, 12, 0, 0));
    {
        VideoInfoXml store(videoFolder + "/VideoInfo.xml", videoFolder);
        VideoElement listed;
        listed.Date = "2015_3_5";
        listed.FileName = "listed.flv";
        listed.Title = "kept";
        listed.Duration = 77;
        listed.Time = "01:02:03";
        ASSERT_EQ(store.AddVideo(listed), 0);
    }
    const std::string wholeBytes = ReadFileText(day + "whole.flv");
    const std::string clipBytes = ReadFileText(day + "clip.ts");

    // Another process still writes this one; it is ended, and the log closed, however the
    // test ends.
    std::string tail = test::CommandOutput("command -v tail");
    tail.pop_back();
    struct Cleanup {
        ProcessHandle holder;
        ~Cleanup() {
            holder.Terminate(0);
            LogClose();
        }
    } cleanup{StartProcessHidden(tail, "tail -f \"" + day + "held.mts\"")};
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!IsFileOpenByOtherProcess(day + "held.mts") && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(IsFileOpenByOtherProcess(day + "held.mts"));

    const auto catalogue = std::make_shared<QarvFileManagement>(videoFolder, videoFolder + "/VideoInfo.xml");
    std::vector<std::string> found;
    for (const OrphanRecordings::Recording& recording : OrphanRecordings(*catalogue).Find())
        found.push_back(recording.date + "/" + recording.fileName);
    EXPECT_EQ(found,
              (std::vector<std::string>{"2015_3_5/clip.ts", "2015_3_5/cut.flv", "2015_3_5/empty.flv",
                                        "2015_3_5/held.mts", "2015_3_5/noise.ts", "2015_3_5/whole.flv"}));
    EXPECT_FALSE(fs::exists(day + "old.flv" + kRepairSuffix));

    const auto window = std::make_shared<test::RecordingMessageTarget>();
    {
        OrphanAdoptionThread worker(catalogue, window);
        ASSERT_EQ(worker.start(), 0);
        ASSERT_TRUE(window->WaitForCount(3, std::chrono::seconds(120)));
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (!worker.idle() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(worker.idle());
    }
    // A picture that takes the encoder longer than the worker waits for comes later.
    const auto picturesMade = [&day] {
        for (const char* name : {"cut.flv", "whole.flv", "clip.ts"}) {
            if (!fs::exists(ThumbnailPath(day + name, 0)))
                return false;
        }
        return !IsProcessRunning(ExecutableName("capturer"));
    };
    const auto picturesDeadline = Clock::now() + std::chrono::seconds(60);
    while (!picturesMade() && Clock::now() < picturesDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(window->messages(), std::vector<test::PostedMessage>(3, {WM_VIDEO_ADDED, 0, 0}));

    std::vector<VideoElement> entries;
    catalogue->ListAll(entries);
    std::vector<std::string> listed;
    for (const VideoElement& entry : entries) {
        listed.push_back(entry.FileName);
        EXPECT_EQ(entry.Date, "2015_3_5");
        if (entry.FileName == "listed.flv") {
            EXPECT_EQ(entry.Title, "kept");
            EXPECT_EQ(entry.Duration, 77);
            EXPECT_EQ(entry.Time, "01:02:03");
            continue;
        }
        EXPECT_EQ(entry.Title, "");
        if (entry.FileName == "cut.flv") {
            EXPECT_EQ(entry.Time, "21:30:15");  // when the recording ended, not when it was repaired
        }
        EXPECT_GE(entry.Duration, 1) << entry.FileName;
        ASSERT_FALSE(entry.Thumbnails.empty()) << entry.FileName;
        for (const std::string& picture : entry.Thumbnails)
            EXPECT_EQ(ReadFileText(picture).substr(0, 2), "\xFF\xD8") << picture;
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"listed.flv", "clip.ts", "cut.flv", "whole.flv"}));

    // The cut-off FLV now states its length; the whole ones were not rewritten.
    double probed = 0;
    ASSERT_EQ(ProbeDuration(day + "cut.flv", probed), 0);
    EXPECT_GT(probed, 1.0);
    EXPECT_NEAR(FlvMetadataDuration(day + "cut.flv"), probed, 0.5);
    EXPECT_EQ(ReadFileText(day + "whole.flv"), wholeBytes);
    EXPECT_EQ(ReadFileText(day + "clip.ts"), clipBytes);
    // The unreadable ones stay as they were.
    EXPECT_EQ(fs::file_size(day + "empty.flv"), 0u);
    EXPECT_EQ(ReadFileText(day + "noise.ts"), "not a video at all");

    const std::string log = ReadFileText(dir.file("Log/log.log"));
    EXPECT_NE(log.find(LogLine(kMsgOrphanRepaired, day + "cut.flv")), std::string::npos) << log;
    for (const char* name : {"cut.flv", "whole.flv", "clip.ts"})
        EXPECT_NE(log.find(LogLine(kMsgOrphanAdopted, day + name)), std::string::npos) << name;
    for (const char* name : {"empty.flv", "noise.ts"})
        EXPECT_NE(log.find(LogLine(kMsgOrphanUnreadable, day + name)), std::string::npos) << name;
    for (const char* name : {"listed.flv", "held.mts", "other.ts", "notes.txt", "x_0.jpeg"})
        EXPECT_EQ(log.find(name), std::string::npos) << name;
    EXPECT_EQ(log.find(LogLine(kMsgOrphanRepaired, day + "whole.flv")), std::string::npos);
}

}  // namespace
}  // namespace qarv
