#include "recorder/library/qarv_file_management.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/log.h"
#include "common/text.h"
#include "recorder/library/thumbnails.h"
#include "tests/recorder/library/test_media.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::MakeMedia;
using test::ReadFileText;
using test::ScopedCurrentDirectory;
using test::SetModificationTime;
using test::TempDir;
using test::WriteFileText;

namespace fs = std::filesystem;

const std::string kDeclarationLine = "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n";
// "中文标题" (a Chinese title) in UTF-8.
const std::string kChineseTitle = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87\xE9\xA2\x98";

VideoElement Recording(const std::string& date, const std::string& name) {
    VideoElement element;
    element.Date = date;
    element.FileName = name;
    return element;
}

std::vector<std::string> Names(const std::vector<VideoElement>& list) {
    std::vector<std::string> names;
    for (const VideoElement& element : list)
        names.push_back(element.Date + "/" + element.FileName);
    return names;
}

// The catalogue's entries as a page lists them.
std::vector<VideoElement> Listed(QarvFileManagement& manager) {
    std::vector<VideoElement> list;
    manager.ListAll(list, ThumbnailLookup::kSkip);
    return list;
}

std::string DateKeyDaysAgo(int days) {
    const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(days) * 24 * 3600;
    std::tm local{};
    ::localtime_r(&when, &local);
    return DateKey(local);
}

// A video folder with its catalogue in a fresh directory that is also the current one (the
// log is written there); real 3-second videos are made once for the whole suite.
class QarvFileManagementTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        media_ = new TempDir();
        ASSERT_TRUE(MakeMedia(media_->file("three.flv"), 3));
        ASSERT_TRUE(MakeMedia(media_->file("piped.flv"), 3, "flv", true));
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }

    void SetUp() override {
        fs::create_directory(Folder());
        ASSERT_EQ(LogOpen(), 0);
    }
    void TearDown() override { LogClose(); }

    std::string Folder() const { return dir_.file("Video"); }
    std::string Catalogue() const { return dir_.file("Video/VideoInfo.xml"); }
    std::string VideoPath(const std::string& date, const std::string& name) const {
        return Folder() + "/" + date + "/" + name;
    }
    std::string Log() const { return ReadFileText(dir_.file("Log/log.log")); }

    // Puts a copy of a suite video at date/name, last changed at hh:mm:ss on 9 September 2014.
    std::string PlaceVideo(const std::string& date, const std::string& name, int hour = 2, int minute = 9,
                           int second = 6, const std::string& source = "three.flv") {
        fs::create_directories(Folder() + "/" + date);
        const std::string path = VideoPath(date, name);
        fs::copy_file(media_->file(source), path, fs::copy_options::overwrite_existing);
        EXPECT_TRUE(SetModificationTime(path, 2014, 9, 9, hour, minute, second));
        return path;
    }

    static TempDir* media_;
    TempDir dir_;
    ScopedCurrentDirectory current_{dir_.path()};
};

TempDir* QarvFileManagementTest::media_ = nullptr;

