#include "recorder/library/media_probe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tests/recorder/library/test_media.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::MakeMedia;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// Real media files, made once for the whole suite.
class MediaProbeTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        ASSERT_TRUE(MakeMedia(dir_->file("three.flv"), 3));
        ASSERT_TRUE(MakeMedia(dir_->file("three.ts"), 3));
        ASSERT_TRUE(MakeMedia(dir_->file("three.mpeg"), 3));
        ASSERT_TRUE(MakeMedia(dir_->file("piped.flv"), 3, "flv", true));
        // Over a megabyte, so that the end is looked for in the file's tail.
        ASSERT_TRUE(MakeMedia(dir_->file("long.flv"), 40, "flv", true));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static std::string Media(const std::string& name) { return dir_->file(name); }

    // The first `fraction` of the file `from` written to `to`, as a crashed encoder leaves it.
    static void CutFile(const std::string& from, const std::string& to, double fraction) {
        const std::string bytes = ReadFileText(from);
        WriteFileText(
            to, bytes.substr(0, static_cast<std::size_t>(static_cast<double>(bytes.size()) * fraction)));
    }

    static TempDir* dir_;
};

TempDir* MediaProbeTest::dir_ = nullptr;

TEST_F(MediaProbeTest, ContainersTheRecorderWritesGiveTheirLength) {
    for (const char* name : {"three.flv", "three.ts", "three.mpeg", "piped.flv"}) {
        double seconds = -1;
        EXPECT_EQ(ProbeDuration(Media(name), seconds), 0) << name;
        EXPECT_NEAR(seconds, 3.0, 0.1) << name;
    }
}

TEST_F(MediaProbeTest, FlvCutMidwayIsMeasuredFromItsPackets) {
    TempDir dir;
    // Written to a pipe, the header's length is 0; cut, the file has no trailer either:
    // the file a killed encoder leaves.
    const std::string shortCut = dir.file("short.flv");
    CutFile(Media("piped.flv"), shortCut, 0.5);
    double seconds = -1;
    ASSERT_EQ(ProbeDuration(shortCut, seconds), 0);
    EXPECT_GT(seconds, 0.8);
    EXPECT_LT(seconds, 2.2);

    const std::string longCut = dir.file("long.flv");
    CutFile(Media("long.flv"), longCut, 0.75);
    ASSERT_GT(std::filesystem::file_size(longCut), 1024u * 1024u);
    ASSERT_EQ(ProbeDuration(longCut, seconds), 0);
    EXPECT_GT(seconds, 40 * 0.75 - 4);
    EXPECT_LT(seconds, 40 * 0.75 + 4);
}

TEST_F(MediaProbeTest, TruncatedTransportStreamIsMeasuredToo) {
    TempDir dir;
    const std::string cut = dir.file("cut.ts");
    CutFile(Media("three.ts"), cut, 0.5);
    double seconds = -1;
    ASSERT_EQ(ProbeDuration(cut, seconds), 0);
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, 2.5);
}

TEST_F(MediaProbeTest, FilesThatAreNotMediaAreUnusable) {
    TempDir dir;
    const std::string empty = dir.file("empty.flv");
    WriteFileText(empty, "");
    const std::string text = dir.file("notes.flv");
    WriteFileText(text, "this is a text file, not a video\n");
    const std::string stub = dir.file("stub.flv");
    CutFile(Media("three.flv"), stub, 0.0005);  // a few header bytes
    for (const std::string& path : {empty, text, stub}) {
        double seconds = -1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ProbeDuration(path, seconds), -2) << path;
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(seconds, 0);
        EXPECT_NE(error.find("Could not open input file '" + path + "'"), std::string::npos) << error;
    }
}

TEST_F(MediaProbeTest, UnusableAndMissingPaths) {
    TempDir dir;
    double seconds = -1;
    EXPECT_EQ(ProbeDuration("", seconds), -2);
    EXPECT_EQ(ProbeDuration("a", seconds), -2);
    EXPECT_EQ(seconds, 0);

    // A real video at a path without any "." is refused without being opened.
    const std::string noDot = dir.file("video");
    std::filesystem::copy_file(Media("three.flv"), noDot);
    ASSERT_EQ(noDot.find('.'), std::string::npos);
    seconds = -1;
    EXPECT_EQ(ProbeDuration(noDot, seconds), -2);
    EXPECT_EQ(seconds, 0);

    // Deleted before the probe.
    const std::string gone = dir.file("gone.flv");
    std::filesystem::copy_file(Media("three.flv"), gone);
    std::filesystem::remove(gone);
    seconds = -1;
    EXPECT_EQ(ProbeDuration(gone, seconds), -1);
    EXPECT_EQ(seconds, 0);

    // A folder, and a FIFO (opening it would wait for a writer for ever).
    std::filesystem::create_directory(dir.file("folder.flv"));
    EXPECT_EQ(ProbeDuration(dir.file("folder.flv"), seconds), -2);
    ASSERT_EQ(::mkfifo(dir.file("fifo.flv").c_str(), 0600), 0);
    EXPECT_EQ(ProbeDuration(dir.file("fifo.flv"), seconds), -2);
}

TEST_F(MediaProbeTest, NamesWithColonsAreFilesNotUrls) {
    TempDir dir;
    const std::string path = dir.file("file:game 1.flv");
    std::filesystem::copy_file(Media("three.flv"), path);
    double seconds = 0;
    ASSERT_EQ(ProbeDuration(path, seconds), 0);
    EXPECT_NEAR(seconds, 3.0, 0.1);
}

TEST_F(MediaProbeTest, ProbesFromSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<double> results(4, -1);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] {
            const char* names[] = {"three.flv", "three.ts", "three.mpeg", "piped.flv"};
            ProbeDuration(Media(names[i]), results[i]);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (double seconds : results)
        EXPECT_NEAR(seconds, 3.0, 0.1);
}

TEST(RoundDurationTest, NearestSecondHalvesUp) {
    EXPECT_EQ(RoundDuration(12.5), 13);
    EXPECT_EQ(RoundDuration(12.49), 12);
    EXPECT_EQ(RoundDuration(0.5), 1);
    EXPECT_EQ(RoundDuration(0.49), 0);
    EXPECT_EQ(RoundDuration(3.025), 3);
}

TEST(RoundDurationTest, NeverNegativeOrOutOfRange) {
    EXPECT_EQ(RoundDuration(0), 0);
    EXPECT_EQ(RoundDuration(-3.7), 0);
    EXPECT_EQ(RoundDuration(-9.2e12), 0);  // AV_NOPTS_VALUE scaled to seconds
    EXPECT_EQ(RoundDuration(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundDuration(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(RoundDuration(3e9), INT_MAX);
}

}  // namespace
}  // namespace qarv
