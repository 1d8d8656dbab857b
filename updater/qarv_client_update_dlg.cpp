#include "updater/qarv_client_update_dlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"
#include "common/qt/message_box.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/qt_text.h"
#include "recorder/shell/server_info.h"
#include "updater/dialog_units.h"
#include "updater/recorder_install.h"
#include "updater/recorder_starter.h"
#include "updater/update_choose_dialog.h"

namespace qarv {
namespace {

constexpr std::intptr_t kMaxPerMille = 1000;

QString FailureSentence(const QString& reason) {
    return QStringLiteral("更新失败：%1。\n将继续使用原来的版本。").arg(reason);
}

}  // namespace

QString UpdateFailureText(DownloadOutcome outcome) {
    switch (outcome) {
        case kDownloadComplete:
            return QString();
        case kDownloadHttpError:
            return FailureSentence(QStringLiteral("服务器没有提供新版本"));
        case kDownloadWrongSize:
            return FailureSentence(QStringLiteral("下载的文件不完整"));
        case kDownloadChecksumMismatch:
            return FailureSentence(QStringLiteral("下载的文件校验失败"));
        case kDownloadWriteFailed:
            return FailureSentence(QStringLiteral("无法保存下载的文件"));
        case kDownloadNetworkFailed:
        case kDownloadStopped:
        case kDownloadNotStarted:
            break;
    }
    return FailureSentence(QStringLiteral("网络中断，下载没有完成"));
}

QString InstallFailureText(int installResult) {
    switch (installResult) {
        case kInstallOk:
            return QString();
        case kInstallNotExecutable:
            return FailureSentence(QStringLiteral("下载的文件不是本机可以运行的程序"));
        default:
            return FailureSentence(QStringLiteral("无法替换录像程序"));
    }
}

CQarvClientUpdateDlg::CQarvClientUpdateDlg(LauncherServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    if (services_.configFile.empty())
        services_.configFile = ConfigFilePath();
    if (services_.recorderFile.empty())
        services_.recorderFile = RecorderFileName();
    if (!services_.checkForUpdate) {
        const std::string configFile = services_.configFile;
        services_.checkForUpdate = [configFile](VersionInfo& pending, UpdateOffer* offer) {
            UpdaterSettings settings;
            settings.configFile = configFile;
            return CheckForUpdate(pending, offer, settings);
        };
    }
    if (!services_.askUpdateNow) {
        services_.askUpdateNow = [this] {
            UpdateChooseDialog question(this);
            question.exec();
            return question.updateNow();
        };
    }
    if (!services_.startRecorder)
        services_.startRecorder = [] { return StartRecorder(); };

    const DialogUnits& units = kShellDlg9;
    setWindowTitle(QStringLiteral("QarvClientUpdate"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(units.Size(262, 122));

    progress_ = new QProgressBar(this);
    progress_->setGeometry(units.Rect(11, 53, 216, 9));
    progress_->setRange(0, static_cast<int>(kMaxPerMille));
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFocusPolicy(Qt::NoFocus);
    percent_ = new QLabel(QStringLiteral("0%"), this);
    percent_->setGeometry(units.Rect(229, 54, 21, 8));
    percent_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    button_ = new QPushButton(QStringLiteral("取消"), this);
    button_->setGeometry(units.Rect(97, 85, 45, 14));
    button_->setAutoDefault(true);
    button_->setDefault(true);  // the only control that takes the focus: Enter clicks it
    connect(button_, &QPushButton::clicked, this, &CQarvClientUpdateDlg::OnCancelButton);

    selfTarget_ = std::make_shared<QtMessageTarget>(this);
}

CQarvClientUpdateDlg::~CQarvClientUpdateDlg() {
    if (updating_ && !finished_)
        AbandonDownload();
    worker_.reset();  // joins a worker that still runs
}

bool CQarvClientUpdateDlg::Initialize() {
    updating_ = false;
    if (!services_.checkForUpdate(pending_, &offer_) || !services_.askUpdateNow()) {
        services_.startRecorder();
        return false;
    }
    progress_->setRange(0, static_cast<int>(kMaxPerMille));
    progress_->setValue(0);
    updating_ = true;
    if (!StartDownload()) {
        updating_ = false;
        services_.startRecorder();
        return false;
    }
    button_->setFocus();
    return true;
}

bool CQarvClientUpdateDlg::StartDownload() {
    worker_ = std::make_shared<DownloadThread>(services_.download);
    if (worker_->Prepare(selfTarget_, offer_.downloadUrl, offer_.sha256) != 0)
        return false;
    return worker_->start() == 0;
}

bool CQarvClientUpdateDlg::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message() == WM_DOWNLOAD_PROGRESS)
            OnDownloadProgress(message->lParam());
        else if (message->message() == WM_DOWNLOAD_DONE)
            OnDownloadDone(message->lParam());
        return true;
    }
    return QDialog::event(event);
}

