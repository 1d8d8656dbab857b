#pragma once
// The controls of one row of the upload-task page: the check box naming the video, the
// progress bar, and the stop and delete buttons that carry the row's video and act on its
// task in the upload task manager themselves, then ask the page to refresh with a posted
// WM_SHARE_REFRESH. Called on the UI thread.

#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <array>
#include <memory>
#include <string>

#include "controls/check_box_ex.h"
#include "recorder/library/video_element.h"

namespace qarv {

class UploadFileInfoManager;

// The ids of one row's five controls.
struct ShareRowIds {
    int checkBox;
    int progressBar;
    int percentLabel;
    int stopButton;
    int deleteButton;
};

inline constexpr int kShareRowCount = 6;
inline constexpr std::array<ShareRowIds, kShareRowCount> kShareRows = {{
    {2010, 1061, 1077, 1076, 1112},
    {1070, 1062, 1078, 1014, 1113},
    {1007, 1063, 1079, 2016, 1114},
    {1008, 1064, 1080, 2018, 1115},
    {1009, 1065, 1081, 2020, 1116},
    {1013, 1066, 1082, 2022, 1117},
}};

// The row whose stop (or delete) button has this id, or -1.
int ShareRowOfStopButton(int id);
int ShareRowOfDeleteButton(int id);

// The object name under which a page's control with this id can be found: "control<id>".
QString ShareControlName(int id);

// The row's check box; its caption is the video's file name.
class ShareFileCheckbox : public CCheckBoxEx {
    Q_OBJECT

  public:
    static constexpr int kMaxNameCharacters = 128;

    ShareFileCheckbox(int id, QWidget* parent);

    // The caption: the file name (system code page), cut to 128 characters.
    void SetFileName(const std::string& fileName);
};

// The row's progress bar: set to 0 to 100 at position 0 when it is first used.
class UploadProgressBar : public QProgressBar {
    Q_OBJECT

  public:
    explicit UploadProgressBar(QWidget* parent);

    void SetPercent(int percent);
    bool Used() const { return used_; }

  private:
    bool used_ = false;
};

// What the two row buttons share: an id, the row's video, the manager and the page.
class ShareRowButton : public QPushButton {
    Q_OBJECT

  public:
    int Id() const { return id_; }
    void SetVideo(const VideoElement& video) { video_ = video; }
    const VideoElement& Video() const { return video_; }

  protected:
    ShareRowButton(int id, std::shared_ptr<UploadFileInfoManager> manager, QWidget* page, QWidget* parent);

    // Posts WM_SHARE_REFRESH to the page.
    void RequestRefresh(int row) const;
    virtual void OnClicked() = 0;

    const int id_;
    const std::shared_ptr<UploadFileInfoManager> manager_;
    QWidget* const page_;
    VideoElement video_;
};

// "终止": stops the row's task, which stays listed as ended.
class StopUploadTaskButton : public ShareRowButton {
    Q_OBJECT

  public:
    StopUploadTaskButton(int id, std::shared_ptr<UploadFileInfoManager> manager, QWidget* page,
                         QWidget* parent);

  protected:
    void OnClicked() override;
};

// "删除": stops and deletes the row's task, but only while the row's check box is checked.
class DeleteTaskButton : public ShareRowButton {
    Q_OBJECT

  public:
    DeleteTaskButton(int id, std::shared_ptr<UploadFileInfoManager> manager, QWidget* page, QWidget* parent);

  protected:
    void OnClicked() override;
};

}  // namespace qarv
