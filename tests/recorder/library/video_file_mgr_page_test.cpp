// The my-videos page offscreen over a real catalogue in a temporary folder; its shares go to
// the built site stand-in.
#include "recorder/library/qarv_video_file_mgr_page.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QProgressBar>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/file_util.h"
#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "common/text.h"
#include "controls/button_ex.h"
#include "controls/check_box_ex.h"
#include "controls/date_time_ctrl_ex.h"
#include "recorder/account/login_register.h"
#include "recorder/library/item_dialog.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/re_name_edit.h"
#include "recorder/library/video_info_xml.h"
#include "recorder/sharing/upload_file_info_manager.h"
#include "tests/recorder/library/test_media.h"
#include "tests/recorder/sharing/upload_site.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using Page = CQarvVideoFileMgrPage;
const QDate kToday(2015, 3, 5);

// Processes posted events until `done` holds (at most 30 s).
template <typename Done>
bool Until(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

class VideoPageTest : public ::testing::Test {
  protected:
    void SetUp() override { qputenv("QARV_TEST_ANSWER", "Yes"); }
    void TearDown() override {
        page_.reset();
        qunsetenv("QARV_TEST_ANSWER");
    }

    std::string Folder() const { return dir_.file("Video"); }

    // Adds an entry of `date` with a video file of `bytes` and `thumbnails` pictures.
    VideoElement Add(const std::string& date, const std::string& file, int thumbnails = 0,
                     std::size_t bytes = 16, bool shared = false) {
        std::filesystem::create_directories(Folder() + "/" + date);
        VideoElement video;
        video.Date = date;
        video.FileName = file;
        video.Title = file;
        video.Duration = 125;
        video.Time = "02:09:06";
        video.IsUpload = shared;
        test::WriteFileText(Folder() + "/" + date + "/" + file, test::RandomBytes(bytes, 7));
        for (int i = 0; i < thumbnails; ++i) {
            QImage picture(160, 120, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 100, 200, 200));
            const std::string base = file.substr(0, file.rfind('.'));
            picture.save(QString::fromStdString(Folder() + "/" + date + "/" + base + "_" + std::to_string(i) +
                                                ".jpeg"));
        }
        VideoInfoXml(Folder() + "/VideoInfo.xml", Folder()).AddVideo(video);
        return video;
    }
    void AddDay(const std::string& date, int count) {
        for (int i = 0; i < count; ++i)
            Add(date, std::to_string(i) + ".flv");
    }

    Page& Open(QDate today = kToday) {
        catalogue_ = std::make_shared<QarvFileManagement>(Folder(), Folder() + "/VideoInfo.xml");
        VideoFileMgrPageServices services;
        services.catalogue = catalogue_;
        services.account = account_;
        services.uploads = uploads_;
        services.today = [today] { return today; };
        services.openFolder = [this](const QUrl& url) { opened_ = url.toLocalFile().toStdString(); };
        services.login = [](QWidget*, QString&) { return false; };
        services.shareDialog = [this](QWidget*, QString& title, QString& category, QString&) {
            ++dialogs_;
            title = shareTitle_;
            category = QStringLiteral("炉石传说");
            return true;
        };
        page_ = std::make_unique<Page>(nullptr, services);
        page_->show();
        Settle();
        return *page_;
    }

    int VisibleRows() const {
        int visible = 0;
        for (int slot = 0; slot < Page::kRows; ++slot)
            visible += page_->Row(slot)->isVisible() ? 1 : 0;
        return visible;
    }
    std::string PagingState() const {
        std::string state;
        for (int id : {Page::kIdFirstPage, Page::kIdPreviousPage, Page::kIdNextPage, Page::kIdLastPage})
            state += page_->Button(id)->isEnabled() ? '1' : '0';
        return state;
    }
    void Click(int id) {
        QTest::mouseClick(page_->Button(id), Qt::LeftButton);
        Settle();
    }
    void Command(int slot, int command) {
        QtMessageTarget(page_.get())
            .post(WM_ITEM_COMMAND, static_cast<std::uintptr_t>(Page::kIdFirstRow + slot), command);
        Settle();
    }
    // The catalogue's entry of `date` and `file` as stored.
    VideoElement Stored(const std::string& date, const std::string& file) {
        std::vector<VideoElement> all;
        VideoInfoXml(Folder() + "/VideoInfo.xml", Folder()).ListAll(all);
        for (const VideoElement& video : all) {
            if (video.Date == date && video.FileName == file)
                return video;
        }
        return VideoElement();
    }

    test::TempDir dir_;
    std::shared_ptr<QarvFileManagement> catalogue_;
    std::shared_ptr<LoginRegister> account_ = std::make_shared<LoginRegister>();
    std::shared_ptr<UploadFileInfoManager> uploads_ = std::make_shared<UploadFileInfoManager>();
    std::unique_ptr<Page> page_;
    std::string opened_;
    int dialogs_ = 0;
    QString shareTitle_ = QStringLiteral("精彩一局");
};

