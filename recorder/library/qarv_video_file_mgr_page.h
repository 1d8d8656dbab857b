#pragma once
// The main window's "我的录像" page: the recordings of one day (or all of them) four rows at a
// time, newest first, with paging, a large preview that steps through the selected
// recording's thumbnails, and per recording retitling, favourite, delete, opening its folder
// and sharing it (login, share dialog, upload task, then the shared mark in the catalogue).
// Called on the UI thread only; the rows, the capture session and the uploads reach it by
// posted messages.

#include <QDate>
#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "recorder/library/video_element.h"

class QUrl;

namespace qarv {

class CButtonEx;
class CCheckBoxEx;
class CColorStatic;
class CDateTimeCtrlEx;
class CItemDialog;
class LoginRegister;
class QarvFileManagement;
class QtMessageTarget;
class UploadFileInfoManager;

// What the page works with; an empty member takes the process-wide one or the real dialog.
struct VideoFileMgrPageServices {
    std::shared_ptr<QarvFileManagement> catalogue;   // QarvFileManagement::GetInstance()
    std::shared_ptr<LoginRegister> account;          // LoginRegister::Instance()
    std::shared_ptr<UploadFileInfoManager> uploads;  // UploadFileInfoManager::Instance()
    // Runs the login dialog owned by `owner`; true once logged in, with the account name
    // the dialog handed back (empty if it handed back none).
    std::function<bool(QWidget* owner, QString& account)> login;
    // Runs the share dialog; true when confirmed, with the three texts.
    std::function<bool(QWidget* owner, QString& title, QString& category, QString& description)> shareDialog;
    std::function<void(const QUrl&)> openFolder;  // QDesktopServices::openUrl
    std::function<QDate()> today;                 // the local date
    // Opens the upload-task page as a window of its own.
    std::function<void(QWidget* owner)> openUploadTasks;
};

class CQarvVideoFileMgrPage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kIdDate = 10140;
    static constexpr int kIdGreeting = 10170;
    static constexpr int kIdLogin = 10118;
    static constexpr int kIdFirstRow = 10501;
    static constexpr int kIdAll = 10154;
    static constexpr int kIdFirstPage = 10113;
    static constexpr int kIdPreviousPage = 10115;
    static constexpr int kIdNextPage = 10114;
    static constexpr int kIdLastPage = 10116;
    static constexpr int kIdPreview = 10117;
    static constexpr int kIdUploadTasks = 10119;
    static constexpr int kIdOpenFolder = 10180;
    static constexpr int kRows = 4;
    static constexpr int kWidth = 849;
    static constexpr int kHeight = 550;
    // Bytes a title or category may have in the catalogue.
    static constexpr std::size_t kMaxTextBytes = 255;
    static QRect PreviewRect() { return QRect(260, 45, 580, 435); }

    explicit CQarvVideoFileMgrPage(QWidget* parent = nullptr, VideoFileMgrPageServices services = {});
    ~CQarvVideoFileMgrPage() override;

    // What the page shows, for the window and its tests.
    const std::vector<VideoElement>& List() const { return list_; }
    int CurrentPage() const { return page_; }
    int SelectedSlot() const { return selectedSlot_; }
    int PreviewIndex() const { return previewIndex_; }
    QString PreviewPath() const { return previewPath_; }
    QString PreviewCaption() const;
    QDate SelectedDate() const { return date_; }
    // Shares started here whose upload has not reported its end.
    std::size_t SharesInFlight() const { return shares_.size(); }
    CItemDialog* Row(int slot) const { return rows_[static_cast<std::size_t>(slot)]; }
    CButtonEx* Button(int id) const;
    CCheckBoxEx* AllBox() const { return allBox_; }
    CDateTimeCtrlEx* DatePicker() const { return datePicker_; }
    CColorStatic* Greeting() const { return greeting_; }
    // The entry of the visible row or the preview under `point` (page coordinates), if any.
    const VideoElement* EntryAt(const QPoint& point) const;

    // Picks a day as the date picker would, and reloads.
    void SelectDate(const QDate& date);
    // Runs the folder menu's command for the entry under `point` (as its "打开文件夹").
    void OpenFolderAt(const QPoint& point);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // An upload in flight: the recording it concerns (as sent) and its values before.
    struct Share {
        VideoElement video;
        bool savedUpload = false;
        std::string savedTitle;
        std::string savedCategory;
    };

    void CreateControls();
    void FindStartingDay();
    void Load();
    void Reload();
    void UpdatePagingButtons();
    void SetButtonEnabled(int id, bool enabled);
    void ShowPageFrom(int slot);
    // Shows `video` in row `slot`, its thumbnails looked up anew on disk.
    void FillRow(int slot, VideoElement& video);
    void UpdatePreview();
    void OnSkinButtonClick(int id);
    void OnPaging(int id);
    void OnItemCommand(int rowId, int command);
    void OnRetitle(int rowId, const char16_t* title);
    void OnVideoAdded();
    void OnUploadProgress(int share, int percent);
    void OnUploadDone(int share, int result);
    void Share();
    void ToggleFavourite();
    void Delete();
    bool EnsureLoggedIn();
    void ShowFolderMenu(const QPoint& globalPos);
    int LastPage() const;
    int IndexOfSlot(int slot) const;
    // The list index of the recording `video` names (by day and file), or -1.
    int IndexOf(const VideoElement& video) const;
    // The row showing list index `index`, or -1.
    int SlotOf(int index) const;
    VideoElement* EntryAtHand();
    // The list entry at `index` as the catalogue should hold it: while a share of it is in
    // flight, with its shared mark and category from before the share.
    VideoElement ForCatalogue(int index) const;
    void ShowGreeting(const QString& account);
    void WatchChildren(QObject* object);

    VideoFileMgrPageServices services_;
    std::vector<VideoElement> list_;
    int page_ = 1;
    int selectedSlot_ = 0;
    int previewIndex_ = 0;
    QString previewPath_;
    QImage previewImage_;
    QDate date_;
    bool all_ = false;
    std::map<int, struct Share> shares_;  // by share number, the task index the uploads report
    int nextShare_ = 0;

    std::array<CItemDialog*, kRows> rows_{};
    std::map<int, CButtonEx*> buttons_;
    CCheckBoxEx* allBox_ = nullptr;
    CDateTimeCtrlEx* datePicker_ = nullptr;
    CColorStatic* greeting_ = nullptr;
    std::shared_ptr<QtMessageTarget> selfTarget_;
};

// "h:mm:ss" (hours only when there are any) or "mm:ss" of a length in seconds.
QString DurationText(long seconds);
// The date key's "_" as "/", a space, then the time of day: "2014/9/9 02:09:06".
QString DateTimeText(const VideoElement& video);
// The catalogue's date key of a day, "2015_3_5".
std::string KeyOfDate(const QDate& date);
// The date of a date key "Y_M_D"; invalid if it is none.
QDate DateOfKey(const std::string& key);

}  // namespace qarv
