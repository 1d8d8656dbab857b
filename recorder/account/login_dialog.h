#pragma once
// The modal window in which the user logs in to the site: account and password fields, a
// log-in button (also Enter), a status line for the outcome, and links to the site's pages
// for registering and for a forgotten password. Closes itself after a successful login and
// hands the account name back. Called on the UI thread; the login blocks it until the site
// has answered or the transfer has failed or timed out.

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "recorder/shell/server_info.h"

class QLabel;
class QLineEdit;

namespace qarv {

class CButtonEx;
class CColorStatic;
class LoginRegister;

// What the dialog works with; an empty member takes the process-wide default.
struct LoginDialogServices {
    std::shared_ptr<LoginRegister> client;     // LoginRegister::Instance()
    std::function<ServerInfo()> serverInfo;    // the settings of QarvRecordInfoCenter::Instance()
    std::function<void(const QUrl&)> openUrl;  // QDesktopServices::openUrl (the default browser)
};

// The address of one of the site's account pages: scheme, host and port of the `url`
// setting with `path`. Invalid when the setting names no host.
QUrl AccountPageUrl(const std::string& baseUrl, const QString& path);

class LoginDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kIdAccountLabel = 2054;
    static constexpr int kIdPasswordLabel = 2053;
    static constexpr int kIdAccount = 1083;
    static constexpr int kIdPassword = 1084;
    static constexpr int kIdStatus = 1113;
    static constexpr int kIdForgotPassword = 2048;
    static constexpr int kIdRegister = 1114;
    static constexpr int kIdLogin = 1046;
    static constexpr int kIdVerifyLabel = 2052;
    static constexpr int kIdVerifyCode = 2051;
    static constexpr int kIdShowVerifyCode = 2050;

    // `result` receives the account name after a successful login and is untouched
    // otherwise; it must outlive the dialog.
    LoginDialog(QString& result, QWidget* parent = nullptr, LoginDialogServices services = {});
    ~LoginDialog() override;

    // Runs one login with the fields' contents, as the button and Enter do.
    void Login();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void SetStatus(const QString& text);
    void OpenAccountPage(const QString& path);

    QString& result_;
    LoginDialogServices services_;
    QLineEdit* account_ = nullptr;
    QLineEdit* password_ = nullptr;
    CColorStatic* status_ = nullptr;
    CButtonEx* loginButton_ = nullptr;
};

}  // namespace qarv