TEST(VideoPageTextTest, DurationsAndDates) {
    const std::pair<long, const char*> durations[] = {{0, "00:00"},      {59, "00:59"},
                                                      {125, "02:05"},    {3600, "1:00:00"},
                                                      {3725, "1:02:05"}, {36000, "10:00:00"}};
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(DurationText(seconds), QString::fromUtf8(text)) << seconds;
    VideoElement video;
    video.Date = "2014_9_9";
    video.Time = "02:09:06";
    EXPECT_EQ(DateTimeText(video), QStringLiteral("2014/9/9 02:09:06"));
    EXPECT_EQ(DateOfKey("2014_9_9"), QDate(2014, 9, 9));
    EXPECT_FALSE(DateOfKey("2014_13_1").isValid());
    EXPECT_FALSE(DateOfKey("../x").isValid());
    EXPECT_EQ(KeyOfDate(QDate(2015, 3, 5)), "2015_3_5");
}

TEST_F(VideoPageTest, PagesShowFourNewestFirstWithTheRightButtons) {
    struct Case {
        int entries;
        std::vector<int> clicks;
        int page;
        int rows;
        const char* paging;  // first, previous, next, last enabled
    };
    const Case cases[] = {
        {0, {}, 1, 0, "0000"},
        {4, {}, 1, 4, "0000"},
        {5, {}, 1, 4, "0011"},
        {5, {Page::kIdNextPage}, 2, 1, "1100"},
        {9, {Page::kIdLastPage}, 3, 1, "1100"},
        {9, {Page::kIdNextPage, Page::kIdNextPage, Page::kIdPreviousPage}, 2, 4, "1111"},
        {9, {Page::kIdLastPage, Page::kIdFirstPage}, 1, 4, "0011"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.entries << " entries, " << c.clicks.size() << " clicks");
        std::filesystem::remove_all(Folder());
        AddDay("2015_3_5", c.entries);
        Open();
        for (int id : c.clicks)
            Click(id);
        EXPECT_EQ(page_->CurrentPage(), c.page);
        EXPECT_EQ(VisibleRows(), c.rows);
        EXPECT_EQ(PagingState(), c.paging);
        EXPECT_EQ(page_->Button(Page::kIdPreview)->isEnabled(), c.entries > 0);
        if (c.entries > 0 && c.clicks.empty()) {  // the last recorded first
            EXPECT_EQ(page_->List().front().FileName, std::to_string(c.entries - 1) + ".flv");
        }
    }
}

TEST_F(VideoPageTest, DeleteRemovesTheEntryAtHandUnlessTheCatalogueCannot) {
    enum File { kPresent, kGone, kUndeletable };
    const std::pair<File, bool> cases[] = {{kPresent, true}, {kGone, true}, {kUndeletable, false}};
    for (const auto& [file, removed] : cases) {
        SCOPED_TRACE(file);
        std::filesystem::remove_all(Folder());
        AddDay("2015_3_4", 1);  // another day's "0.flv" under "全部"
        AddDay("2015_3_5", 5);
        const std::string path = Folder() + "/2015_3_5/0.flv";
        if (file == kGone)
            std::filesystem::remove(path);
        if (file == kUndeletable) {  // a file the catalogue cannot remove, even for root
            std::filesystem::remove(path);
            std::filesystem::create_directories(path + "/held");
        }
        Open();
        Click(Page::kIdLastPage);  // page 2 holds only 2015_3_5/0.flv
        ASSERT_EQ(VisibleRows(), 1);
        Command(0, CItemDialog::kIdDelete);
        EXPECT_EQ(page_->List().size(), removed ? 4u : 5u);
        EXPECT_EQ(page_->CurrentPage(), removed ? 1 : 2);
        EXPECT_EQ(VisibleRows(), 4 - (removed ? 0 : 3));
        EXPECT_EQ(Stored("2015_3_5", "0.flv").FileName.empty(), removed);
        EXPECT_EQ(Stored("2015_3_4", "0.flv").FileName, "0.flv");
        EXPECT_EQ(FileExists(path), file == kUndeletable);
    }
}

