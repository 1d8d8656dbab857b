// The my-share page with the real web engine against the built site stand-in.
#include "recorder/web/qarv_my_share_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <thread>

#include "common/log.h"
#include "recorder/account/login_register.h"
#include "recorder/sharing/progress_http_upload.h"
#include "recorder/web/url_map.h"
#include "recorder/web/web_view.h"
#include "tests/recorder/sharing/upload_site.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

template <typename Done>
bool Until(Done done, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class MySharePageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(site_.error(), "");
        ASSERT_EQ(LogOpen(), 0);
        const UploadSettings settings = site_.Settings();
        ServerInfo server;
        server.url = settings.baseUrl;
        urls_ = std::make_shared<CUrlMap>(server);
        LoginSettings login;
        login.cookieFile = settings.cookieFile;
        account_ = std::make_shared<LoginRegister>(login);
    }
    void TearDown() override {
        page_.reset();
        LogClose();
    }

    QarvMySharePage& Open() {
        MySharePageServices services;
        services.urls = urls_;
        services.account = account_;
        services.login = [this](QWidget*) {
            ++logins_;
            if (acceptLogin_) {
                ServerInfo server;
                server.url = site_.Settings().baseUrl;
                account_->Login("TenoPalu", "kwp417", server);
            }
            return account_->IsLoggedIn();
        };
        services.openUrl = [this](const QUrl& url) { opened_.push_back(url); };
        page_ = std::make_unique<QarvMySharePage>(nullptr, services);
        page_->show();
        EXPECT_TRUE(Until([&] { return page_->View() != nullptr; }));
        return *page_;
    }
    QString Html() {
        QString html;
        bool done = false;
        page_->View()->PageHtml([&](const QString& text) {
            html = text;
            done = true;
        });
        Until([&] { return done; });
        return html;
    }
    std::string Requests() const { return test::ReadFileText(site_.dir().file("site/requests.log")); }

    test::TempDir logDir_;
    test::ScopedCurrentDirectory cwd_{logDir_.path()};
    test::UploadSite site_{{}, false};
    std::shared_ptr<CUrlMap> urls_;
    std::shared_ptr<LoginRegister> account_;
    std::unique_ptr<QarvMySharePage> page_;
    std::vector<QUrl> opened_;
    int logins_ = 0;
    bool acceptLogin_ = true;
};

TEST_F(MySharePageTest, VanloShowsTheUsersVideosWithTheSessionAfterALogin) {
    Open();
    EXPECT_EQ(page_->Destinations()->count(), 2);
    EXPECT_EQ(page_->Destinations()->itemText(0), QStringLiteral("Vanlo"));
    EXPECT_EQ(page_->Destinations()->itemText(1), QStringLiteral("上传优酷"));
    EXPECT_TRUE(page_->View()->Address().isEmpty());  // nothing loaded before a choice

    // Refused first: nothing loads, and the line names the site, not a session.
    acceptLogin_ = false;
    page_->ChooseDestination(QStringLiteral("Vanlo"));
    EXPECT_EQ(logins_, 1);
    EXPECT_TRUE(page_->View()->Address().isEmpty());
    const std::string log = test::ReadFileText(logDir_.file("Log/log.log"));
    EXPECT_NE(log.find("登录到服务器失败" + SiteOrigin(site_.Settings().baseUrl)), std::string::npos) << log;

    acceptLogin_ = true;
    page_->ChooseDestination(QStringLiteral("Vanlo"));
    ASSERT_TRUE(account_->IsLoggedIn());
    EXPECT_EQ(page_->View()->Address(), AddressWithSession(urls_->AddressOf("Vanlo"), account_->SessionId()));
    ASSERT_TRUE(Until([&] { return Html().contains(QStringLiteral("TenoPalu")); })) << Html().toStdString();
    EXPECT_NE(Requests().find("\"sid_length\":" + std::to_string(account_->SessionId().size())),
              std::string::npos);
    EXPECT_EQ(test::ReadFileText(logDir_.file("Log/log.log")).find(account_->SessionId()), std::string::npos);

    // A video shared meanwhile is listed when "Vanlo" is chosen again.
    ProgressHttpUpload upload(UploadRequest{"desc", site_.MakeVideo("round.flv", "bytes", "我的第一局")},
                              site_.Settings());
    upload.MarkReady();
    ASSERT_EQ(upload.start(), 0);
    ASSERT_TRUE(Until([&] { return upload.Ended(); }));
    EXPECT_EQ(upload.LastResult(), 0);
    page_->ChooseDestination(QStringLiteral("Vanlo"));
    EXPECT_TRUE(Until([&] { return Html().contains(QStringLiteral("我的第一局")); })) << Html().toStdString();

    // The outside page goes to the default browser; the view stays where it was.
    const QUrl shown = page_->View()->Address();
    page_->ChooseDestination(QStringLiteral("上传优酷"));
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].path(), QStringLiteral("/outside/upload.html"));
    EXPECT_EQ(page_->View()->Address(), shown);

    // A session the site does not know (expired): the site's own refusal page shows.
    test::UploadSite other({}, false);
    ServerInfo otherServer;
    otherServer.url = other.Settings().baseUrl;
    urls_ = std::make_shared<CUrlMap>(otherServer);
    page_.reset();
    Open();
    page_->ChooseDestination(QStringLiteral("Vanlo"));
    EXPECT_TRUE(Until([&] { return Html().contains(QStringLiteral("请先登录")); })) << Html().toStdString();
}

