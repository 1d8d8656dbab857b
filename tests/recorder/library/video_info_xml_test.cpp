#include "recorder/library/video_info_xml.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/text.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::ScopedCurrentDirectory;
using test::TempDir;
using test::WriteFileText;

const std::string kDeclarationLine = "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n";
// "中文标题" (a Chinese title) and "游戏" (game) in UTF-8.
const std::string kChineseTitle = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87\xE9\xA2\x98";
const std::string kChineseGame = "\xE6\xB8\xB8\xE6\x88\x8F";

VideoElement Entry(const std::string& date, const std::string& name, int duration = 13,
                   const std::string& title = "", const std::string& time = "02:09:06") {
    VideoElement element;
    element.Date = date;
    element.FileName = name;
    element.Duration = duration;
    element.Title = title;
    element.Time = time;
    return element;
}

std::vector<VideoElement> ListAll(const VideoInfoXml& store) {
    std::vector<VideoElement> list{Entry("stale", "stale")};
    EXPECT_EQ(store.ListAll(list), 0);
    return list;
}

std::vector<std::string> Names(const std::vector<VideoElement>& list) {
    std::vector<std::string> names;
    for (const VideoElement& element : list)
        names.push_back(element.Date + "/" + element.FileName);
    return names;
}

std::string ToGb18030(const std::string& utf8) {
    std::string out;
    EXPECT_EQ(ConvertEncoding("UTF-8", "GB18030", utf8, out), 0);
    return out;
}

// A catalogue folder with the recordings' folder beside it.
class VideoInfoXmlTest : public ::testing::Test {
  protected:
    std::string Path() const { return dir_.file("VideoInfo.xml"); }

    TempDir dir_;
};

TEST_F(VideoInfoXmlTest, FirstStartCreatesDeclarationAndEmptyRoot) {
    VideoInfoXml store(Path(), dir_.path());
    EXPECT_EQ(ReadFileText(Path()), kDeclarationLine + "<VideoRoot />\r\n");
    EXPECT_TRUE(ListAll(store).empty());
}

TEST_F(VideoInfoXmlTest, FileFormatAfterASeriesOfChanges) {
    {
        VideoInfoXml store(Path(), dir_.path());
        VideoElement first = Entry("2014_9_9", "0.flv", 13, "first");
        first.Category = kChineseGame;
        ASSERT_EQ(store.AddVideo(first), 0);
        VideoElement second = Entry("2014_9_9", "1.flv", 125, kChineseTitle, "23:59:59");
        second.IsUpload = true;
        ASSERT_EQ(store.AddVideo(second), 0);
        ASSERT_EQ(store.AddVideo(Entry("2014_9_10", "0.flv", 0, "next day", "00:00:01")), 0);
        VideoElement update = Entry("2014_9_9", "0.flv", 999, "renamed", "11:11:11");
        update.IsFlag = true;
        update.Category = "RPG";
        ASSERT_EQ(store.UpdateVideo(update), 0);
        ASSERT_EQ(store.RemoveVideo(Entry("2014_9_10", "0.flv")), 0);
        ASSERT_EQ(store.AddVideo(Entry("2014_9_10", "2.flv", 7, "a&b <c> \"d\"")), 0);
    }
    const std::string expected =
        kDeclarationLine +
        "<VideoRoot>\r\n"
        "    <DateList Date=\"2014_9_9\">\r\n"
        "        <Element IsFlag=\"1\" IsUpload=\"0\" Catogery=\"RPG\" Duration=\"13\" Title=\"renamed\" "
        "Time=\"02:09:06\">0.flv</Element>\r\n"
        "        <Element IsFlag=\"0\" IsUpload=\"1\" Catogery=\"\" Duration=\"125\" Title=\"" +
        ToGb18030(kChineseTitle) +
        "\" Time=\"23:59:59\">1.flv</Element>\r\n"
        "    </DateList>\r\n"
        "    <DateList Date=\"2014_9_10\">\r\n"
        "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"\" Duration=\"7\" "
        // TinyXML quotes a value holding a double quote with single quotes.
        "Title='a&amp;b &lt;c&gt; &quot;d&quot;' Time=\"02:09:06\">2.flv</Element>\r\n"
        "    </DateList>\r\n"
        "</VideoRoot>\r\n";
    EXPECT_EQ(ReadFileText(Path()), expected);

    // Read back as written.
    VideoInfoXml reloaded(Path(), dir_.path());
    const std::vector<VideoElement> list = ListAll(reloaded);
    ASSERT_EQ(list.size(), 3u);
    VideoElement first = Entry("2014_9_9", "0.flv", 13, "renamed");
    first.IsFlag = true;
    first.Category = "RPG";
    EXPECT_EQ(list[0], first);
    EXPECT_EQ(list[0].Time, "02:09:06");
    VideoElement second = Entry("2014_9_9", "1.flv", 125, kChineseTitle);
    second.IsUpload = true;
    EXPECT_EQ(list[1], second);
    EXPECT_EQ(list[2], Entry("2014_9_10", "2.flv", 7, "a&b <c> \"d\""));
    EXPECT_EQ(list[2].Owner, "VipUser");
    EXPECT_EQ(ReadFileText(Path()), expected);  // loading does not rewrite
}

