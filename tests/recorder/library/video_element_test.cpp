#include "recorder/library/video_element.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::TempDir;
using test::WriteFileText;

VideoElement Sample() {
    VideoElement element;
    element.FileName = "game01.flv";
    element.Date = "2014_9_9";
    element.Category = "RPG";
    element.Title = "boss";
    element.Duration = 13;
    element.Time = "02:09:06";
    element.Thumbnails = {"/v/2014_9_9/game01_0.jpeg"};
    return element;
}

TEST(VideoElementTest, Defaults) {
    const VideoElement element;
    EXPECT_EQ(element.Owner, "VipUser");
    EXPECT_FALSE(element.IsFlag);
    EXPECT_FALSE(element.IsUpload);
    EXPECT_EQ(element.Duration, 0);
    EXPECT_TRUE(element.Thumbnails.empty());
    EXPECT_TRUE(element.FileName.empty());
}

TEST(VideoElementTest, EqualityIgnoresTimeAndThumbnailsOnly) {
    const VideoElement a = Sample();
    VideoElement b = a;
    b.Time = "23:59:59";
    b.Thumbnails.clear();
    EXPECT_EQ(a, b);

    const auto differs = [&a](void (*change)(VideoElement&)) {
        VideoElement c = a;
        change(c);
        return !(a == c);
    };
    EXPECT_TRUE(differs([](VideoElement& e) { e.Date = "2014_9_10"; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.FileName = "game02.flv"; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.IsFlag = true; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.IsUpload = true; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.Category = "rpg"; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.Duration = 14; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.Title = "Boss"; }));
    EXPECT_TRUE(differs([](VideoElement& e) { e.Owner = "Other"; }));
}

TEST(VideoElementTest, DateKeyWithoutLeadingZeros) {
    std::tm date{};
    date.tm_year = 2015 - 1900;
    date.tm_mon = 2;
    date.tm_mday = 5;
    EXPECT_EQ(DateKey(date), "2015_3_5");
    date.tm_year = 2014 - 1900;
    date.tm_mon = 11;
    date.tm_mday = 31;
    EXPECT_EQ(DateKey(date), "2014_12_31");

    // Around midnight the day may turn between the readings.
    const auto localKey = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        return DateKey(local);
    };
    const std::string before = localKey();
    const std::string today = TodayKey();
    const std::string after = localKey();
    EXPECT_TRUE(today == before || today == after) << today;
}

TEST(VideoElementTest, TimeOfDayTextHasTwoDigitsEach) {
    std::tm time{};
    time.tm_hour = 2;
    time.tm_min = 9;
    time.tm_sec = 6;
    EXPECT_EQ(TimeOfDayText(time), "02:09:06");
}

TEST(VideoElementTest, ThumbnailsUpToTheFirstGap) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("2014_9_9"));
    for (int index : {0, 1, 3})
        WriteFileText(dir.file("2014_9_9/a.b_" + std::to_string(index) + ".jpeg"), "x");
    VideoElement element;
    element.Date = "2014_9_9";
    element.FileName = "a.b.mp4";
    element.Thumbnails = {"stale"};
    element.BuildThumbnailList(dir.path());
    EXPECT_EQ(element.Thumbnails,
              (std::vector<std::string>{dir.file("2014_9_9/a.b_0.jpeg"), dir.file("2014_9_9/a.b_1.jpeg")}));

    element.FileName = "other.mp4";
    element.BuildThumbnailList(dir.path());
    EXPECT_TRUE(element.Thumbnails.empty());
}

TEST(VideoElementTest, ThumbnailsOfANameWithoutExtensionOrWithLongBase) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("d"));
    const std::string longBase(200, 'n');
    WriteFileText(dir.file("d/video_0.jpeg"), "x");
    WriteFileText(dir.file("d/" + longBase + "_0.jpeg"), "x");
    VideoElement element;
    element.Date = "d";
    element.FileName = "video";
    element.BuildThumbnailList(dir.path());
    EXPECT_EQ(element.Thumbnails, (std::vector<std::string>{dir.file("d/video_0.jpeg")}));
    element.FileName = longBase + ".flv";
    element.BuildThumbnailList(dir.path());
    EXPECT_EQ(element.Thumbnails, (std::vector<std::string>{dir.file("d/" + longBase + "_0.jpeg")}));
}

TEST(ThumbnailIndexTest, FindsWhatSingleLookupsFind) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("d"));
    for (const char* name : {"a.b_0.jpeg", "a.b_1.jpeg", "a.b_3.jpeg", "video_0.jpeg", "c_0.jpeg"})
        WriteFileText(dir.file(std::string("d/") + name), "x");
    // A link to a picture counts, a dangling one does not.
    std::filesystem::create_symlink(dir.file("d/c_0.jpeg"), dir.file("d/c_1.jpeg"));
    std::filesystem::create_symlink(dir.file("d/none.jpeg"), dir.file("d/c_2.jpeg"));
    std::filesystem::create_directories(dir.file("d/sub"));
    WriteFileText(dir.file("d/sub/x_0.jpeg"), "x");

    ThumbnailIndex index(dir.path());
    for (const char* date : {"d", "missing", ""}) {
        for (const char* name : {"a.b.mp4", "video", "c.flv", "sub/x.flv", "none.flv", ""}) {
            VideoElement one;
            one.Date = date;
            one.FileName = name;
            VideoElement many = one;
            many.Thumbnails = {"stale"};
            one.BuildThumbnailList(dir.path());
            index.BuildThumbnailList(many);
            EXPECT_EQ(many.Thumbnails, one.Thumbnails) << date << "/" << name;
        }
    }
    VideoElement element;
    element.Date = "d";
    element.FileName = "c.flv";
    index.BuildThumbnailList(element);
    EXPECT_EQ(element.Thumbnails.size(), 2u);
}

}  // namespace
}  // namespace qarv
