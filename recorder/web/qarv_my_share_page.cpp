#include "recorder/web/qarv_my_share_page.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/qt/qt_text.h"
#include "controls/color_static.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"
#include "recorder/account/login_dialog.h"
#include "recorder/account/login_register.h"
#include "recorder/web/url_map.h"
#include "recorder/web/web_view.h"

namespace qarv {
namespace {

const QColor kBackground(100, 150, 150);
constexpr int kViewTop = 40;

MySharePageServices WithDefaults(MySharePageServices services) {
    if (!services.urls)
        services.urls = CUrlMap::Instance();
    if (!services.account)
        services.account = LoginRegister::Instance();
    if (!services.login) {
        const auto account = services.account;
        services.login = [account](QWidget* owner) {
            QString name;
            LoginDialog dialog(name, owner, LoginDialogServices{account, {}, {}});
            dialog.exec();
            return account->IsLoggedIn();
        };
    }
    if (!services.openUrl)
        services.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    if (!services.makeView)
        services.makeView = &CreateWebView;
    return services;
}

}  // namespace

QUrl AddressWithSession(const std::string& address, const std::string& sessionId) {
    QUrl url(ToQString(address));
    url.setQuery(QStringLiteral("sid=") + QString::fromLatin1(QUrl::toPercentEncoding(ToQString(sessionId))),
                 QUrl::StrictMode);
    return url;
}

QarvMySharePage::QarvMySharePage(QWidget* parent, MySharePageServices services)
    : QWidget(parent), services_(WithDefaults(std::move(services))) {
    resize(kWidth, kHeight);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);

    auto* label = new CColorStatic(this);
    label->setText(QStringLiteral("视频分类："));
    label->setFont(SongFont());
    label->SetBackColor(kBackground);
    label->setGeometry(Ltrb(10, 10, 90, 30));

    destinations_ = new QComboBox(this);
    destinations_->setObjectName(QStringLiteral("control%1").arg(kIdDestinations));
    destinations_->setGeometry(Ltrb(90, 8, 250, 32));
    for (const auto& [address, caption] : *services_.urls)
        destinations_->addItem(ToQString(caption));
    const int first = destinations_->findText(ToQString(CUrlMap::kSiteCaption));
    destinations_->setCurrentIndex(first >= 0 ? first : 0);
    // A choice, even of the entry already shown, loads it.
    connect(destinations_, &QComboBox::activated, this,
            [this](int index) { ChooseDestination(destinations_->itemText(index)); });

    go_ = new QPushButton(QStringLiteral("Go"), this);
    go_->setObjectName(QStringLiteral("control%1").arg(kIdGo));
    go_->setGeometry(Ltrb(260, 8, 300, 32));
    go_->hide();
    connect(go_, &QPushButton::clicked, this, &QarvMySharePage::Navigate);
}

QarvMySharePage::~QarvMySharePage() = default;

void QarvMySharePage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (view_.isNull()) {
        view_ = services_.makeView(this);
        if (!view_.isNull()) {
            view_->setObjectName(QStringLiteral("control%1").arg(kIdBrowser));
            PlaceView();
            view_->show();
        }
    }
}

void QarvMySharePage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceView();
}

void QarvMySharePage::PlaceView() {
    if (!view_.isNull())
        view_->setGeometry(QRect(0, kViewTop, width(), height() - kViewTop));
}

void QarvMySharePage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;  // never closes the window or submits anything
    QWidget::keyPressEvent(event);
}

void QarvMySharePage::ChooseDestination(const QString& caption) {
    const std::string text = FromQString(caption);
    session_ = text == CUrlMap::kSiteCaption;
    if (text == CUrlMap::kOutsideCaption) {
        services_.openUrl(QUrl(ToQString(services_.urls->AddressOf(text))));
        return;
    }
    address_ = services_.urls->AddressOf(text);
    Navigate();
}

void QarvMySharePage::Navigate() {
    if (address_.empty())
        return;
    LoginRegister& account = *services_.account;
    if (session_ && !account.IsLoggedIn()) {
        services_.login(window());
        if (!account.IsLoggedIn()) {
            // The site's address only: the session never goes into the log.
            LogError(__LINE__, kSrcQarvMySharePage, kCodeServerLoginFailed, kMsgServerLoginFailed,
                     SiteOrigin(address_).c_str());
            return;
        }
    }
    if (view_.isNull())
        return;
    const QUrl url = session_ ? AddressWithSession(address_, account.SessionId()) : QUrl(ToQString(address_));
    view_->Load(QUrl(QStringLiteral("about:blank")));
    view_->Load(url);
    view_->setFocus(Qt::OtherFocusReason);
}

}  // namespace qarv
