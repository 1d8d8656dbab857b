#pragma once
// The main window's "我的分享" page: a list of web destinations above an embedded web view.
// "Vanlo" shows the user's videos on the site, with the session in the address (after a
// login when needed); "上传优酷" opens the outside site's upload page in the default browser.
// The web view is made when the page is first shown, never before. Called on the UI thread.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "recorder/web/web_view.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace qarv {

class CUrlMap;
class LoginRegister;

// What the page works with; an empty member takes the process-wide one or the real thing.
struct MySharePageServices {
    std::shared_ptr<const CUrlMap> urls;     // CUrlMap::Instance()
    std::shared_ptr<LoginRegister> account;  // LoginRegister::Instance()
    // Runs the login dialog over `owner`; true once logged in.
    std::function<bool(QWidget* owner)> login;
    std::function<void(const QUrl&)> openUrl;    // QDesktopServices::openUrl
    std::function<WebView*(QWidget*)> makeView;  // CreateWebView
};

class QarvMySharePage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kIdBrowser = 1129;
    static constexpr int kIdDestinations = 1130;
    static constexpr int kIdGo = 1131;
    static constexpr int kWidth = 849;
    static constexpr int kHeight = 432;

    explicit QarvMySharePage(QWidget* parent = nullptr, MySharePageServices services = {});
    ~QarvMySharePage() override;

    QComboBox* Destinations() const { return destinations_; }
    // Null until the page has first been shown.
    WebView* View() const { return view_; }
    // The destination's address as last chosen (without the session).
    const std::string& CurrentAddress() const { return address_; }
    bool SessionFlag() const { return session_; }

    // What choosing list entry `caption` does.
    void ChooseDestination(const QString& caption);
    // Loads the current destination (the hidden "go" button).
    void Navigate();

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void PlaceView();

    MySharePageServices services_;
    QComboBox* destinations_ = nullptr;
    QPushButton* go_ = nullptr;
    QPointer<WebView> view_;
    std::string address_;
    bool session_ = false;
};

// The address of the site's page with the session appended as "?sid=" (escaped for the URL).
QUrl AddressWithSession(const std::string& address, const std::string& sessionId);

}  // namespace qarv