TEST_F(VideoPageTest, PreviewStepsThroughTheThumbnailsAndOpensTheRightFolder) {
    Add("2015_3_4", "old.flv", 1);
    Add("2015_3_5", "three.flv", 3);
    Add("2015_3_5", "none.flv", 0);
    Open();
    // Newest first: "none.flv" in slot 0, without pictures.
    EXPECT_TRUE(page_->Row(0)->PicturePath().endsWith(QStringLiteral("Skin/default_jpeg.png")));
    EXPECT_EQ(page_->PreviewCaption(), QStringLiteral("无图片可预览..."));
    Command(1, 0);
    std::vector<QString> captions = {page_->PreviewCaption()};
    for (int i = 0; i < 3; ++i) {
        Click(Page::kIdPreview);
        captions.push_back(page_->PreviewCaption());
    }
    EXPECT_EQ(captions,
              (std::vector<QString>{QStringLiteral("第1张图片！"), QStringLiteral("第2张图片！"),
                                    QStringLiteral("最后一张图片！"), QStringLiteral("第1张图片！")}));
    EXPECT_TRUE(page_->PreviewPath().endsWith(QStringLiteral("three_0.jpeg")));

    // Under "全部" the folder opened is that of the row clicked, not of the first entry.
    QTest::mouseClick(page_->AllBox(), Qt::LeftButton);
    Settle();
    ASSERT_EQ(page_->List().size(), 3u);
    EXPECT_FALSE(page_->DatePicker()->isEnabled());
    page_->OpenFolderAt(page_->Row(2)->geometry().center());
    EXPECT_EQ(opened_, Folder() + "/2015_3_4");
    opened_.clear();
    page_->OpenFolderAt(QPoint(5, 5));  // outside every row and the preview
    EXPECT_EQ(opened_, "");
}

TEST_F(VideoPageTest, StartsOnTheLatestDayUpToTodayAndFollowsNewRecordings) {
    struct Case {
        std::vector<std::string> days;
        QDate selected;
        std::size_t listed;
    };
    const Case cases[] = {
        {{}, kToday, 0},
        {{"2015_3_5", "2015_3_1"}, kToday, 1},
        {{"2014_12_31", "2015_2_28", "2015_3_9"}, QDate(2015, 2, 28), 1},
        {{"2016_1_1"}, kToday, 0},  // every recording after today: the search ends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.days.size());
        std::filesystem::remove_all(Folder());
        for (const std::string& day : c.days)
            AddDay(day, 1);
        Open();
        EXPECT_EQ(page_->SelectedDate(), c.selected);
        EXPECT_EQ(page_->List().size(), c.listed);
    }
    // A recording of today appears only while today is shown.
    page_->SelectDate(QDate(2015, 3, 1));
    std::filesystem::create_directories(Folder() + "/2015_3_5");
    ASSERT_TRUE(test::MakeMedia(Folder() + "/2015_3_5/new.flv", 0.5));
    VideoElement added;
    added.Date = "2015_3_5";
    added.FileName = "new.flv";
    ASSERT_EQ(catalogue_->AddFile(added), 0);
    QtMessageTarget(page_.get()).post(WM_VIDEO_ADDED, 0, 0);
    Settle();
    EXPECT_TRUE(page_->List().empty());
    page_->SelectDate(kToday);
    EXPECT_EQ(page_->List().size(), 1u);
}

