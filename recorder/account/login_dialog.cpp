#include "recorder/account/login_dialog.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <cstdio>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/qt/qt_text.h"
#include "common/text.h"
#include "controls/button_ex.h"
#include "controls/color_static.h"
#include "controls/skin_path.h"
#include "recorder/account/login_register.h"
#include "recorder/shell/qarv_record_info_center.h"

namespace qarv {
namespace {

const QColor kBackground(100, 150, 150);
const QColor kStatusColor(255, 0, 0);

// Used when both fields hold exactly "0".
constexpr char kBuiltInAccount[] = "TenoPalu";
constexpr char kBuiltInPassword[] = "kwp417";

constexpr std::size_t kFieldBytes = 256;
constexpr std::size_t kFailureTextBytes = 127;
constexpr qsizetype kResultChars = 255;

constexpr char kRetrievePasswordPath[] = "/Account/RetrievePassword";
constexpr char kRegisterPath[] = "/Account/Register";

CColorStatic* MakeLabel(QWidget* parent, int id, const QString& text, const QRect& geometry,
                        const QColor& textColor) {
    auto* label = new CColorStatic(parent);
    label->setObjectName(QStringLiteral("control%1").arg(id));
    label->setText(text);
    label->setGeometry(geometry);
    label->SetTextColor(textColor);
    label->SetBackColor(kBackground);
    return label;
}

QLineEdit* MakeField(QWidget* parent, int id, const QRect& geometry) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QStringLiteral("control%1").arg(id));
    field->setGeometry(geometry);
    return field;
}

QLabel* MakeLink(QWidget* parent, int id, const QString& text, const QString& path, const QRect& geometry) {
    auto* link = new QLabel(parent);
    link->setObjectName(QStringLiteral("control%1").arg(id));
    link->setTextFormat(Qt::RichText);
    // Light cyan, the skin's caption colour: the default link blue is hard to read on the teal.
    link->setText(
        QStringLiteral("<a href=\"%1\" style=\"color:#9fefff\">%2</a>").arg(path, text.toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);  // the dialog opens the page on the site's host
    link->setGeometry(geometry);
    return link;
}

std::string FieldText(const QLineEdit* field) {
    std::string text = FromQString(field->text());
    TruncateOnCharBoundary(text, kFieldBytes);
    return text;
}

}  // namespace

QUrl AccountPageUrl(const std::string& baseUrl, const QString& path) {
    const QUrl base(ToQString(baseUrl));
    if (!base.isValid() || base.host().isEmpty())
        return QUrl();
    QUrl page;
    page.setScheme(base.scheme());
    page.setHost(base.host());
    page.setPort(base.port());
    page.setPath(path);
    return page;
}