TEST_F(VideoInfoXmlTest, OnlyExactlyOneIsAMark) {
    WriteFileText(Path(), kDeclarationLine +
                              "<VideoRoot><DateList Date=\"d\">"
                              "<Element IsFlag=\"true\" IsUpload=\"01\">a.flv</Element>"
                              "<Element IsFlag=\"\" IsUpload=\" 1\">b.flv</Element>"
                              "<Element isflag=\"1\" ISUPLOAD=\"1\">c.flv</Element>"
                              "<Element>d.flv</Element>"
                              "</DateList></VideoRoot>");
    VideoInfoXml store(Path(), dir_.path());
    const std::vector<VideoElement> list = ListAll(store);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_FALSE(list[0].IsFlag);
    EXPECT_FALSE(list[0].IsUpload);
    EXPECT_FALSE(list[1].IsFlag);
    EXPECT_FALSE(list[1].IsUpload);
    EXPECT_TRUE(list[2].IsFlag);  // names are found without regard to case
    EXPECT_TRUE(list[2].IsUpload);
    EXPECT_FALSE(list[3].IsFlag);
}

TEST_F(VideoInfoXmlTest, MissingAndOddAttributesReadAsEmptyOrZero) {
    WriteFileText(Path(),
                  kDeclarationLine +
                      "<VideoRoot><DateList Date=\"d\">"
                      "<Element>a.flv</Element>"
                      "<Element Duration=\"abc\" Title=\"\">b.flv</Element>"
                      "<Element Duration=\" 42s\" CATOGERY=\"x\" title=\"t\" time=\"1\">c.flv</Element>"
                      "<Element Duration=\"99999999999\"/>"
                      "</DateList></VideoRoot>");
    VideoInfoXml store(Path(), dir_.path());
    const std::vector<VideoElement> list = ListAll(store);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], Entry("d", "a.flv", 0));
    EXPECT_EQ(list[0].Time, "");
    EXPECT_EQ(list[1].Duration, 0);
    EXPECT_EQ(list[2].Duration, 42);
    EXPECT_EQ(list[2].Category, "x");
    EXPECT_EQ(list[2].Title, "t");
    EXPECT_EQ(list[2].Time, "1");
    EXPECT_EQ(list[3].FileName, "");
    EXPECT_EQ(list[3].Duration, 2147483647);
}

TEST_F(VideoInfoXmlTest, ForeignRootAndChildrenAreReadAndKept) {
    const std::string original = kDeclarationLine +
                                 "<Catalogue Version=\"2\">\r\n"
                                 "    <Day Date=\"2014_9_9\" Extra=\"e\">\r\n"
                                 "        <Clip Title=\"t\">a.flv</Clip>\r\n"
                                 "    </Day>\r\n"
                                 "    <Note />\r\n"
                                 "</Catalogue>\r\n";
    WriteFileText(Path(), original);
    VideoInfoXml store(Path(), dir_.path());
    EXPECT_EQ(Names(ListAll(store)), (std::vector<std::string>{"2014_9_9/a.flv"}));
    ASSERT_EQ(store.Save(), 0);
    EXPECT_EQ(ReadFileText(Path()), original);

    // A new day is appended after the foreign children, under the foreign root.
    ASSERT_EQ(store.AddVideo(Entry("2014_9_10", "b.flv")), 0);
    EXPECT_EQ(Names(ListAll(store)), (std::vector<std::string>{"2014_9_9/a.flv", "2014_9_10/b.flv"}));
    const std::string saved = ReadFileText(Path());
    EXPECT_NE(saved.find("<Catalogue Version=\"2\">"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<Note />"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<DateList Date=\"2014_9_10\">"), std::string::npos) << saved;
}

