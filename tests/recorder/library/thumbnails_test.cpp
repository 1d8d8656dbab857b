#include "recorder/library/thumbnails.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "recorder/library/video_element.h"
#include "tests/recorder/library/test_media.h"
#include "tests/support/command_output.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::MakeMedia;
using test::ReadFileText;
using test::ScopedCurrentDirectory;
using test::TempDir;
using test::WriteFileText;

using Clock = std::chrono::steady_clock;
using Seconds = std::vector<int>;

TEST(ThumbnailSecondsTest, FiveFromFiveSecondsOneBelow) {
    EXPECT_EQ(ThumbnailSeconds(12.9), (Seconds{0, 2, 4, 6, 8}));
    EXPECT_EQ(ThumbnailSeconds(5), (Seconds{0, 1, 2, 3, 4}));
    EXPECT_EQ(ThumbnailSeconds(9.99), (Seconds{0, 1, 2, 3, 4}));
    EXPECT_EQ(ThumbnailSeconds(600.4), (Seconds{0, 120, 240, 360, 480}));
    EXPECT_EQ(ThumbnailSeconds(4.9), (Seconds{2}));
    EXPECT_EQ(ThumbnailSeconds(1), (Seconds{0}));
    EXPECT_EQ(ThumbnailSeconds(0.7), (Seconds{0}));
}

TEST(ThumbnailSecondsTest, UnusableLengthsGiveOnePictureAtTheStart) {
    EXPECT_EQ(ThumbnailSeconds(0), (Seconds{0}));
    EXPECT_EQ(ThumbnailSeconds(-12), (Seconds{0}));
    EXPECT_EQ(ThumbnailSeconds(std::numeric_limits<double>::quiet_NaN()), (Seconds{0}));
    const Seconds huge = ThumbnailSeconds(1e300);
    ASSERT_EQ(huge.size(), 5u);
    EXPECT_GT(huge[4], huge[3]);  // no overflow into negative seconds
}

TEST(ThumbnailPathTest, CutAtTheLastDotOfTheFileName) {
    EXPECT_EQ(ThumbnailPath("/v/2014_9_9/a.b.mp4", 3), "/v/2014_9_9/a.b_3.jpeg");
    EXPECT_EQ(ThumbnailPath("/v/2014_9_9/game01.flv", 0), "/v/2014_9_9/game01_0.jpeg");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(ThumbnailPath("/v.d/video", 1), "/v.d/video_1.jpeg");
    const std::string longBase = "/v/" + std::string(240, 'x');
    EXPECT_EQ(ThumbnailPath(longBase + ".flv", 4), longBase + "_4.jpeg");
}

TEST(CaptureJpegCommandTest, ExactTextBuiltWhole) {
    EXPECT_EQ(CaptureJpegCommand("/v/2014_9_9/game01.flv", 8, 4),
              " -i \"/v/2014_9_9/game01.flv\" -f image2 -ss 8 -vframes 1 -s 800*600 -y "
              "\"/v/2014_9_9/game01_4.jpeg\"");
    const std::string longPath = "/" + std::string(2000, 'd') + "/" + std::string(250, 'n') + ".flv";
    const std::string command = CaptureJpegCommand(longPath, 120, 2);
    EXPECT_EQ(command, " -i \"" + longPath + "\" -f image2 -ss 120 -vframes 1 -s 800*600 -y \"/" +
                           std::string(2000, 'd') + "/" + std::string(250, 'n') + "_2.jpeg\"");
}

// Runs in a fresh current directory, where a test puts its own "capturer".
class CaptureJpegTest : public ::testing::Test {
  protected:
    void InstallScript(const std::string& body, std::filesystem::perms permissions) {
        const std::string path = dir_.file("capturer");
        WriteFileText(path, "#!/bin/sh\n" + body);
        std::filesystem::permissions(path, permissions);
    }

    TempDir dir_;
    ScopedCurrentDirectory current_{dir_.path()};
};

TEST_F(CaptureJpegTest, PassesEveryArgumentIntact) {
    InstallScript("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > args.txt\n",
                  std::filesystem::perms::owner_all);
    // Spaces, Chinese ("录像") and a long base name.
    const std::string video = dir_.file("my \xE5\xBD\x95\xE5\x83\x8F " + std::string(200, 'v') + ".x.flv");
    EXPECT_EQ(CaptureJpeg(video, 6, 3), 0);
    const std::string expected = "-i\n" + video + "\n-f\nimage2\n-ss\n6\n-vframes\n1\n-s\n800*600\n-y\n" +
                                 video.substr(0, video.size() - 4) + "_3.jpeg\n";
    EXPECT_EQ(ReadFileText(dir_.file("args.txt")), expected);
}

