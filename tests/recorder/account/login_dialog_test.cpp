#include "recorder/account/login_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/password_key.h"
#include "controls/button_ex.h"
#include "recorder/account/login_register.h"
#include "tests/recorder/account/test_site.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::TempDir;
using test::TestSite;

// A dialog against a test site, with a client of its own and the links recorded.
class LoginDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        LoginSettings settings;
        settings.cookieFile = dir_.file("cookie.txt");
        client_ = std::make_shared<LoginRegister>(settings);
        serverInfo_ = site_.serverInfo();
    }

    std::unique_ptr<LoginDialog> MakeDialog() {
        LoginDialogServices services;
        services.client = client_;
        services.serverInfo = [this] { return serverInfo_; };
        services.openUrl = [this](const QUrl& url) { opened_.push_back(url); };
        auto dialog = std::make_unique<LoginDialog>(result_, nullptr, services);
        dialog->show();
        return dialog;
    }

    static QLineEdit* Field(LoginDialog& dialog, int id) {
        return dialog.findChild<QLineEdit*>(QStringLiteral("control%1").arg(id));
    }
    static QString Status(LoginDialog& dialog) {
        return dialog.findChild<QLabel*>(QStringLiteral("control%1").arg(LoginDialog::kIdStatus))->text();
    }
    static void Fill(LoginDialog& dialog, const QString& account, const QString& password) {
        Field(dialog, LoginDialog::kIdAccount)->setText(account);
        Field(dialog, LoginDialog::kIdPassword)->setText(password);
    }
    static void ClickLogin(LoginDialog& dialog) {
        auto* button = dialog.findChild<CButtonEx*>(QStringLiteral("control%1").arg(LoginDialog::kIdLogin));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    TempDir dir_;
    TestSite site_;
    ServerInfo serverInfo_;
    std::shared_ptr<LoginRegister> client_;
    QString result_ = QStringLiteral("untouched");
    std::vector<QUrl> opened_;
};

TEST_F(LoginDialogTest, EmptyFieldSendsNothing) {
    auto dialog = MakeDialog();
    for (const auto& [account, password] :
         {std::pair{"alice", ""}, std::pair{"", "secret"}, std::pair{"", ""}}) {
        Fill(*dialog, QString::fromUtf8(account), QString::fromUtf8(password));
        ClickLogin(*dialog);
        EXPECT_EQ(Status(*dialog), QStringLiteral("用户或密码为空"));
    }
    EXPECT_TRUE(site_.logins().empty());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(result_, QStringLiteral("untouched"));
}

TEST_F(LoginDialogTest, SuccessClosesWithTheAccountName) {
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("张三"), QStringLiteral("密码 & #"));
    ClickLogin(*dialog);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(result_, QStringLiteral("张三"));
    EXPECT_EQ(Status(*dialog), QStringLiteral("登录成功"));
    EXPECT_TRUE(client_->IsLoggedIn());
    const auto logins = site_.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].account, "张三");
    std::string password;
    ASSERT_EQ(DecodePassword(logins[0].pass, &password), 0);
    EXPECT_EQ(password, "密码 & #");
}

TEST_F(LoginDialogTest, ZeroAndZeroUseTheBuiltInAccount) {
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("0"), QStringLiteral("0"));
    ClickLogin(*dialog);
    const auto logins = site_.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].account, "TenoPalu");
    std::string password;
    ASSERT_EQ(DecodePassword(logins[0].pass, &password), 0);
    EXPECT_EQ(password, "kwp417");
    EXPECT_EQ(result_, QStringLiteral("TenoPalu"));
}

TEST_F(LoginDialogTest, OnlyBothZeroSelectTheBuiltInAccount) {
    site_.Reply(R"({"retn":7,"desc":""})");
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("0"), QStringLiteral("00"));
    ClickLogin(*dialog);
    const auto logins = site_.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].account, "0");
}

TEST_F(LoginDialogTest, EnterInThePasswordFieldLogsIn) {
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("alice"), QStringLiteral("secret"));
    QLineEdit* password = Field(*dialog, LoginDialog::kIdPassword);
    password->setFocus();
    QTest::keyClick(password, Qt::Key_Return);
    EXPECT_EQ(site_.logins().size(), 1u);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(result_, QStringLiteral("alice"));
}

TEST_F(LoginDialogTest, RejectedLoginKeepsTheDialogOpen) {
    site_.Reply(R"({"retn":7,"desc":"wrong password"})");
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("alice"), QStringLiteral("wrong"));
    ClickLogin(*dialog);
    EXPECT_EQ(Status(*dialog), QStringLiteral("ok, ErrorCode=7"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(result_, QStringLiteral("untouched"));

    // The user corrects the password and tries again.
    site_.Reply(R"({"retn":0,"desc":"","result":{"session":"s2"}})");
    Field(*dialog, LoginDialog::kIdPassword)->setText(QStringLiteral("right"));
    ClickLogin(*dialog);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(result_, QStringLiteral("alice"));
    EXPECT_EQ(site_.logins().size(), 2u);
}

TEST_F(LoginDialogTest, ClosingAfterARejectionLeavesTheUserLoggedOut) {
    site_.Reply(R"({"retn":7,"desc":""})");
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("alice"), QStringLiteral("wrong"));
    ClickLogin(*dialog);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(client_->IsLoggedIn());
    EXPECT_EQ(result_, QStringLiteral("untouched"));
}