TEST_F(VideoInfoXmlTest, DateListWithoutDateReadsAsEmptyDate) {
    WriteFileText(Path(),
                  kDeclarationLine + "<VideoRoot><DateList><Element>a.flv</Element></DateList></VideoRoot>");
    VideoInfoXml store(Path(), dir_.path());
    EXPECT_EQ(Names(ListAll(store)), (std::vector<std::string>{"/a.flv"}));
    // An entry without attributes gets none from an update.
    VideoElement update = Entry("", "a.flv");
    update.Title = "title";
    update.IsFlag = true;
    EXPECT_EQ(store.UpdateVideo(update), 0);
    EXPECT_EQ(ReadFileText(Path()), kDeclarationLine +
                                        "<VideoRoot>\r\n"
                                        "    <DateList>\r\n"
                                        "        <Element>a.flv</Element>\r\n"
                                        "    </DateList>\r\n"
                                        "</VideoRoot>\r\n");
    EXPECT_EQ(store.UpdateVideo(Entry("x", "a.flv")), -1);
}

TEST_F(VideoInfoXmlTest, RemovingTheLastEntryKeepsAnEmptyDateList) {
    VideoInfoXml store(Path(), dir_.path());
    ASSERT_EQ(store.AddVideo(Entry("2014_9_9", "a.flv")), 0);
    ASSERT_EQ(store.RemoveVideo(Entry("2014_9_9", "a.flv")), 0);
    EXPECT_TRUE(ListAll(store).empty());
    EXPECT_EQ(ReadFileText(Path()), kDeclarationLine +
                                        "<VideoRoot>\r\n"
                                        "    <DateList Date=\"2014_9_9\" />\r\n"
                                        "</VideoRoot>\r\n");
    // Adding to that day again reuses the list.
    ASSERT_EQ(store.AddVideo(Entry("2014_9_9", "b.flv")), 0);
    ASSERT_EQ(store.root().children().size(), 1u);
    EXPECT_EQ(store.RemoveVideo(Entry("2099_1_1", "b.flv")), 0);
    EXPECT_EQ(ListAll(store).size(), 1u);
}

// An older file may name one file twice on a day: an update takes the first entry,
// RemoveEntry the one equal to the element, RemoveVideo all. Adding a name the day holds
// replaces its entry: one entry per file name and day.
TEST_F(VideoInfoXmlTest, DuplicateNamesAllRemovedFirstUpdated) {
    WriteFileText(Path(),
                  kDeclarationLine +
                      "<VideoRoot><DateList Date=\"d\"><Element Title=\"one\" Duration=\"1\">a.flv</Element>"
                      "<Element Title=\"two\">b.flv</Element><Element Title=\"three\">a.flv</Element>"
                      "<Element Title=\"four\">a.flv</Element></DateList>"
                      "<DateList Date=\"e\"><Element>a.flv</Element></DateList></VideoRoot>");
    VideoInfoXml store(Path(), dir_.path());
    ASSERT_EQ(store.UpdateVideo(Entry("d", "a.flv", 0, "new")), 0);
    const std::vector<VideoElement> list = ListAll(store);
    EXPECT_EQ(list[0].Title, "new");
    EXPECT_EQ(list[0].Duration, 1);  // not touched by an update
    ASSERT_EQ(store.RemoveEntry(list[2]), 0);
    EXPECT_EQ(store.CountVideos("d", "a.flv"), 2);
    ASSERT_EQ(store.RemoveVideo(Entry("d", "a.flv")), 0);
    EXPECT_EQ(Names(ListAll(store)), (std::vector<std::string>{"d/b.flv", "e/a.flv"}));

    ASSERT_EQ(store.AddVideo(Entry("e", "a.flv", 6, "six")), 0);
    VideoInfoXml reloaded(Path(), dir_.path());
    EXPECT_EQ(Names(ListAll(reloaded)), (std::vector<std::string>{"d/b.flv", "e/a.flv"}));
    EXPECT_EQ(ListAll(reloaded)[1].Title, "six");
}

TEST_F(VideoInfoXmlTest, UpdateSetsOnlyAttributesThatExist) {
    WriteFileText(Path(), kDeclarationLine +
                              "<VideoRoot><DateList Date=\"d\">"
                              "<Element isflag=\"0\" IsUpload=\"0\" Catogery=\"old\" Duration=\"5\" "
                              "Time=\"01:02:03\">a.flv</Element>"
                              "</DateList></VideoRoot>");
    VideoInfoXml store(Path(), dir_.path());
    VideoElement update = Entry("d", "a.flv", 77, "title", "09:09:09");
    update.IsFlag = true;
    update.IsUpload = true;
    update.Category = "new";
    ASSERT_EQ(store.UpdateVideo(update), 0);
    EXPECT_EQ(ReadFileText(Path()), kDeclarationLine +
                                        "<VideoRoot>\r\n"
                                        "    <DateList Date=\"d\">\r\n"
                                        "        <Element isflag=\"1\" IsUpload=\"1\" Catogery=\"new\" "
                                        "Duration=\"5\" Time=\"01:02:03\">a.flv</Element>\r\n"
                                        "    </DateList>\r\n"
                                        "</VideoRoot>\r\n");
    EXPECT_EQ(store.UpdateVideo(Entry("d", "missing.flv")), -1);
    EXPECT_EQ(store.UpdateVideo(Entry("e", "a.flv")), -1);
}

