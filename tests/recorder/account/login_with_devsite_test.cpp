// The login dialog against the built site stand-in program, as a user runs it: the
// built-in account "0"/"0", the session the site hands out, and the cookie file it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QTest>

#include "common/file_util.h"
#include "controls/button_ex.h"
#include "recorder/account/login_dialog.h"
#include "recorder/account/login_register.h"
#include "tests/support/devsite_process.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

TEST(LoginWithDevsiteTest, BuiltInAccountLogsInAndKeepsAPrivateCookie) {
    test::TempDir dir;
    ASSERT_EQ(CreateDirectoryIfMissing(dir.file("Config")), 0);
    test::ScopedCurrentDirectory cwd(dir.path());
    test::DevsiteProcess site;
    const int port =
        site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir.file("site")}, dir.file("site.err"));
    ASSERT_GT(port, 0) << test::ReadFileText(dir.file("site.err"));

    auto client = std::make_shared<LoginRegister>();  // the recorder's own cookie file
    LoginDialogServices services;
    services.client = client;
    services.serverInfo = [port] {
        ServerInfo info;
        info.url = "http://127.0.0.1:" + std::to_string(port) + "/";
        return info;
    };
    QString result;
    LoginDialog dialog(result, nullptr, services);
    dialog.show();
    auto* account = dialog.findChild<QLineEdit*>(QStringLiteral("control%1").arg(LoginDialog::kIdAccount));
    auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("control%1").arg(LoginDialog::kIdPassword));
    ASSERT_NE(account, nullptr);
    ASSERT_NE(password, nullptr);
    account->setText(QStringLiteral("0"));
    password->setText(QStringLiteral("0"));
    QTest::keyClick(password, Qt::Key_Return);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(result, QStringLiteral("TenoPalu"));
    EXPECT_TRUE(client->IsLoggedIn());
    EXPECT_FALSE(client->SessionId().empty());

    struct stat info {};
    ASSERT_EQ(::stat("Config/cookie.txt", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string jar = test::ReadFileText(dir.file("Config/cookie.txt"));
    EXPECT_NE(jar.find(client->SessionId()), std::string::npos) << jar;

    const std::string requests = test::ReadFileText(dir.file("site/requests.log"));
    EXPECT_NE(requests.find("TenoPalu"), std::string::npos) << requests;
    EXPECT_EQ(site.Stop(SIGTERM, 5000), 0);
}

}  // namespace
}  // namespace qarv
