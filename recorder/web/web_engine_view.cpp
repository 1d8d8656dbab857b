// The web engine module: WebView over Qt WebEngine, made by qarv_create_web_view().

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "recorder/web/web_view.h"

namespace qarv {
namespace {

// A page whose scripts cannot show dialogs or open windows, and whose console stays quiet.
class SilentPage : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

  protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
};

QString ErrorPage(const QUrl& address) {
    return QStringLiteral(
               "<html><head><meta charset=\"utf-8\"></head><body style=\"background:#649696;color:white;"
               "font-family:sans-serif\"><h3>页面暂时无法打开</h3><p>请检查网络连接，或稍后再试。</p>"
               "<p style=\"color:#dde\">%1</p></body></html>")
        .arg(address.toString(QUrl::RemoveQuery).toHtmlEscaped());
}

class WebEngineView : public WebView {
  public:
    explicit WebEngineView(QWidget* parent) : WebView(parent) {
        view_ = new QWebEngineView(this);
        view_->setPage(new SilentPage(view_));
        view_->setContextMenuPolicy(Qt::NoContextMenu);
        view_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        view_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view_);
        setFocusProxy(view_);
        // Keys reach the engine through a child the view makes when it first renders.
        view_->installEventFilter(this);
        connect(view_, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (!ok && view_->url().scheme() != QLatin1String("about") && !showingError_) {
                showingError_ = true;
                view_->setHtml(ErrorPage(address_), QUrl(QStringLiteral("about:blank")));
            }
            if (loadFinished_)
                loadFinished_(ok);
        });
    }

    void Load(const QUrl& address) override {
        address_ = address;
        showingError_ = false;
        view_->load(address);
    }
    QUrl Address() const override { return address_; }
    void PageHtml(const std::function<void(const QString&)>& done) override {
        view_->page()->toHtml([done](const QString& html) { done(html); });
    }
    void RunScript(const QString& script) override { view_->page()->runJavaScript(script); }
    QWidget* InputWidget() const override { return view_->focusProxy(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildAdded) {
            QObject* child = static_cast<QChildEvent*>(event)->child();
            if (child->isWidgetType())
                child->installEventFilter(this);
        }
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                return true;  // neither submits a form nor closes anything
        }
        if (event->type() == QEvent::ContextMenu)
            return true;
        return WebView::eventFilter(watched, event);
    }

  private:
    QWebEngineView* view_ = nullptr;
    QUrl address_;
    bool showingError_ = false;
};

}  // namespace
}  // namespace qarv

extern "C" Q_DECL_EXPORT QWidget* qarv_create_web_view(QWidget* parent) {
    return new qarv::WebEngineView(parent);
}