TEST_F(VideoInfoXmlTest, NegativeDurationIsWrittenAsZero) {
    VideoInfoXml store(Path(), dir_.path());
    ASSERT_EQ(store.AddVideo(Entry("d", "a.flv", -5)), 0);
    EXPECT_NE(ReadFileText(Path()).find("Duration=\"0\""), std::string::npos);
}

TEST_F(VideoInfoXmlTest, Gb2312ChineseTitlesRoundTrip) {
    const std::string utf8 = kDeclarationLine +
                             "<VideoRoot>\r\n"
                             "    <DateList Date=\"2014_9_9\">\r\n"
                             "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"" +
                             kChineseGame + "\" Duration=\"13\" Title=\"" + kChineseTitle +
                             "\" Time=\"02:09:06\">" + kChineseGame +
                             "01.flv</Element>\r\n"
                             "    </DateList>\r\n"
                             "</VideoRoot>\r\n";
    const std::string bytes = ToGb18030(utf8);
    ASSERT_NE(bytes, utf8);
    WriteFileText(Path(), bytes);
    VideoInfoXml store(Path(), dir_.path());
    std::vector<VideoElement> list = ListAll(store);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Title, kChineseTitle);
    EXPECT_EQ(list[0].Category, kChineseGame);
    EXPECT_EQ(list[0].FileName, kChineseGame + "01.flv");
    ASSERT_EQ(store.Save(), 0);
    EXPECT_EQ(ReadFileText(Path()), bytes);

    list[0].Title = kChineseGame + kChineseTitle;
    ASSERT_EQ(store.UpdateVideo(list[0]), 0);
    VideoInfoXml reloaded(Path(), dir_.path());
    EXPECT_EQ(ListAll(reloaded)[0].Title, kChineseGame + kChineseTitle);
    EXPECT_NE(ReadFileText(Path()).find(ToGb18030(kChineseGame + kChineseTitle)), std::string::npos);
}

TEST_F(VideoInfoXmlTest, TenThousandEntries) {
    std::string text = kDeclarationLine + "<VideoRoot>\r\n";
    for (int day = 0; day < 100; ++day) {
        text += "    <DateList Date=\"2014_1_" + std::to_string(day) + "\">\r\n";
        for (int n = 0; n < 100; ++n) {
            text += "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"c\" Duration=\"" +
                    std::to_string(n) + "\" Title=\"t\" Time=\"02:09:06\">" + std::to_string(n) +
                    ".flv</Element>\r\n";
        }
        text += "    </DateList>\r\n";
    }
    text += "</VideoRoot>\r\n";
    WriteFileText(Path(), text);
    VideoInfoXml store(Path(), dir_.path());
    std::vector<VideoElement> list = ListAll(store);
    ASSERT_EQ(list.size(), 10000u);
    EXPECT_EQ(list[9999].Date, "2014_1_99");
    EXPECT_EQ(list[9999].Duration, 99);
    ASSERT_EQ(store.Save(), 0);
    EXPECT_EQ(ReadFileText(Path()), text);
    ASSERT_EQ(store.AddVideo(Entry("2014_1_50", "new.flv")), 0);
    VideoInfoXml reloaded(Path(), dir_.path());
    list = ListAll(reloaded);
    ASSERT_EQ(list.size(), 10001u);
    EXPECT_EQ(list[5100].FileName, "new.flv");
}

// Lines of the log file written in `dir` by `action`.
template <typename Action>
std::string LogOf(const std::string& dir, Action action) {
    ScopedCurrentDirectory current(dir);
    EXPECT_EQ(LogOpen(), 0);
    action();
    LogClose();
    return ReadFileText(dir + "/Log/log.log");
}