TEST_F(LoginDialogTest, StatusShowsBadRepliesAndUnreachableSites) {
    site_.Reply("<html>busy</html>");
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("alice"), QStringLiteral("secret"));
    ClickLogin(*dialog);
    EXPECT_EQ(Status(*dialog), QStringLiteral("Server Error, Bad Response, ErrorCode=500"));

    serverInfo_.url = "http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/";
    auto fresh = std::make_shared<LoginRegister>();
    client_ = fresh;
    auto second = MakeDialog();
    Fill(*second, QStringLiteral("alice"), QStringLiteral("secret"));
    ClickLogin(*second);
    EXPECT_EQ(Status(*second), QStringLiteral("网络异常, ErrorCode=0"));
    EXPECT_TRUE(second->isVisible());
}

TEST_F(LoginDialogTest, AlreadyLoggedInSucceedsAtOnce) {
    ASSERT_EQ(client_->Login("alice", "secret", serverInfo_), 0);
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("bob"), QStringLiteral("other"));
    ClickLogin(*dialog);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(result_, QStringLiteral("alice"));
    EXPECT_EQ(site_.logins().size(), 1u);
}

TEST_F(LoginDialogTest, LinksOpenTheAccountPagesOnTheSitesHost) {
    serverInfo_.url = "http://127.0.0.1:1080/api/";
    auto dialog = MakeDialog();
    auto* registration =
        dialog->findChild<QLabel*>(QStringLiteral("control%1").arg(LoginDialog::kIdRegister));
    auto* forgot =
        dialog->findChild<QLabel*>(QStringLiteral("control%1").arg(LoginDialog::kIdForgotPassword));
    ASSERT_NE(registration, nullptr);
    ASSERT_NE(forgot, nullptr);
    EXPECT_EQ(registration->text().contains(QStringLiteral("注册账号")), true);
    EXPECT_EQ(forgot->text().contains(QStringLiteral("忘记密码？")), true);
    emit registration->linkActivated(QStringLiteral("/Account/Register"));
    emit forgot->linkActivated(QStringLiteral("/Account/RetrievePassword"));
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_EQ(opened_[0].toString(), QStringLiteral("http://127.0.0.1:1080/Account/Register"));
    EXPECT_EQ(opened_[1].toString(), QStringLiteral("http://127.0.0.1:1080/Account/RetrievePassword"));
    EXPECT_TRUE(site_.logins().empty());
}

TEST(AccountPageUrlTest, KeepsSchemeHostAndPortOnly) {
    EXPECT_EQ(AccountPageUrl("http://127.0.0.1:1080", QStringLiteral("/Account/Register")).toString(),
              QStringLiteral("http://127.0.0.1:1080/Account/Register"));
    EXPECT_EQ(AccountPageUrl("https://127.0.0.1/x/y/?a=1#f", QStringLiteral("/Account/Register")).toString(),
              QStringLiteral("https://127.0.0.1/Account/Register"));
    EXPECT_FALSE(AccountPageUrl("", QStringLiteral("/Account/Register")).isValid());
    EXPECT_FALSE(AccountPageUrl("login.php", QStringLiteral("/Account/Register")).isValid());
}

TEST_F(LoginDialogTest, LinkWithoutAConfiguredSiteOpensNothing) {
    serverInfo_.url.clear();
    auto dialog = MakeDialog();
    auto* registration =
        dialog->findChild<QLabel*>(QStringLiteral("control%1").arg(LoginDialog::kIdRegister));
    emit registration->linkActivated(QStringLiteral("/Account/Register"));
    EXPECT_TRUE(opened_.empty());
}

// The process-wide defaults: the cookie file lands in Config/ of the working directory,
// private to the user, and the log holds the attempt but never the password.
TEST_F(LoginDialogTest, DefaultClientWritesAPrivateCookieFileAndLogsNoPassword) {
    TempDir work;
    test::ScopedCurrentDirectory inWork(work.path());
    ASSERT_EQ(::mkdir("Config", 0755), 0);
    ASSERT_EQ(LogOpen(), 0);
    site_.SetHandler([](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "sid=abc; Path=/");
        response.set_content(R"({"retn":7,"desc":""})", "application/json");
    });
    const mode_t previousMask = ::umask(0022);
    client_ = std::make_shared<LoginRegister>();
    auto dialog = MakeDialog();
    Fill(*dialog, QStringLiteral("alice"), QStringLiteral("TopSecret1"));
    ClickLogin(*dialog);
    site_.Reply(R"({"retn":0,"desc":"","result":{"session":"s1"}})");
    ClickLogin(*dialog);
    ::umask(previousMask);
    LogClose();

    struct stat st {};
    ASSERT_EQ(::stat("Config/cookie.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    const std::string log = test::ReadFileText("Log/log.log");
    EXPECT_NE(log.find("点击登入"), std::string::npos) << log;
    EXPECT_NE(log.find("ok, ErrorCode=7"), std::string::npos) << log;
    EXPECT_NE(log.find("alice登录成功"), std::string::npos) << log;
    EXPECT_EQ(log.find("TopSecret1"), std::string::npos) << log;
}

}  // namespace
}  // namespace qarv
