#include "updater/qarv_client_update_app.h"

#include <QApplication>

#include "common/log.h"
#include "common/qt/message_box.h"
#include "recorder/shell/socket_setup.h"
#include "updater/qarv_client_update_dlg.h"
#include "updater/recorder_starter.h"
#include "updater/update_check.h"

namespace qarv {

CQarvClientUpdateApp::CQarvClientUpdateApp(int& argc, char** argv) : argc_(argc), argv_(argv) {}

int CQarvClientUpdateApp::Run() {
    if (InitSockets() != 0) {
        QApplication application(argc_, argv_);
        ShowMessageBox(nullptr, QStringLiteral("Windows 套接字初始化失败。"),
                       QStringLiteral("QarvClientUpdate"), QMessageBox::Critical, QMessageBox::Ok);
        return 1;
    }
    LogOpen();  // the launcher goes on without a log

    // The check comes before the window system is reached: without an update the recorder
    // starts at once and nothing is shown.
    VersionInfo pending;
    UpdateOffer offer;
    if (!CheckForUpdate(pending, &offer)) {
        StartRecorder();
        LogClose();
        return 0;
    }

    {
        QApplication application(argc_, argv_);
        LauncherServices services;
        services.checkForUpdate = [&pending, &offer](VersionInfo& to, UpdateOffer* offerTo) {
            to = pending;
            if (offerTo != nullptr)
                *offerTo = offer;
            return true;
        };
        services.download.cookieFile = UpdaterSettings().query.cookieFile;
        CQarvClientUpdateDlg window(services);
        if (window.Initialize()) {
            window.show();
            window.exec();
        }
    }
    LogClose();
    return 0;
}

}  // namespace qarv