// What the engine's pages may not do: open a menu, submit a form with Enter, show script
// dialogs or open windows; and a site that is down shows a page of our own.
TEST_F(MySharePageTest, PagesShowNoMenuNoDialogsAndEnterSubmitsNothing) {
    Open();
    WebView* view = page_->View();
    const QString base = QString::fromStdString(site_.Settings().baseUrl);
    bool loaded = false;
    view->SetLoadFinished([&](bool) { loaded = true; });
    view->Load(QUrl(base + QStringLiteral("Account/Register")));
    ASSERT_TRUE(Until([&] { return loaded && Html().contains(QStringLiteral("<form")); }));
    ASSERT_TRUE(Until([&] { return view->InputWidget() != nullptr; }));
    QWidget* input = view->InputWidget();

    view->RunScript(
        QStringLiteral("document.querySelector('input').focus();"
                       "document.querySelector('input').value='someone';"
                       "alert('x'); window.open('/Account/RetrievePassword');"));
    Until([] { return false; }, 1);  // let the script run
    QApplication::setActiveWindow(page_.get());
    input->setFocus();
    QTest::keyClicks(input, QStringLiteral("abc"));
    // The keys reach the page's field (read back through the document).
    ASSERT_TRUE(Until(
        [&] {
            view->RunScript(
                QStringLiteral("document.body.setAttribute('data-typed', "
                               "document.querySelector('input').value);"));
            return Html().contains(QStringLiteral("data-typed=\"someoneabc\""));
        },
        10));
    QTest::keyClick(input, Qt::Key_Return);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, input->rect().center(),
                           input->mapToGlobal(input->rect().center()));
    QCoreApplication::sendEvent(input, &menu);
    // A submitted form reaches the site within moments: none may come.
    EXPECT_FALSE(Until([&] { return Requests().find("\"method\":\"POST\"") != std::string::npos; }, 3))
        << Requests();
    EXPECT_EQ(Requests().find("RetrievePassword"), std::string::npos);  // no window was opened
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    int windows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        windows += widget->isVisible() ? 1 : 0;
    EXPECT_EQ(windows, 1);  // the page alone

    // A site that is down: our own page, and the window goes on working.
    site_.Stop();
    loaded = false;
    view->Load(QUrl(base + QStringLiteral("Rindle/user_video.php")));
    ASSERT_TRUE(Until([&] { return Html().contains(QStringLiteral("页面暂时无法打开")); }));
}

TEST(AddressWithSessionTest, EscapesTheSession) {
    const std::pair<const char*, const char*> cases[] = {
        {"abc123", "http://127.0.0.1:1/p?sid=abc123"},
        {"a&b=c d#e", "http://127.0.0.1:1/p?sid=a%26b%3Dc%20d%23e"},
        {"", "http://127.0.0.1:1/p?sid="},
    };
    for (const auto& [session, address] : cases)
        EXPECT_EQ(
            AddressWithSession("http://127.0.0.1:1/p", session).toString(QUrl::FullyEncoded).toStdString(),
            address);
}

}  // namespace
}  // namespace qarv