TEST_F(CaptureJpegTest, PathsThatCannotBePassedAreRefused) {
    InstallScript("touch started\n", std::filesystem::perms::owner_all);
    EXPECT_EQ(CaptureJpeg(dir_.file("video"), 0, 0), -1);
    EXPECT_EQ(CaptureJpeg("/a.b/video", 0, 0), -1);
    EXPECT_EQ(CaptureJpeg(dir_.file("x\" -y \"evil.flv"), 0, 0), -1);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("started")));
}

TEST_F(CaptureJpegTest, MissingOrNotExecutableCapturerIsReported) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(CaptureJpeg(dir_.file("a.flv"), 0, 0), 0);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("Capture JPEG Failed, Error: ", 0), 0u) << output;

    InstallScript("touch started\n",
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    testing::internal::CaptureStdout();
    EXPECT_EQ(CaptureJpeg(dir_.file("a.flv"), 0, 0), 0);
    output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("Capture JPEG Failed, Error: ", 0), 0u) << output;
    EXPECT_FALSE(std::filesystem::exists(dir_.file("started")));
}

// An encoder that could not write the picture (a full disk) leaves an empty file behind;
// it must not be listed as a thumbnail. A picture that was written stays.
TEST_F(CaptureJpegTest, EmptyPictureIsRemoved) {
    const std::string video = dir_.file("a.flv");
    InstallScript("touch \"${12}\"\n", std::filesystem::perms::owner_all);
    EXPECT_EQ(CaptureJpeg(video, 2, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("a_0.jpeg")));
    InstallScript("printf 'jpeg' > \"${12}\"\n", std::filesystem::perms::owner_all);
    EXPECT_EQ(CaptureJpeg(video, 2, 0), 0);
    EXPECT_EQ(ReadFileText(dir_.file("a_0.jpeg")), "jpeg");
}

TEST_F(CaptureJpegTest, FailingCapturerReturnsAtOnceHangingOneAfterTheWait) {
    InstallScript("exit 3\n", std::filesystem::perms::owner_all);
    testing::internal::CaptureStdout();
    auto start = Clock::now();
    EXPECT_EQ(CaptureJpeg(dir_.file("a.flv"), 0, 0), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    InstallScript("exec sleep 8\n", std::filesystem::perms::owner_all);
    start = Clock::now();
    EXPECT_EQ(CaptureJpeg(dir_.file("a.flv"), 0, 0), 0);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(kCaptureWaitMs));
    EXPECT_LT(waited, std::chrono::milliseconds(kCaptureWaitMs + 5000));
}

// Width and height of a picture as ffprobe reads them, e.g. "800,600".
std::string PictureSize(const std::string& path) {
    const std::string command =
        "ffprobe -v error -show_entries stream=width,height -of csv=p=0 '" + path + "' 2>/dev/null";
    std::string output = test::CommandOutput(command);
    while (!output.empty() && (output.back() == '\n' || output.back() == ','))
        output.pop_back();
    return output;
}

// With the real encoder adapter as "capturer" in the current directory.
class MakeThumbnailsTest : public CaptureJpegTest {
  protected:
    void SetUp() override {
        std::filesystem::create_symlink(QARV_CAPTURER_PROGRAM, dir_.file("capturer"));
        std::filesystem::create_directory(dir_.file("2014_9_9"));
    }
};

TEST_F(MakeThumbnailsTest, FivePicturesOfEightHundredBySixHundred) {
    const std::string video = dir_.file("2014_9_9/" + std::string(100, 'g') + ".flv");
    ASSERT_TRUE(MakeMedia(video, 6));
    ASSERT_EQ(MakeThumbnails(video), 0);
    VideoElement element;
    element.Date = "2014_9_9";
    element.FileName = std::string(100, 'g') + ".flv";
    element.BuildThumbnailList(dir_.path());
    ASSERT_EQ(element.Thumbnails.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(element.Thumbnails[i], ThumbnailPath(video, i));
        EXPECT_EQ(ReadFileText(element.Thumbnails[i]).substr(0, 2), "\xFF\xD8") << i;
        EXPECT_EQ(PictureSize(element.Thumbnails[i]), "800,600") << i;
    }
}

TEST_F(MakeThumbnailsTest, ShortVideoGetsOnePicture) {
    const std::string video = dir_.file("2014_9_9/short.ts");
    ASSERT_TRUE(MakeMedia(video, 1.5));
    ASSERT_EQ(MakeThumbnails(video), 0);
    EXPECT_TRUE(std::filesystem::exists(ThumbnailPath(video, 0)));
    EXPECT_FALSE(std::filesystem::exists(ThumbnailPath(video, 1)));
}

TEST_F(MakeThumbnailsTest, ProbeFailureMakesNoPictures) {
    const std::string text = dir_.file("2014_9_9/notes.flv");
    WriteFileText(text, "not a video");
    testing::internal::CaptureStderr();
    EXPECT_EQ(MakeThumbnails(text), -2);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(MakeThumbnails(dir_.file("2014_9_9/missing.flv")), -1);
    EXPECT_FALSE(std::filesystem::exists(ThumbnailPath(text, 0)));
}

}  // namespace
}  // namespace qarv
