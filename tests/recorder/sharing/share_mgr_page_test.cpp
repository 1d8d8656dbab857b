#include "recorder/sharing/share_mgr_page.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>

#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "controls/button_ex.h"
#include "controls/color_static.h"
#include "recorder/account/login_register.h"
#include "recorder/sharing/upload_file_info_manager.h"
#include "tests/support/devsite_process.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

constexpr int kWaitMs = 20000;  // bound on what takes a moment

// A loopback port whose connections wait in the backlog, never accepted: an upload to it fills
// the socket buffers and then runs until it is stopped.
struct SilentListener {
    SilentListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 16);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd); }
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
};

class ShareMgrPageTest : public testing::Test {
  protected:
    void UseSite(int port) {
        UploadSettings settings;
        settings.baseUrl = "http://127.0.0.1:" + std::to_string(port) + "/";
        settings.videoFolder = dir_.file("Video");
        settings.cookieFile = dir_.file("cookie.txt");
        settings.lowSpeedTimeSeconds = 3600;  // the silent site keeps its uploads running
        manager_ = std::make_shared<UploadFileInfoManager>(settings);
        LoginSettings login;
        login.cookieFile = settings.cookieFile;
        account_ = std::make_shared<LoginRegister>(login);
        page_ = std::make_unique<QarvShareMgrPage>(nullptr, ShareMgrPageServices{manager_, account_});
    }
    void TearDown() override {
        page_.reset();
        manager_.reset();  // stops and joins the uploads
    }

    // A task for a video file of `bytes` (sparse, read as zeros).
    VideoElement AddTask(const std::string& fileName, std::uintmax_t bytes = 64u << 20) {
        VideoElement video;
        video.Date = "2024_5_1";
        video.FileName = fileName;
        video.Title = "title of " + fileName;
        const std::filesystem::path file = std::filesystem::path(dir_.file("Video")) / video.Date / fileName;
        std::filesystem::create_directories(file.parent_path());
        test::WriteFileText(file.string(), "");
        std::filesystem::resize_file(file, bytes);
        EXPECT_EQ(manager_->AddTask(UploadRequest{"why", video}, nullptr, 0), 0);
        return video;
    }
    void Show() {
        page_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
    }
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        QCoreApplication::postEvent(page_.get(), new WindowMessageEvent(message, wParam, lParam));
        QCoreApplication::processEvents();
    }
    template <typename T>
    T* Control(int id) const {
        return page_->findChild<T*>(ShareControlName(id));
    }
    ShareFileCheckbox* CheckBox(int row) const {
        return Control<ShareFileCheckbox>(kShareRows[row].checkBox);
    }
    UploadProgressBar* Bar(int row) const { return Control<UploadProgressBar>(kShareRows[row].progressBar); }
    QString Percent(int row) const { return Control<CColorStatic>(kShareRows[row].percentLabel)->text(); }
    QWidget* Stop(int row) const { return Control<QWidget>(kShareRows[row].stopButton); }
    void Click(int id) { QTest::mouseClick(Control<QWidget>(id), Qt::LeftButton, {}, QPoint(10, 10)); }

    // The file names of the rows shown; every other row must be hidden and disabled.
    QStringList ShownRows() const {
        QStringList names;
        for (int row = 0; row < kShareRowCount; ++row) {
            const ShareRowIds& ids = kShareRows[row];
            const bool shown = CheckBox(row)->isVisibleTo(page_.get());
            for (int id :
                 {ids.checkBox, ids.progressBar, ids.percentLabel, ids.stopButton, ids.deleteButton}) {
                EXPECT_EQ(Control<QWidget>(id)->isVisibleTo(page_.get()), shown) << id;
                EXPECT_EQ(Control<QWidget>(id)->isEnabled(), shown) << id;
            }
            if (shown)
                names << CheckBox(row)->Text();
        }
        return names;
    }
    bool Running(const VideoElement& video) const {
        const auto tasks = manager_->ListTasks();
        return std::any_of(tasks.begin(), tasks.end(),
                           [&](auto& t) { return t.video == video && t.running; });
    }

    test::TempDir dir_;
    SilentListener silent_;
    std::shared_ptr<UploadFileInfoManager> manager_;
    std::shared_ptr<LoginRegister> account_;
    std::unique_ptr<QarvShareMgrPage> page_;
};