TEST_F(QarvFileManagementTest, FileFormatAfterAddUpdateAndDelete) {
    QarvFileManagement manager(Folder(), Catalogue());
    EXPECT_EQ(ReadFileText(Catalogue()), kDeclarationLine + "<VideoRoot />\r\n");

    const std::string first = PlaceVideo("2014_9_9", "0.flv");
    PlaceVideo("2014_9_9", "1.flv", 2, 10, 0);
    PlaceVideo("2014_9_10", "0.flv", 23, 59, 58);
    for (int i = 0; i < 5; ++i)
        WriteFileText(ThumbnailPath(first, i), "jpeg");

    VideoElement second = Recording("2014_9_9", "1.flv");
    second.Title = "boss";
    second.Category = "RPG";
    second.IsUpload = true;
    EXPECT_EQ(manager.AddFile(Recording("2014_9_9", "0.flv")), 0);
    EXPECT_EQ(manager.AddFile(second), 0);
    EXPECT_EQ(manager.AddFile(Recording("2014_9_10", "0.flv")), 0);

    second.Title = kChineseTitle;
    second.IsFlag = true;
    second.Duration = 1000;  // not written by an update
    EXPECT_EQ(manager.UpdateVideo(second), 0);
    EXPECT_EQ(manager.DeleteFile(Recording("2014_9_9", "0.flv")), 0);

    std::string titleBytes;
    ASSERT_EQ(ConvertEncoding("UTF-8", "GB18030", kChineseTitle, titleBytes), 0);
    EXPECT_EQ(ReadFileText(Catalogue()),
              kDeclarationLine +
                  "<VideoRoot>\r\n"
                  "    <DateList Date=\"2014_9_9\">\r\n"
                  "        <Element IsFlag=\"1\" IsUpload=\"1\" Catogery=\"RPG\" Duration=\"3\" Title=\"" +
                  titleBytes +
                  "\" Time=\"02:10:00\">1.flv</Element>\r\n"
                  "    </DateList>\r\n"
                  "    <DateList Date=\"2014_9_10\">\r\n"
                  "        <Element IsFlag=\"0\" IsUpload=\"0\" Catogery=\"\" Duration=\"3\" Title=\"\" "
                  "Time=\"23:59:58\">0.flv</Element>\r\n"
                  "    </DateList>\r\n"
                  "</VideoRoot>\r\n");
    EXPECT_FALSE(fs::exists(first));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(fs::exists(ThumbnailPath(first, i))) << i;
    EXPECT_EQ(Names(Listed(manager)), (std::vector<std::string>{"2014_9_9/1.flv", "2014_9_10/0.flv"}));

    const std::string log = Log();
    EXPECT_NE(log.find("[添加文件 " + first + "][ File:QarvFileManagement ]"), std::string::npos) << log;
    EXPECT_NE(log.find("[ WARN ][ -22 ]"), std::string::npos) << log;
    EXPECT_NE(log.find("[删除文件 " + first + "][ File:QarvFileManagement ]"), std::string::npos) << log;
    EXPECT_NE(log.find("[ WARN ][ -23 ]"), std::string::npos) << log;
}

TEST_F(QarvFileManagementTest, AddFileKeepsTheStartDayOfARecordingPastMidnight) {
    QarvFileManagement manager(Folder(), Catalogue());
    const std::string startDay = DateKeyDaysAgo(1);
    ASSERT_NE(startDay, manager.GetTodayKey());
    PlaceVideo(startDay, "night.flv");
    EXPECT_EQ(manager.AddFile(Recording(startDay, "night.flv")), 0);

    std::vector<VideoElement> list;
    ASSERT_EQ(manager.ListAll(list), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Date, startDay);
    EXPECT_EQ(list[0].Duration, 3);
    EXPECT_EQ(list[0].Time, "02:09:06");
    EXPECT_EQ(ReadFileText(Catalogue()).find("Date=\"" + manager.GetTodayKey() + "\""), std::string::npos);
}

