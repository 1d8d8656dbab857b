#include "recorder/web/web_view.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLibrary>
#include <QOpenGLContext>

#include "common/log.h"
#include "common/log_codes.h"

// Qt's setter of the context that every OpenGL context of the application shares with;
// exported by Qt GUI, declared in its private headers.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace qarv {
namespace {

using Factory = QWidget* (*)(QWidget*);

Factory LoadFactory() {
    static Factory factory = [] {
        if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
            LogWrite(__LINE__, kSrcWebView, kCodeWebSandboxOff, kLogInfo, kMsgWebSandboxOff);
        }
        // The pages are plain documents: software drawing serves them, and Chromium's GPU
        // thread brings down the whole process on X servers without a working GL.
        if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
        // The engine draws through a context shared with the application's. Made here, on the
        // first page, rather than by the application at start (Qt::AA_ShareOpenGLContexts),
        // which would load the GL driver and cost every start time and memory.
        if (QOpenGLContext::globalShareContext() == nullptr) {
            auto* shared = new QOpenGLContext(QCoreApplication::instance());
            shared->create();
            qt_gl_set_global_share_context(shared);
        }
        QLibrary module(QCoreApplication::applicationDirPath() + QStringLiteral("/qarv_web_view"));
        auto made = reinterpret_cast<Factory>(module.resolve("qarv_create_web_view"));
        if (made == nullptr) {
            const std::string reason = module.errorString().toStdString();
            LogError(__LINE__, kSrcWebView, kCodeWebModuleMissing, kMsgWebModuleMissing, reason.c_str());
        }
        return made;
    }();
    return factory;
}

}  // namespace

WebView* CreateWebView(QWidget* parent) {
    const Factory factory = LoadFactory();
    return factory != nullptr ? static_cast<WebView*>(factory(parent)) : nullptr;
}

}  // namespace qarv
