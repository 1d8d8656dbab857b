#pragma once
// The launcher window "QarvClientUpdate": decides before it is shown whether an update is
// offered, asks the user, and while the new recorder is fetched shows its progress (a bar of
// 0-1000 and "45.6%"), then installs it and offers "完成", which starts the recorder. A
// download that fails leaves the installed recorder and its version as they were and tells
// the user so. Called on the UI thread; the download worker reaches it only by posted messages.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/message_target.h"
#include "updater/download_thread.h"
#include "updater/update_check.h"
#include "updater/version_info.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qarv {

// What the window works with; an empty function takes the program's own.
struct LauncherServices {
    std::string configFile;     // "Config/config.xml" when empty
    std::string recorderFile;   // the installed recorder, RecorderFileName() when empty
    DownloadSettings download;  // outputPath is the temporary file "UpdateTemp"
    std::function<bool(VersionInfo&, UpdateOffer*)> checkForUpdate;  // CheckForUpdate
    std::function<bool()> askUpdateNow;                              // UpdateChooseDialog
    std::function<bool()> startRecorder;                             // StartRecorder
};

class CQarvClientUpdateDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kIdProgress = 1000;
    static constexpr int kIdPercent = 1001;
    static constexpr int kIdButton = 1004;

    explicit CQarvClientUpdateDlg(LauncherServices services = LauncherServices(), QWidget* parent = nullptr);
    // Stops a running download and waits for its worker; an unfinished download's file goes.
    ~CQarvClientUpdateDlg() override;

    // The start: no update, "下次升级" or a download that cannot start starts the recorder and
    // returns false (the window is never shown); "马上升级" starts the download and returns
    // true, and the window is then to be shown.
    bool Initialize();
    // Creates, prepares and starts the download worker; false if "UpdateTemp" cannot be made.
    bool StartDownload();

    // The handlers of the worker's messages and of the button, public for tests.
    void OnDownloadProgress(std::intptr_t perMille);
    void OnDownloadDone(std::intptr_t outcome);
    void OnCancelButton();

    QString PercentText() const;
    int ProgressPosition() const;
    QString ButtonText() const;
    bool updating() const { return updating_; }
    bool finished() const { return finished_; }

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // Asks "确定要终止？"; true for Yes.
    bool ConfirmStop();
    // Ends the download the user gave up and removes its file.
    void AbandonDownload();
    // Installs the complete download; 0, or the text that tells the user why not.
    QString Install();

    LauncherServices services_;
    MessageTargetPtr selfTarget_;
    std::shared_ptr<DownloadThread> worker_;
    QProgressBar* progress_ = nullptr;
    QLabel* percent_ = nullptr;
    QPushButton* button_ = nullptr;
    bool updating_ = false;
    bool finished_ = false;
    VersionInfo pending_;
    UpdateOffer offer_;
};

// What the user is told when an update was not installed, for a download outcome or an
// InstallResult; empty for success.
QString UpdateFailureText(DownloadOutcome outcome);
QString InstallFailureText(int installResult);

}  // namespace qarv