TEST_F(QarvFileManagementTest, AddFileOfAMissingFileChangesNothing) {
    QarvFileManagement manager(Folder(), Catalogue());
    const std::string before = ReadFileText(Catalogue());
    EXPECT_EQ(manager.AddFile(Recording("2014_9_9", "missing.flv")), 0);
    EXPECT_EQ(ReadFileText(Catalogue()), before);
    EXPECT_TRUE(Listed(manager).empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(QarvFileManagementTest, AddFileOfAnUnprobeableFileLogsButAddsNothing) {
    QarvFileManagement manager(Folder(), Catalogue());
    fs::create_directories(Folder() + "/2014_9_9");
    const std::string path = VideoPath("2014_9_9", "notes.flv");
    WriteFileText(path, "not a video");
    testing::internal::CaptureStderr();
    EXPECT_EQ(manager.AddFile(Recording("2014_9_9", "notes.flv")), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFileText(Catalogue()), kDeclarationLine + "<VideoRoot />\r\n");
    EXPECT_TRUE(Listed(manager).empty());
    EXPECT_NE(Log().find("[添加文件 " + path + "]"), std::string::npos);
}

TEST_F(QarvFileManagementTest, AddFileMeasuresAVideoWithoutLengthInItsHeader) {
    QarvFileManagement manager(Folder(), Catalogue());
    const std::string path = PlaceVideo("2014_9_9", "killed.flv", 2, 9, 6, "piped.flv");
    const std::string bytes = ReadFileText(path);
    WriteFileText(path, bytes.substr(0, bytes.size() * 2 / 3));  // an encoder killed midway
    EXPECT_EQ(manager.AddFile(Recording("2014_9_9", "killed.flv")), 0);
    const std::vector<VideoElement> videos = Listed(manager);
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_GE(videos[0].Duration, 1);
    EXPECT_LE(videos[0].Duration, 3);
}

// A date or file name that is empty, "." or "..", or holds a separator or a NUL (a crafted
// catalogue can hold any of them) would lead out of its day folder: nothing is added, deleted
// or looked up, whatever lies in the video folder itself or beyond it.
TEST_F(QarvFileManagementTest, NamesLeavingTheirFolderAreRefused) {
    WriteFileText(Catalogue(),
                  kDeclarationLine + "<VideoRoot><DateList><Element>x.flv</Element></DateList></VideoRoot>");
    QarvFileManagement manager(Folder(), Catalogue());
    PlaceVideo("2014_9_9", "a.flv");
    const std::vector<std::string> kept = {
        dir_.file("outside.flv"), Folder() + "/x.flv", Folder() + "/x_0.jpeg",
        Folder() + "/VideoInfo.xml.broken-20140909-020906", VideoPath("2014_9_9", "a.flv")};
    for (const std::string& path : kept)
        fs::copy_file(media_->file("three.flv"), path, fs::copy_options::overwrite_existing);
    std::vector<VideoElement> listed;
    manager.ListAll(listed);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].Thumbnails.empty());

    const VideoElement refused[] = {
        Recording("", "x.flv"),
        Recording("", "VideoInfo.xml.broken-20140909-020906"),
        Recording("2014_9_9", ""),
        Recording("..", "outside.flv"),
        Recording(".", "x.flv"),
        Recording("2014_9_9", "../../outside.flv"),
        Recording("2014_9_9", std::string("a.flv\0.x", 8)),
        Recording(std::string("2014_9_9\0", 9), "a.flv"),
    };
    for (VideoElement element : refused) {
        SCOPED_TRACE(element.Date + "/" + element.FileName);
        EXPECT_EQ(manager.GetVideoPath(element), "");
        EXPECT_EQ(manager.AddFile(element), 0);
        EXPECT_EQ(manager.DeleteFile(element), -1);
        element.BuildThumbnailList(Folder());
        EXPECT_TRUE(element.Thumbnails.empty());
    }
    EXPECT_EQ(manager.DeleteFile(listed[0]), -1);
    EXPECT_EQ(Listed(manager).size(), 1u);
    for (const std::string& path : kept)
        EXPECT_TRUE(fs::exists(path)) << path;
}

// The session of a review: a title holding a character that the catalogue's encoding cannot
// carry, then more changes. Each reaches the file, and the title reads back whole.
TEST_F(QarvFileManagementTest, ATitleOutsideTheFilesEncodingStopsNoSave) {
    const std::string title = kChineseTitle + "\xEE\x9E\x8D";  // U+E78D: no GB18030 bytes here
    {
        QarvFileManagement manager(Folder(), Catalogue());
        for (const char* name : {"0.flv", "1.flv", "2.flv"}) {
            PlaceVideo("2014_9_9", name);
            VideoElement element = Recording("2014_9_9", name);
            element.Title = name == std::string("1.flv") ? title : "";
            EXPECT_EQ(manager.AddFile(element), 0);
        }
        EXPECT_EQ(manager.DeleteFile(Recording("2014_9_9", "0.flv")), 0);
    }
    QarvFileManagement reloaded(Folder(), Catalogue());
    std::vector<VideoElement> list;
    reloaded.ListAll(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"2014_9_9/1.flv", "2014_9_9/2.flv"}));
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].Title, title);
}

// A recording given the name of an entry whose file is gone takes that entry's place: one
// entry per file name and day, describing the file that is there.
TEST_F(QarvFileManagementTest, ANewRecordingUnderACataloguedNameReplacesItsEntry) {
    QarvFileManagement manager(Folder(), Catalogue());
    VideoElement stale = Recording("2014_9_9", "0.flv");
    stale.Title = "old";
    stale.IsUpload = true;
    const std::string path = PlaceVideo("2014_9_9", "0.flv");
    ASSERT_EQ(manager.AddFile(stale), 0);
    fs::remove(path);  // deleted by hand; the next recording gets its number

    PlaceVideo("2014_9_9", "0.flv", 5, 6, 7);
    ASSERT_EQ(manager.AddFile(Recording("2014_9_9", "0.flv")), 0);
    std::vector<VideoElement> list;
    manager.ListAll(list);
    ASSERT_EQ(Names(list), (std::vector<std::string>{"2014_9_9/0.flv"}));
    EXPECT_EQ(list[0].Title, "");
    EXPECT_FALSE(list[0].IsUpload);
    EXPECT_EQ(list[0].Time, "05:06:07");
}

