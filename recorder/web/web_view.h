#pragma once
// An embedded web view as the pages see it: loads addresses, shows no context menu, no script
// dialogs and no windows of its own, swallows Enter, and shows a page of our own wording
// when an address cannot be loaded. The web engine behind it lives in a module of its own
// ("qarv_web_view" beside the program), loaded when the first view is made, so that the
// recorder neither starts nor links it before a page needs it. Called on the UI thread.

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

namespace qarv {

// No meta-object of its own: the module and the program each see the same plain interface.
class WebView : public QWidget {
  public:
    using QWidget::QWidget;

    virtual void Load(const QUrl& address) = 0;
    // The address of the page shown (or being loaded).
    virtual QUrl Address() const = 0;
    // Calls `done` with the HTML of the page shown, later, on the UI thread.
    virtual void PageHtml(const std::function<void(const QString&)>& done) = 0;
    // Runs `script` in the page shown.
    virtual void RunScript(const QString& script) = 0;
    // The widget that takes the page's keys and mouse (the engine makes it on first drawing).
    virtual QWidget* InputWidget() const = 0;
    // Called each time a load ends, with whether the page came.
    void SetLoadFinished(std::function<void(bool ok)> done) { loadFinished_ = std::move(done); }

  protected:
    std::function<void(bool)> loadFinished_;
};

// Makes a view from the web engine module; null (logged) when the module cannot be loaded.
// On first use, as root, it switches Chromium's sandbox off (it refuses to run as root with
// it) and says so in the log.
WebView* CreateWebView(QWidget* parent);

}  // namespace qarv
