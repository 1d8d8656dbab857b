#pragma once
// The upload-task page: greets the logged-in user and shows the upload tasks in six fixed
// rows (check box with the file name, progress bar, percentage, "终止", "删除"), with "全选",
// "全部停止" and "清理一下" for all rows. Every refresh rebuilds the rows from the task
// manager; while the page is shown it also follows each task's latest percentage. Usable as
// a page of another window or as a window of its own. Called on the UI thread only; the
// row buttons and other windows reach it by posted messages.

#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "recorder/library/video_element.h"
#include "recorder/sharing/share_row_controls.h"

class QLabel;

namespace qarv {

class CButtonEx;
class CCheckBoxEx;
class CColorStatic;
class LoginRegister;
class UploadFileInfoManager;

// What the page works with; an empty member takes the process-wide one.
struct ShareMgrPageServices {
    std::shared_ptr<UploadFileInfoManager> manager;  // UploadFileInfoManager::Instance()
    std::shared_ptr<LoginRegister> account;          // LoginRegister::Instance()
};

class QarvShareMgrPage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kIdSelectAll = 1067;
    static constexpr int kIdStopAll = 3024;
    static constexpr int kIdCleanUp = 3025;
    static constexpr int kIdAccount = 1099;
    static constexpr int kIdImage = 1100;
    static constexpr int kIdMySharesGroup = 1101;
    static constexpr int kIdTasksGroup = 1102;
    static constexpr int kWidth = 849;
    static constexpr int kHeight = 432;
    // How often a shown page reads the tasks' percentages.
    static constexpr int kProgressPollMs = 250;

    // One row filled at the last refresh.
    struct Row {
        int index;
        VideoElement video;
    };

    explicit QarvShareMgrPage(QWidget* parent = nullptr, ShareMgrPageServices services = {});
    ~QarvShareMgrPage() override;

    // Rebuilds the rows from the task manager and the account label from the account client.
    void Refresh();
    // Shows `percent` in row `row` (rows above 5 are ignored); 100 disables its stop button.
    void ShowRowProgress(int row, int percent);

    const std::vector<Row>& Rows() const { return rows_; }

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct RowControls {
        ShareFileCheckbox* checkBox = nullptr;
        UploadProgressBar* progressBar = nullptr;
        CColorStatic* percentLabel = nullptr;
        StopUploadTaskButton* stopButton = nullptr;
        DeleteTaskButton* deleteButton = nullptr;
    };

    void CreateControls();
    void FillRow(int row, const VideoElement& video, bool shown);
    void OnSkinButtonClick(int id);
    void SelectAll();
    void StopAll();
    void CleanUp();
    void PollProgress();

    ShareMgrPageServices services_;
    std::array<RowControls, kShareRowCount> controls_;
    std::vector<Row> rows_;
    // The percentage last taken from the manager for each row; -2 after a refresh.
    std::array<int, kShareRowCount> polledPercent_{};
    CColorStatic* accountLabel_ = nullptr;
    CCheckBoxEx* selectAll_ = nullptr;
    QTimer pollTimer_;
};

}  // namespace qarv