void CQarvClientUpdateDlg::OnDownloadProgress(std::intptr_t perMille) {
    // Compared unsigned, so negative values are ignored too.
    if (static_cast<std::uintptr_t>(perMille) > static_cast<std::uintptr_t>(kMaxPerMille))
        return;
    const int value = static_cast<int>(perMille);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d%%", value / 10, value % 10);
    percent_->setText(ToQString(text));
    progress_->setValue(value);
}

void CQarvClientUpdateDlg::OnDownloadDone(std::intptr_t outcome) {
    // A late message of a download the user already gave up, or a second one, changes nothing.
    if (!updating_ || finished_)
        return;
    if (worker_)
        worker_->stop();

    QString failure =
        outcome == kDownloadComplete ? Install() : UpdateFailureText(static_cast<DownloadOutcome>(outcome));
    if (failure.isEmpty()) {
        if (WriteVersionInfo(pending_, services_.configFile) != 0) {
            LogError(__LINE__, kSrcQarvClientUpdate, kCodeVersionWriteFailed, kMsgVersionWriteFailed,
                     services_.configFile.c_str());
        }
        ShowMessageBox(this, QStringLiteral("更新完毕"), QStringLiteral("更新完毕"), QMessageBox::Information,
                       QMessageBox::Ok);
    } else {
        std::remove(services_.download.outputPath.c_str());
        LogError(__LINE__, kSrcQarvClientUpdate, kCodeUpdateFailed, kMsgUpdateFailed,
                 static_cast<int>(outcome), FromQString(failure).c_str());
        ShowMessageBox(this, failure, QStringLiteral("更新失败"), QMessageBox::Warning, QMessageBox::Ok);
    }
    activateWindow();
    button_->setText(QStringLiteral("完成"));
    finished_ = true;
}

QString CQarvClientUpdateDlg::Install() {
    const int result = InstallRecorder(services_.download.outputPath, services_.recorderFile);
    return InstallFailureText(result);
}

void CQarvClientUpdateDlg::OnCancelButton() {
    if (finished_) {
        services_.startRecorder();
        done(QDialog::Rejected);
        return;
    }
    if (ConfirmStop()) {
        AbandonDownload();
        done(QDialog::Rejected);
    }
}

void CQarvClientUpdateDlg::closeEvent(QCloseEvent* event) {
    if (finished_) {
        services_.startRecorder();
    } else if (updating_ && !ConfirmStop()) {
        event->ignore();
        return;
    } else if (updating_) {
        AbandonDownload();
    }
    done(QDialog::Rejected);
    event->accept();
}

bool CQarvClientUpdateDlg::ConfirmStop() {
    return ShowMessageBox(this, QStringLiteral("确定要终止？"), QStringLiteral("请确认"),
                          QMessageBox::Information,
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) == QMessageBox::Yes;
}

void CQarvClientUpdateDlg::AbandonDownload() {
    updating_ = false;
    if (worker_)
        worker_->stop();
    // Nothing of an unfinished download is kept; the installed recorder was never touched.
    std::remove(services_.download.outputPath.c_str());
}

QString CQarvClientUpdateDlg::PercentText() const {
    return percent_->text();
}

int CQarvClientUpdateDlg::ProgressPosition() const {
    return progress_->value();
}

QString CQarvClientUpdateDlg::ButtonText() const {
    return button_->text();
}

}  // namespace qarv