TEST_F(VideoPageTest, RetitleAndFavouriteReachTheCatalogue) {
    Add("2015_3_5", "0.flv");
    Open();
    CReNameEdit* editor = page_->Row(0)->TitleEditor();
    // 1,000 characters with line breaks, Chinese and emoji: cut between characters.
    QString title;
    while (title.size() < 1000)
        title += QStringLiteral("第一局😀\n");
    QInputMethodEvent early;
    early.setCommitString(QStringLiteral("x"));
    QCoreApplication::sendEvent(editor, &early);  // typing counts only once editing
    EXPECT_EQ(editor->text(), QStringLiteral("0.flv"));
    QTest::mouseClick(editor, Qt::LeftButton);
    ASSERT_TRUE(editor->Editing());
    editor->selectAll();
    QInputMethodEvent typed;
    typed.setCommitString(title);
    QCoreApplication::sendEvent(editor, &typed);
    editor->EndEditing();
    Settle();
    const std::string stored = Stored("2015_3_5", "0.flv").Title;
    EXPECT_GT(stored.size(), 200u);
    EXPECT_LE(stored.size(), Page::kMaxTextBytes);
    EXPECT_TRUE(IsValidUtf8(stored));
    EXPECT_EQ(stored.substr(0, 9), "第一局");

    // An emptied title is refused and the last good one comes back.
    QTest::mouseClick(editor, Qt::LeftButton);
    editor->clear();
    editor->EndEditing();
    Settle();
    EXPECT_EQ(editor->text().toStdString(), stored);

    for (bool expected : {true, false}) {
        Command(0, CItemDialog::kIdFavourite);
        EXPECT_EQ(Stored("2015_3_5", "0.flv").IsFlag, expected);
        EXPECT_EQ(page_->Row(0)->Favourite(), expected);
    }
}

TEST_F(VideoPageTest, AShareEndsOnTheRecordingSharedWhateverThePageShows) {
    struct Case {
        const char* name;
        std::vector<std::string> fault;
        bool accepted;
    };
    const Case cases[] = {
        {"accepted", {}, true},
        {"refused", {"--fault", "refuse"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Folder());
        // A site that reads slowly, so that the page can be turned while the upload runs.
        std::vector<std::string> arguments = {"--fault-path", "/upload_user_video"};
        if (c.fault.empty())
            arguments.insert(arguments.end(), {"--fault", "slow-reader", "--read-rate", "2097152"});
        else
            arguments.insert(arguments.end(), c.fault.begin(), c.fault.end());
        test::UploadSite site(arguments);
        ASSERT_EQ(site.error(), "");
        UploadSettings settings = site.Settings();
        settings.videoFolder = Folder();
        uploads_ = std::make_shared<UploadFileInfoManager>(settings);
        LoginSettings login;
        login.cookieFile = settings.cookieFile;
        account_ = std::make_shared<LoginRegister>(login);
        ServerInfo server;
        server.url = settings.baseUrl;
        ASSERT_EQ(account_->Login("TenoPalu", "kwp417", server), 0);
        // The shared video is larger than what the sockets hold, so that its progress shows.
        constexpr std::size_t kBytes = 8 << 20;
        for (int i = 0; i < 5; ++i)
            Add("2015_3_5", std::to_string(i) + ".flv", 0, i == 4 ? kBytes : 16);
        Open();
        ASSERT_EQ(page_->List().front().FileName, "4.flv");

        Command(0, CItemDialog::kIdShare);
        EXPECT_EQ(dialogs_, 1);
        if (c.accepted) {
            EXPECT_FALSE(page_->Row(0)->ShareButton()->isEnabled());
            ASSERT_TRUE(Until([&] { return page_->Row(0)->ProgressBar()->isVisible(); }));
        }
        Click(Page::kIdNextPage);  // slot 0 now holds 0.flv
        ASSERT_TRUE(Until([&] { return page_->SharesInFlight() == 0; }));
        const VideoElement shared = Stored("2015_3_5", "4.flv");
        EXPECT_EQ(shared.IsUpload, c.accepted);
        EXPECT_EQ(shared.Title, c.accepted ? "精彩一局" : "4.flv");
        EXPECT_EQ(shared.Category, c.accepted ? "炉石传说" : "");
        EXPECT_FALSE(Stored("2015_3_5", "0.flv").IsUpload);
        EXPECT_FALSE(page_->Row(0)->Shared());
        Click(Page::kIdFirstPage);
        EXPECT_EQ(page_->Row(0)->Shared(), c.accepted);
        EXPECT_TRUE(page_->Row(0)->ShareButton()->isEnabled());
        EXPECT_EQ(site.StoredFile(1, "4.flv").size(), c.accepted ? kBytes : 0u);

        // Sharing it again asks first; "No" leaves everything as it was.
        qputenv("QARV_TEST_ANSWER", "No");
        Command(0, CItemDialog::kIdShare);
        EXPECT_EQ(dialogs_, c.accepted ? 1 : 2);
        qputenv("QARV_TEST_ANSWER", "Yes");
        page_.reset();
        uploads_.reset();  // every upload ended before its site goes
        dialogs_ = 0;
    }
}

}  // namespace
}  // namespace qarv