// An older catalogue may hold two entries of one file on one day (here in two lists of that
// day): deleting one removes that entry only; the files go with the last entry naming them.
TEST_F(QarvFileManagementTest, DeletingOneOfTwoEntriesOfAFileKeepsTheFileForTheOther) {
    const std::string path = PlaceVideo("2014_9_9", "a.flv");
    WriteFileText(ThumbnailPath(path, 0), "jpeg");
    WriteFileText(Catalogue(),
                  kDeclarationLine +
                      "<VideoRoot><DateList Date=\"2014_9_9\"><Element Title=\"old\">a.flv</Element>"
                      "<Element>b.flv</Element></DateList><DateList Date=\"2014_9_9\">"
                      "<Element Title=\"new\">a.flv</Element></DateList></VideoRoot>");
    QarvFileManagement manager(Folder(), Catalogue());
    std::vector<VideoElement> list;
    manager.ListAll(list);
    ASSERT_EQ(list.size(), 3u);

    EXPECT_EQ(manager.DeleteFile(list[2]), 0);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(fs::exists(ThumbnailPath(path, 0)));
    EXPECT_EQ(Names(Listed(manager)), (std::vector<std::string>{"2014_9_9/a.flv", "2014_9_9/b.flv"}));
    EXPECT_EQ(ReadFileText(Catalogue()).find("new"), std::string::npos);

    EXPECT_EQ(manager.DeleteFile(list[0]), 0);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(ThumbnailPath(path, 0)));
    manager.ListAll(list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"2014_9_9/b.flv"}));
    const std::string log = Log();
    EXPECT_EQ(log.find("删除文件"), log.rfind("删除文件")) << log;  // one line
}

TEST_F(QarvFileManagementTest, DeleteOfAFileAlreadyGoneRemovesItsEntry) {
    QarvFileManagement manager(Folder(), Catalogue());
    const std::string path = PlaceVideo("2014_9_9", "a.flv");
    ASSERT_EQ(manager.AddFile(Recording("2014_9_9", "a.flv")), 0);
    WriteFileText(ThumbnailPath(path, 0), "jpeg");
    fs::remove(path);  // deleted by another program

    EXPECT_EQ(manager.DeleteFile(Recording("2014_9_9", "a.flv")), 0);
    EXPECT_FALSE(fs::exists(ThumbnailPath(path, 0)));
    EXPECT_TRUE(Listed(manager).empty());
    std::vector<VideoElement> list;
    manager.ListAll(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(Log().find("删除文件"), std::string::npos);
}

TEST_F(QarvFileManagementTest, DeleteThatCannotRemoveAFileKeepsTheEntry) {
    QarvFileManagement manager(Folder(), Catalogue());
    const std::string path = PlaceVideo("2014_9_9", "a.flv");
    ASSERT_EQ(manager.AddFile(Recording("2014_9_9", "a.flv")), 0);
    // A thumbnail that is a folder with something in it cannot be deleted.
    WriteFileText(ThumbnailPath(path, 0), "jpeg");
    fs::create_directories(ThumbnailPath(path, 1) + "/inside");
    const std::string catalogue = ReadFileText(Catalogue());

    EXPECT_EQ(manager.DeleteFile(Recording("2014_9_9", "a.flv")), -1);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(ThumbnailPath(path, 0)));
    EXPECT_EQ(ReadFileText(Catalogue()), catalogue);
    EXPECT_EQ(Listed(manager).size(), 1u);

    // A video path that is a folder is not deleted either.
    fs::create_directories(VideoPath("2014_9_9", "dir.flv"));
    EXPECT_EQ(manager.DeleteFile(Recording("2014_9_9", "dir.flv")), -1);
    EXPECT_TRUE(fs::exists(VideoPath("2014_9_9", "dir.flv")));
}