TEST_F(VideoInfoXmlTest, UnreadableCatalogueIsMovedAsideWithItsBytes) {
    const std::string contents[] = {
        "just some words",
        kDeclarationLine,                                                          // no root element
        kDeclarationLine + "<VideoRoot>\r\n    <DateList Date=\"2014_9_9\">",      // cut short
        "<?xml version=\"1.0\" encoding=\"utf-8\" ?><VideoRoot>\xFF</VideoRoot>",  // not decodable
    };
    for (const std::string& content : contents) {
        TempDir dir;
        const std::string path = dir.file("VideoInfo.xml");
        WriteFileText(path, content);
        std::string log = LogOf(dir.path(), [&] {
            VideoInfoXml store(path, dir.path());
            EXPECT_TRUE(ListAll(store).empty());
        });

        // The file is a fresh, empty catalogue ...
        EXPECT_EQ(ReadFileText(path), kDeclarationLine + "<VideoRoot />\r\n");
        // ... and the old bytes lie beside it under a stamped name, which the log gives.
        std::vector<std::string> aside;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename().string().starts_with("VideoInfo.xml.broken-"))
                aside.push_back(entry.path().string());
        }
        ASSERT_EQ(aside.size(), 1u) << content;
        EXPECT_EQ(ReadFileText(aside[0]), content);
        EXPECT_NE(log.find("[ ERROR ]"), std::string::npos) << log;
        EXPECT_NE(log.find(aside[0]), std::string::npos) << log;
    }
}

TEST_F(VideoInfoXmlTest, SecondUnreadableFileInTheSameSecondGetsItsOwnName) {
    WriteFileText(Path(), "first");
    { VideoInfoXml store(Path(), dir_.path()); }
    WriteFileText(Path(), "second");
    { VideoInfoXml store(Path(), dir_.path()); }
    std::vector<std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        if (entry.path().filename().string().starts_with("VideoInfo.xml.broken-"))
            contents.push_back(ReadFileText(entry.path().string()));
    }
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first", "second"}));
}

// Sets or clears the immutable flag of a folder (nothing in it can be renamed or replaced,
// even by root). False if the file system or the process's rights do not allow it.
bool SetImmutable(const std::string& folder, bool on) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

TEST_F(VideoInfoXmlTest, UnreadableCatalogueThatCannotBeMovedIsNeverOverwritten) {
    const std::string folder = dir_.file("Video");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/VideoInfo.xml";
    WriteFileText(path, "not a catalogue");
    if (!SetImmutable(folder, true))
        GTEST_SKIP() << "the immutable flag cannot be set here";
    {
        VideoInfoXml store(path, folder);
        EXPECT_EQ(store.AddVideo(Entry("d", "a.flv")), -1);
        EXPECT_TRUE(ListAll(store).empty());  // not saved: undone
        EXPECT_EQ(ReadFileText(path), "not a catalogue");

        // Once it can be moved, the next save moves it aside and writes the tree.
        ASSERT_TRUE(SetImmutable(folder, false));
        ASSERT_EQ(store.AddVideo(Entry("d", "a.flv")), 0);
    }
    SetImmutable(folder, false);
    VideoInfoXml reloaded(path, folder);
    EXPECT_EQ(Names(ListAll(reloaded)), (std::vector<std::string>{"d/a.flv"}));
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("VideoInfo.xml.broken-")) {
            ++aside;
            EXPECT_EQ(ReadFileText(entry.path().string()), "not a catalogue");
        }
    }
    EXPECT_EQ(aside, 1);
}

// A save that fails (the folder is gone) is reported and undone in memory, so the tree says
// what the callers were told; the next save writes everything.
TEST_F(VideoInfoXmlTest, FailedSaveIsReportedAndUndone) {
    const std::string folder = dir_.file("Video");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/VideoInfo.xml";
    VideoInfoXml store(path, folder);
    ASSERT_EQ(store.AddVideo(Entry("d", "a.flv", 13, "a")), 0);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(store.AddVideo(Entry("d", "a.flv", 1, "replaced")), -1);
    EXPECT_EQ(store.AddVideo(Entry("new day", "c.flv")), -1);
    EXPECT_EQ(store.UpdateVideo(Entry("d", "a.flv", 0, "t")), -2);
    EXPECT_EQ(store.RemoveEntry(Entry("d", "a.flv")), -1);
    EXPECT_EQ(ListAll(store), (std::vector<VideoElement>{Entry("d", "a.flv", 13, "a")}));

    std::filesystem::create_directory(folder);
    ASSERT_EQ(store.AddVideo(Entry("d", "e.flv")), 0);
    VideoInfoXml reloaded(path, folder);
    EXPECT_EQ(Names(ListAll(reloaded)), (std::vector<std::string>{"d/a.flv", "d/e.flv"}));
}

}  // namespace
}  // namespace qarv