LoginDialog::LoginDialog(QString& result, QWidget* parent, LoginDialogServices services)
    : QDialog(parent), result_(result), services_(std::move(services)) {
    if (!services_.client)
        services_.client = LoginRegister::Instance();
    if (!services_.serverInfo) {
        services_.serverInfo = [] { return QarvRecordInfoCenter::Instance()->GetServerInfo(); };
    }
    if (!services_.openUrl)
        services_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    setWindowTitle(QStringLiteral("请登录"));
    setFixedSize(360, 190);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);

    MakeLabel(this, kIdAccountLabel, QStringLiteral("用户名"), QRect(40, 28, 60, 22), Qt::white);
    account_ = MakeField(this, kIdAccount, QRect(110, 28, 190, 22));
    MakeLabel(this, kIdPasswordLabel, QStringLiteral("密码"), QRect(40, 62, 60, 22), Qt::white);
    password_ = MakeField(this, kIdPassword, QRect(110, 62, 190, 22));
    password_->setEchoMode(QLineEdit::Password);

    // A verification-code row that the login never shows or reads.
    MakeLabel(this, kIdVerifyLabel, QStringLiteral("验证码"), QRect(40, 96, 60, 22), Qt::white)->hide();
    MakeField(this, kIdVerifyCode, QRect(110, 96, 90, 22))->hide();
    MakeLabel(this, kIdShowVerifyCode, QStringLiteral("Show verify code"), QRect(210, 96, 110, 22), Qt::white)
        ->hide();

    status_ = MakeLabel(this, kIdStatus, QString(), QRect(40, 100, 280, 22), kStatusColor);

    auto* forgot = MakeLink(this, kIdForgotPassword, QStringLiteral("忘记密码？"),
                            QString::fromLatin1(kRetrievePasswordPath), QRect(240, 162, 90, 20));
    auto* registration = MakeLink(this, kIdRegister, QStringLiteral("注册账号"),
                                  QString::fromLatin1(kRegisterPath), QRect(40, 162, 90, 20));
    connect(forgot, &QLabel::linkActivated, this, &LoginDialog::OpenAccountPage);
    connect(registration, &QLabel::linkActivated, this, &LoginDialog::OpenAccountPage);

    loginButton_ = new CButtonEx(kIdLogin, this);
    loginButton_->setObjectName(QStringLiteral("control%1").arg(kIdLogin));
    loginButton_->setGeometry(QRect(QPoint(150, 135), QPoint(209, 159)));  // (150, 135) to (210, 160)
    loginButton_->SetImage(SkinPath(QStringLiteral("Button.png")));
    loginButton_->SetText(QStringLiteral("登录"));
    loginButton_->SetBackColor(kBackground);
    connect(loginButton_, &CButtonEx::Clicked, this, [this](int id) {
        if (id == kIdLogin)
            Login();
    });

    account_->setFocus();
}

LoginDialog::~LoginDialog() = default;

void LoginDialog::keyPressEvent(QKeyEvent* event) {
    // Enter anywhere in the dialog logs in; the fields pass it on unhandled.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        Login();
        return;
    }
    QDialog::keyPressEvent(event);
}

void LoginDialog::SetStatus(const QString& text) {
    status_->setText(text);
}

void LoginDialog::Login() {
    LogWrite(__LINE__, kSrcLoginDialog, kCodeLoginClicked, kLogInfo, kMsgLoginClicked);
    SetStatus(QStringLiteral("点击登录"));

    if (account_->text().isEmpty() || password_->text().isEmpty()) {
        SetStatus(QString::fromUtf8(kMsgLoginFieldsEmpty));
        LogError(__LINE__, kSrcLoginDialog, kCodeLoginFieldsEmpty, kMsgLoginFieldsEmpty);
        return;
    }
    std::string account = FieldText(account_);
    std::string password = FieldText(password_);
    if (account == "0" && password == "0") {
        account = kBuiltInAccount;
        password = kBuiltInPassword;
    }

    const std::shared_ptr<LoginRegister> client = services_.client;
    const int result = client->Login(account, password, services_.serverInfo());
    if (result != 0 || client->LastCode() != 0 || !client->IsLoggedIn()) {
        char text[512];
        std::snprintf(text, sizeof text, kMsgLoginFailed, client->LastMessage().c_str(), client->LastCode());
        std::string failure = text;
        TruncateOnCharBoundary(failure, kFailureTextBytes);
        LogError(__LINE__, kSrcLoginDialog, kCodeLoginFailed, "%s", failure.c_str());
        SetStatus(ToQString(failure));
        return;
    }

    const std::string name = client->AccountName();
    QString shown = ToQString(name);
    if (shown.size() > kResultChars) {
        // Never end on the first half of a surrogate pair.
        shown.truncate(shown.at(kResultChars - 1).isHighSurrogate() ? kResultChars - 1 : kResultChars);
    }
    result_ = shown;
    LogWrite(__LINE__, kSrcLoginDialog, kCodeLoginSucceeded, kLogInfo, kMsgLoginSucceeded, name.c_str());
    SetStatus(QStringLiteral("登录成功"));
    status_->setEnabled(false);
    accept();
}

void LoginDialog::OpenAccountPage(const QString& path) {
    const QUrl page = AccountPageUrl(services_.serverInfo().url, path);
    if (page.isValid())
        services_.openUrl(page);
}

}  // namespace qarv
