#include "recorder/qarv_recorder_app.h"

#include <QApplication>
#include <cstdio>
#include <memory>

#include "common/file_util.h"
#include "common/log.h"
#include "common/log_codes.h"
#include "common/qt/message_box.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/single_instance.h"
#include "common/qt/termination_watcher.h"
#include "common/qt/window_activation.h"
#include "recorder/library/orphan_adoption_thread.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/qarv_recorder_dlg.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "recorder/shell/qarv_record_info_center.h"
#include "recorder/shell/socket_setup.h"

namespace qarv {
namespace {

// How long a start waits for a running recorder to answer or, if it is ending, to end (it may
// be finishing and cataloguing a recording).
constexpr int kInstanceWaitMs = 30000;

}  // namespace

CQarvRecorderApp::CQarvRecorderApp(int& argc, char** argv) : argc_(argc), argv_(argv) {}

CQarvRecorderApp::~CQarvRecorderApp() {
    ExitInstance();
}

int CQarvRecorderApp::Run() {
    InitInstance();
    const int status = ExitInstance();
    return exitStatus_ != 0 ? exitStatus_ : status;
}

bool CQarvRecorderApp::InitInstance() {
    application_ = std::make_unique<QApplication>(argc_, argv_);

    // The recorder is started by the launcher with one argument; its value is not examined.
    if (argc_ <= 1) {
        ShowMessageBox(nullptr, QStringLiteral("请运行 \"QarvRecordClient.exe\" 客户端！"),
                       QStringLiteral("友情提示"), QMessageBox::Information, QMessageBox::Ok);
        return false;
    }

    if (InitSockets() != 0) {
        ShowMessageBox(nullptr, QStringLiteral("Windows 套接字初始化失败。"), QStringLiteral("QarvRecorder"),
                       QMessageBox::Critical, QMessageBox::Ok);
        return false;
    }

    // One recorder per installation folder and user, as each keeps the catalogue in memory and
    // rewrites its file: a second start brings the running one to the front and ends before
    // it touches the log or the catalogue.
    instance_ = std::make_unique<SingleInstance>(CurrentDirectory());
    switch (instance_->Acquire(kInstanceWaitMs)) {
        case SingleInstance::kHandedOver:
            return false;
        case SingleInstance::kBusy:
            std::fputs("QarvRecorder: another recorder runs here and does not answer\n", stderr);
            exitStatus_ = 1;
            return false;
        case SingleInstance::kUnavailable:
            std::fputs("QarvRecorder: no private folder for the instance lock; starting without it\n",
                       stderr);
            break;
        default:
            break;
    }

    LogOpen();  // start-up goes on without a log
    logOpen_ = true;
    InstallLogSizeQuestion();

    // Process-wide services, in their fixed order.
    QarvRecordInfoCenter::Instance();
    QarvFileManagement::GetInstance();
    const auto devices = RegAVFilterEx::Instance();

    if (!devices->RegisterFilters("screen-capture-recorder.dll", "virtual-audio-capturer.dll")) {
        ShowMessageBox(nullptr, QStringLiteral("注册设备设备"), QStringLiteral("Register Device Failed"),
                       QMessageBox::NoIcon, QMessageBox::Ok);
        LogError(__LINE__, kSrcQarvRecorder, kCodeRegisterDeviceFailed, kMsgRegisterDeviceFailed);
        // Without a screen to record there is nothing the recorder can do.
        return false;
    }

    // The main window runs until the user closes it; the program then ends. The start-up's
    // reference keeps the capture devices until then.
    {
        CQarvRecorderDlg mainWindow;
        // Recordings whose recorder ended without finishing them are taken into the catalogue
        // in the background while the window is up; the my-videos page hears of each. Leaving
        // this scope stops the worker and waits for it, before the window goes.
        OrphanAdoptionThread adoption(QarvFileManagement::GetInstance(),
                                      std::make_shared<QtMessageTarget>(mainWindow.Page(1)));
        adoption.start();
        // A request to end (log-out, kill) closes the window like its close button, so a
        // running recording is finished and catalogued.
        TerminationWatcher termination;
        QObject::connect(&termination, &TerminationWatcher::TerminationRequested, instance_.get(),
                         &SingleInstance::StopListening);
        QObject::connect(&termination, &TerminationWatcher::TerminationRequested, &mainWindow,
                         &QDialog::reject);
        // A later start asks for the window; once the window is closing it waits for this
        // process to end instead.
        QObject::connect(instance_.get(), &SingleInstance::ShowRequested, &mainWindow,
                         [&mainWindow] { BringWindowToFront(&mainWindow); });
        QObject::connect(&mainWindow, &QDialog::finished, instance_.get(), &SingleInstance::StopListening);
        mainWindow.exec();
    }
    return false;
}

int CQarvRecorderApp::ExitInstance() {
    if (logOpen_) {
        SetLogSizeQuestion({});
        LogClose();
        logOpen_ = false;
    }
    return 0;
}

}  // namespace qarv