TEST_F(QarvFileManagementTest, VideosByDateAppendsExactMatchesInFileOrder) {
    WriteFileText(Catalogue(), kDeclarationLine +
                                   "<VideoRoot>"
                                   "<DateList Date=\"2014_9_1\"><Element>a.flv</Element></DateList>"
                                   "<DateList Date=\"2014_9_10\"><Element>b.flv</Element>"
                                   "<Element>c.flv</Element></DateList>"
                                   "<DateList Date=\"2014_9_1\"><Element>ignored.flv</Element></DateList>"
                                   "</VideoRoot>");
    QarvFileManagement manager(Folder(), Catalogue());
    EXPECT_EQ(Listed(manager).size(), 4u);
    std::vector<VideoElement> list{Recording("kept", "kept.flv")};
    EXPECT_EQ(manager.GetVideosByDate("2014_9_10", list), 0);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"kept/kept.flv", "2014_9_10/b.flv", "2014_9_10/c.flv"}));
    list.clear();
    EXPECT_EQ(manager.GetVideosByDate("2014_9_1", list), 0);
    // Both lists of that date are listed; only the first receives new entries.
    EXPECT_EQ(Names(list), (std::vector<std::string>{"2014_9_1/a.flv", "2014_9_1/ignored.flv"}));
}

TEST_F(QarvFileManagementTest, PathsAndFileTimes) {
    QarvFileManagement manager(Folder(), Catalogue());
    EXPECT_EQ(manager.GetVideoPath(Recording("2014_9_9", "a.flv")), Folder() + "/2014_9_9/a.flv");
    const std::string path = PlaceVideo("2014_9_9", "a.flv", 7, 5, 3);
    std::string text = "unchanged";
    EXPECT_EQ(QarvFileManagement::GetFileTimeText(Folder() + "/missing.flv", text), -1);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(QarvFileManagement::GetFileTimeText(path, text), 0);
    EXPECT_EQ(text, "07:05:03");
}

TEST_F(QarvFileManagementTest, WorkerAddsWhileTheUserInterfaceUpdatesAndLists) {
    constexpr int kRecordings = 24;
    WriteFileText(Catalogue(), kDeclarationLine +
                                   "<VideoRoot><DateList Date=\"2014_9_8\"><Element IsFlag=\"0\" "
                                   "Title=\"\">old.flv</Element></DateList></VideoRoot>");
    for (int i = 0; i < kRecordings; ++i)
        PlaceVideo("2014_9_9", std::to_string(i) + ".flv");
    QarvFileManagement manager(Folder(), Catalogue());

    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < kRecordings; ++i)
            manager.AddFile(Recording("2014_9_9", std::to_string(i) + ".flv"));
        done = true;
    });
    int updates = 0;
    while (!done || updates < 50) {
        VideoElement old = Recording("2014_9_8", "old.flv");
        old.Title = "title " + std::to_string(updates);
        EXPECT_EQ(manager.UpdateVideo(old), 0);
        std::vector<VideoElement> list;
        manager.ListAll(list);
        EXPECT_GE(list.size(), 1u);
        manager.GetVideosByDate("2014_9_9", list);
        ++updates;
    }
    worker.join();

    QarvFileManagement reloaded(Folder(), Catalogue());
    const std::vector<VideoElement> videos = Listed(reloaded);
    ASSERT_EQ(videos.size(), static_cast<std::size_t>(kRecordings + 1));
    EXPECT_EQ(videos[0].Title, "title " + std::to_string(updates - 1));
    for (int i = 1; i <= kRecordings; ++i)
        EXPECT_EQ(videos[i].Duration, 3);
    EXPECT_EQ(Listed(manager).size(), static_cast<std::size_t>(kRecordings + 1));
}

TEST_F(QarvFileManagementTest, InstanceIsMadeOnceForTheCurrentDirectory) {
    const std::shared_ptr<QarvFileManagement> instance = QarvFileManagement::GetInstance();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(QarvFileManagement::GetInstance(), instance);
    EXPECT_EQ(instance->GetVideoFolder(), Folder());
    EXPECT_EQ(instance->GetCataloguePath(), "./Video/VideoInfo.xml");
    EXPECT_EQ(ReadFileText(Catalogue()), kDeclarationLine + "<VideoRoot />\r\n");
}

}  // namespace
}  // namespace qarv