// Select all also checks hidden rows, which keep it when a task shows them; delete acts only
// on a checked row and keeps the other rows in order.
TEST_F(ShareMgrPageTest, SelectAllAndDelete) {
    UseSite(silent_.port);
    const VideoElement first = AddTask("first.flv");
    const VideoElement middle = AddTask("middle.flv");
    Show();
    EXPECT_EQ(ShownRows(), QStringList({"first.flv", "middle.flv"}));
    EXPECT_EQ(Control<CColorStatic>(QarvShareMgrPage::kIdAccount)->text(), QStringLiteral("未登录"));
    Click(QarvShareMgrPage::kIdSelectAll);
    Click(kShareRows[1].checkBox);  // unchecked again: its delete does nothing
    Click(kShareRows[1].deleteButton);
    QCoreApplication::processEvents();
    EXPECT_TRUE(manager_->Contains(middle));

    AddTask(std::string(140, 'x') + ".flv");
    Post(WM_SHARE_REFRESH, 0, 0);
    const QString cutName(ShareFileCheckbox::kMaxNameCharacters, QLatin1Char('x'));
    EXPECT_EQ(ShownRows(), QStringList({"first.flv", "middle.flv", cutName}));
    EXPECT_TRUE(CheckBox(2)->IsChecked());
    Click(kShareRows[1].checkBox);
    Click(kShareRows[1].deleteButton);
    EXPECT_FALSE(manager_->Contains(middle));
    EXPECT_TRUE(QTest::qWaitFor([&] { return page_->Rows().size() == 2; }, kWaitMs));
    EXPECT_EQ(ShownRows(), QStringList({"first.flv", cutName}));
    EXPECT_TRUE(Running(first));
    for (int row = 0; row < kShareRowCount; ++row)
        EXPECT_TRUE(CheckBox(row)->IsChecked()) << row;
}

TEST_F(ShareMgrPageTest, StopOneStopAllAndCleanUp) {
    UseSite(silent_.port);
    const VideoElement first = AddTask("first.flv");
    const VideoElement second = AddTask("second.flv");
    Show();
    // While open, the page follows the stalled uploads' percentages.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const int percent = manager_->LatestPercent(first);
            return percent > 0 && Percent(0) == QStringLiteral("%1%").arg(percent) &&
                   Bar(0)->value() == percent;
        },
        kWaitMs));
    ASSERT_TRUE(Stop(0)->isEnabled());

    Click(kShareRows[0].stopButton);
    EXPECT_FALSE(Running(first));
    EXPECT_TRUE(Running(second));

    Click(QarvShareMgrPage::kIdStopAll);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Running(second); }, kWaitMs));
    EXPECT_EQ(ShownRows(), QStringList({"first.flv", "second.flv"}));
    Click(QarvShareMgrPage::kIdCleanUp);
    EXPECT_TRUE(QTest::qWaitFor([&] { return page_->Rows().empty(); }, kWaitMs));
    EXPECT_TRUE(ShownRows().isEmpty());
    EXPECT_FALSE(manager_->Contains(first));
}

TEST_F(ShareMgrPageTest, ProgressMessagesShowInTheirRow) {
    UseSite(silent_.port);  // not shown: only the messages move the bars
    EXPECT_FALSE(Bar(0)->Used());
    const struct {
        int row, percent;
        bool stopEnabled;
    } steps[] = {{0, 99, true}, {0, 100, false}, {5, 0, true}};
    for (const auto& step : steps) {
        Stop(step.row)->setEnabled(true);
        Post(WM_UPLOAD_PROGRESS, step.row, step.percent);
        EXPECT_EQ(Bar(step.row)->maximum(), 100);
        EXPECT_EQ(Bar(step.row)->value(), step.percent);
        EXPECT_EQ(Percent(step.row), QStringLiteral("%1%").arg(step.percent));
        EXPECT_EQ(Stop(step.row)->isEnabled(), step.stopEnabled) << step.percent;
    }
    Post(WM_UPLOAD_PROGRESS, kShareRowCount, 50);  // no such row
    Post(WM_UPLOAD_PROGRESS, ~std::uintptr_t{0}, 50);
    for (int row = 0; row < kShareRowCount; ++row)
        EXPECT_NE(Percent(row), QStringLiteral("50%")) << row;
}

// The page as a window of its own over a real login and a real upload to the site stand-in.
TEST_F(ShareMgrPageTest, WindowFollowsARealUploadToTheEnd) {
    test::DevsiteProcess site;
    const int port =
        site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir_.file("site")}, dir_.file("site.err"));
    ASSERT_GT(port, 0) << test::ReadFileText(dir_.file("site.err"));
    UseSite(port);
    ServerInfo server;
    server.url = "http://127.0.0.1:" + std::to_string(port) + "/";
    ASSERT_EQ(account_->Login("TenoPalu", "kwp417", server), 0);
    ASSERT_TRUE(account_->IsLoggedIn()) << account_->LastMessage();

    Show();
    EXPECT_EQ(page_->windowTitle(), QStringLiteral("分享任务"));
    EXPECT_EQ(Control<CColorStatic>(QarvShareMgrPage::kIdAccount)->text(), QStringLiteral("TenoPalu"));
    const VideoElement video = AddTask("shared.flv", 1u << 20);
    Post(WM_SHARE_REFRESH, 0, 0);
    EXPECT_TRUE(CheckBox(0)->isVisible());  // its stop button may already be off: the upload is quick
    EXPECT_EQ(CheckBox(0)->Text(), QStringLiteral("shared.flv"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Percent(0) == QStringLiteral("100%"); }, kWaitMs));
    EXPECT_EQ(Bar(0)->value(), 100);
    EXPECT_FALSE(Stop(0)->isEnabled());

    ASSERT_TRUE(QTest::qWaitFor([&] { return !Running(video); }, kWaitMs));
    EXPECT_EQ(manager_->ListTasks().at(0).result, 0);
    EXPECT_EQ(site.Stop(SIGTERM, 5000), 0);
}

}  // namespace
}  // namespace qarv
