#include "recorder/library/qarv_video_file_mgr_page.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QUrl>
#include <algorithm>
#include <set>

#include "common/messages.h"
#include "common/qt/message_box.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/qt_text.h"
#include "common/text.h"
#include "controls/button_ex.h"
#include "controls/check_box_ex.h"
#include "controls/color_static.h"
#include "controls/date_time_ctrl_ex.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"
#include "recorder/account/login_dialog.h"
#include "recorder/account/login_register.h"
#include "recorder/library/item_dialog.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/re_name_edit.h"
#include "recorder/sharing/share_info_dlg.h"
#include "recorder/sharing/share_mgr_page.h"
#include "recorder/sharing/upload_file_info_manager.h"

namespace qarv {
namespace {

const QColor kBackground(100, 150, 150);
constexpr int kRowTop = 35;
constexpr int kRowStep = 110;

// A window text in the catalogue's encoding, at most `maxBytes` and cut between characters.
std::string CatalogueText(const QString& text, std::size_t maxBytes) {
    std::string narrow = FromQString(text);
    TruncateOnCharBoundary(narrow, maxBytes);
    return narrow;
}

bool SameRecording(const VideoElement& a, const VideoElement& b) {
    return a.Date == b.Date && a.FileName == b.FileName;
}

VideoFileMgrPageServices WithDefaults(VideoFileMgrPageServices services) {
    if (!services.catalogue)
        services.catalogue = QarvFileManagement::GetInstance();
    if (!services.account)
        services.account = LoginRegister::Instance();
    if (!services.uploads)
        services.uploads = UploadFileInfoManager::Instance();
    if (!services.login) {
        const auto account = services.account;
        services.login = [account](QWidget* owner, QString& name) {
            LoginDialog dialog(name, owner, LoginDialogServices{account, {}, {}});
            dialog.exec();
            return account->IsLoggedIn();
        };
    }
    if (!services.shareDialog) {
        services.shareDialog = [](QWidget* owner, QString& title, QString& category, QString& description) {
            CShareInfoDlg dialog(title, category, description, owner);
            return dialog.exec() == QDialog::Accepted;
        };
    }
    if (!services.openFolder)
        services.openFolder = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    if (!services.today)
        services.today = [] { return QDate::currentDate(); };
    if (!services.openUploadTasks) {
        const auto uploads = services.uploads;
        const auto account = services.account;
        services.openUploadTasks = [uploads, account](QWidget*) {
            static QPointer<QarvShareMgrPage> window;
            if (window.isNull()) {
                window = new QarvShareMgrPage(nullptr, ShareMgrPageServices{uploads, account});
                window->setAttribute(Qt::WA_DeleteOnClose);
            }
            window->show();
            window->raise();
            window->activateWindow();
        };
    }
    return services;
}

}  // namespace

QString DurationText(long seconds) {
    const long hours = seconds / 3600;
    const long minutes = seconds / 60 - 60 * hours;
    QString text = hours > 0 ? QString::asprintf("%ld:", hours) : QString();
    return text + QString::asprintf("%02ld:%02ld", minutes, seconds % 60);
}

QString DateTimeText(const VideoElement& video) {
    return ToQString(video.Date).replace(QLatin1Char('_'), QLatin1Char('/')) + QLatin1Char(' ') +
           ToQString(video.Time);
}

std::string KeyOfDate(const QDate& date) {
    std::tm local{};
    local.tm_year = date.year() - 1900;
    local.tm_mon = date.month() - 1;
    local.tm_mday = date.day();
    return DateKey(local);
}

QDate DateOfKey(const std::string& key) {
    const QStringList parts = QString::fromStdString(key).split(QLatin1Char('_'));
    if (parts.size() != 3)
        return QDate();
    bool ok[3] = {false, false, false};
    const QDate date(parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]), parts[2].toInt(&ok[2]));
    return ok[0] && ok[1] && ok[2] ? date : QDate();
}

CQarvVideoFileMgrPage::CQarvVideoFileMgrPage(QWidget* parent, VideoFileMgrPageServices services)
    : QWidget(parent), services_(WithDefaults(std::move(services))) {
    selfTarget_ = std::make_shared<QtMessageTarget>(this);
    resize(kWidth, kHeight);
    FindStartingDay();
    CreateControls();
    ShowPageFrom(0);
    UpdatePagingButtons();
}

CQarvVideoFileMgrPage::~CQarvVideoFileMgrPage() = default;

void CQarvVideoFileMgrPage::FindStartingDay() {
    // The latest day up to today that has recordings; today when there is none (an empty
    // catalogue, or recordings dated only after today by a clock set back).
    const QDate today = services_.today();
    date_ = today;
    QDate latest;
    services_.catalogue->ForEachEntry([&](const std::string& date, const std::string&) {
        const QDate day = DateOfKey(date);
        if (day.isValid() && day <= today && (!latest.isValid() || day > latest))
            latest = day;
    });
    if (latest.isValid())
        date_ = latest;
    Load();
}

void CQarvVideoFileMgrPage::CreateControls() {
    datePicker_ = new CDateTimeCtrlEx(this);
    datePicker_->setObjectName(QStringLiteral("control%1").arg(kIdDate));
    datePicker_->setGeometry(Ltrb(130, 7, 225, 28));
    datePicker_->setDisplayFormat(QStringLiteral("yyyy/M/d"));
    datePicker_->setCalendarPopup(true);
    datePicker_->setDateRange(QDate(2010, 1, 1), std::max(services_.today(), date_));
    datePicker_->setDate(date_);
    connect(datePicker_, &QDateTimeEdit::dateChanged, this, &CQarvVideoFileMgrPage::SelectDate);

    greeting_ = new CColorStatic(this);
    greeting_->setObjectName(QStringLiteral("control%1").arg(kIdGreeting));
    greeting_->setGeometry(Ltrb(315, 10, 515, 30));
    greeting_->setFont(SongFont());
    greeting_->SetTextColor(Qt::red);
    greeting_->SetBackColor(kBackground);
    greeting_->setText(QStringLiteral("←您好,请登录..."));

    const QString buttonImage = SkinPath(QStringLiteral("Button.png"));
    const std::tuple<int, QString, QRect> buttons[] = {
        {kIdLogin, QStringLiteral("登录"), Ltrb(260, 5, 310, 30)},
        {kIdUploadTasks, QStringLiteral("上传任务"), Ltrb(760, 5, 840, 30)},
        {kIdFirstPage, QStringLiteral("首页"), Ltrb(10, 490, 60, 515)},
        {kIdPreviousPage, QStringLiteral("上一页"), Ltrb(70, 490, 120, 515)},
        {kIdNextPage, QStringLiteral("下一页"), Ltrb(130, 490, 180, 515)},
        {kIdLastPage, QStringLiteral("尾页"), Ltrb(190, 490, 240, 515)},
        {kIdPreview, QStringLiteral("图片预览"), Ltrb(510, 485, 590, 515)},
    };
    for (const auto& [id, caption, geometry] : buttons) {
        auto* button = new CButtonEx(id, this);
        button->setObjectName(QStringLiteral("control%1").arg(id));
        button->setGeometry(geometry);
        button->SetImage(buttonImage);
        button->SetText(caption);
        button->SetBackColor(kBackground);
        // Queued: a click may open a modal dialog, which must not run inside the button's
        // own mouse handler.
        connect(button, &CButtonEx::Clicked, this, &CQarvVideoFileMgrPage::OnSkinButtonClick,
                Qt::QueuedConnection);
        buttons_[id] = button;
    }

    for (int slot = 0; slot < kRows; ++slot) {
        auto* row = new CItemDialog(kIdFirstRow + slot, this, this);
        row->move(10, kRowTop + slot * kRowStep);
        row->hide();
        rows_[static_cast<std::size_t>(slot)] = row;
    }

    allBox_ = new CCheckBoxEx(kIdAll, this);
    allBox_->setObjectName(QStringLiteral("control%1").arg(kIdAll));
    allBox_->setGeometry(Ltrb(192, 467, 242, 488));
    allBox_->SetText(QStringLiteral("全部"));
    allBox_->SetBackColor(kBackground);
    allBox_->SetTextColor(Qt::white);
    connect(allBox_, &CCheckBoxEx::Clicked, this, &CQarvVideoFileMgrPage::OnSkinButtonClick);

    WatchChildren(this);
}

void CQarvVideoFileMgrPage::WatchChildren(QObject* object) {
    for (QObject* child : object->children()) {
        if (child->isWidgetType()) {
            child->installEventFilter(this);
            WatchChildren(child);
        }
    }
}

CButtonEx* CQarvVideoFileMgrPage::Button(int id) const {
    const auto found = buttons_.find(id);
    return found == buttons_.end() ? nullptr : found->second;
}

void CQarvVideoFileMgrPage::SetButtonEnabled(int id, bool enabled) {
    CButtonEx* button = Button(id);
    button->setEnabled(enabled);
    button->SetState(enabled ? CButtonEx::kStateNormal : CButtonEx::kStateDisabled);
}

void CQarvVideoFileMgrPage::Load() {
    // Thumbnails are looked up for the rows on show only (FillRow).
    list_.clear();
    if (all_)
        services_.catalogue->ListAll(list_, ThumbnailLookup::kSkip);
    else
        services_.catalogue->GetVideosByDate(KeyOfDate(date_), list_, ThumbnailLookup::kSkip);
    std::reverse(list_.begin(), list_.end());  // newest first
}

void CQarvVideoFileMgrPage::Reload() {
    Load();
    page_ = 1;
    ShowPageFrom(0);
    UpdatePagingButtons();
}

int CQarvVideoFileMgrPage::LastPage() const {
    return std::max(1, static_cast<int>((list_.size() + kRows - 1) / kRows));
}

void CQarvVideoFileMgrPage::UpdatePagingButtons() {
    SetButtonEnabled(kIdFirstPage, page_ > 1);
    SetButtonEnabled(kIdPreviousPage, page_ > 1);
    SetButtonEnabled(kIdNextPage, page_ < LastPage());
    SetButtonEnabled(kIdLastPage, page_ < LastPage());
    SetButtonEnabled(kIdPreview, !list_.empty());
}

int CQarvVideoFileMgrPage::IndexOfSlot(int slot) const {
    return (page_ - 1) * kRows + slot;
}

int CQarvVideoFileMgrPage::IndexOf(const VideoElement& video) const {
    for (std::size_t i = 0; i < list_.size(); ++i) {
        if (SameRecording(list_[i], video))
            return static_cast<int>(i);
    }
    return -1;
}

int CQarvVideoFileMgrPage::SlotOf(int index) const {
    const int slot = index - (page_ - 1) * kRows;
    return index >= 0 && slot >= 0 && slot < kRows && Row(slot)->isVisible() ? slot : -1;
}

VideoElement* CQarvVideoFileMgrPage::EntryAtHand() {
    const int index = IndexOfSlot(selectedSlot_);
    return index >= 0 && index < static_cast<int>(list_.size()) ? &list_[static_cast<std::size_t>(index)]
                                                                : nullptr;
}

VideoElement CQarvVideoFileMgrPage::ForCatalogue(int index) const {
    VideoElement video = list_[static_cast<std::size_t>(index)];
    for (const auto& [number, share] : shares_) {
        if (SameRecording(share.video, video)) {
            video.IsUpload = share.savedUpload;
            video.Category = share.savedCategory;
        }
    }
    return video;
}

void CQarvVideoFileMgrPage::ShowPageFrom(int slot) {
    update();  // the count line
    if (list_.empty()) {
        for (CItemDialog* row : rows_)
            row->hide();
        selectedSlot_ = 0;
        previewIndex_ = 0;
        UpdatePreview();
        return;
    }
    int index = IndexOfSlot(slot);
    if (index >= static_cast<int>(list_.size())) {
        if (slot > 0)
            --slot;
        else
            page_ = std::max(1, page_ - 1);
        index = IndexOfSlot(slot);
    }
    selectedSlot_ = slot;
    previewIndex_ = 0;
    int k = slot;
    for (; k < kRows && index < static_cast<int>(list_.size()); ++k, ++index)
        FillRow(k, list_[static_cast<std::size_t>(index)]);
    for (; k < kRows; ++k)
        Row(k)->hide();
    UpdatePreview();
}

void CQarvVideoFileMgrPage::FillRow(int slot, VideoElement& video) {
    video.BuildThumbnailList(services_.catalogue->GetVideoFolder());
    CItemDialog* row = Row(slot);
    row->SetPicture(video.Thumbnails.empty() ? SkinPath(QStringLiteral("default_jpeg.png"))
                                             : ToQString(video.Thumbnails.front()));
    row->SetDateText(DateTimeText(video));
    row->SetDurationText(DurationText(video.Duration));
    row->SetTitle(ToQString(video.Title));
    row->SetShared(video.IsUpload);
    row->SetFavourite(video.IsFlag);
    row->HideProgress();
    // A share in flight keeps its button disabled and shows how far it has come.
    bool sharing = false;
    for (const auto& [number, share] : shares_) {
        if (SameRecording(share.video, video)) {
            sharing = true;
            const int percent = services_.uploads->LatestPercent(share.video);
            if (percent >= 0 && percent < 100)
                row->ShowProgress(percent);
        }
    }
    row->ShareButton()->setEnabled(!sharing);
    row->ShareButton()->SetState(sharing ? CButtonEx::kStateDisabled : CButtonEx::kStateNormal);
    row->show();
}

void CQarvVideoFileMgrPage::UpdatePreview() {
    QString path;
    if (const VideoElement* video = EntryAtHand()) {
        if (previewIndex_ >= 0 && previewIndex_ < static_cast<int>(video->Thumbnails.size()))
            path = ToQString(video->Thumbnails[static_cast<std::size_t>(previewIndex_)]);
    }
    if (path != previewPath_ || (previewImage_.isNull() && !path.isEmpty())) {
        previewPath_ = path;
        // Only the picture on show is decoded, scaled once to the size it is drawn at.
        const QImage image = path.isEmpty() ? QImage() : QImage(path);
        previewImage_ = image.isNull() ? QImage()
                                       : image.scaled(PreviewRect().size(), Qt::KeepAspectRatio,
                                                      Qt::SmoothTransformation);
    }
    update(PreviewRect().adjusted(0, 0, 0, 40));
}

QString CQarvVideoFileMgrPage::PreviewCaption() const {
    if (previewPath_.isEmpty())
        return QStringLiteral("无图片可预览...");
    const int index = IndexOfSlot(selectedSlot_);
    const bool last =
        index >= 0 && index < static_cast<int>(list_.size()) &&
        previewIndex_ + 1 == static_cast<int>(list_[static_cast<std::size_t>(index)].Thumbnails.size());
    return last ? QStringLiteral("最后一张图片！") : QStringLiteral("第%1张图片！").arg(previewIndex_ + 1);
}

void CQarvVideoFileMgrPage::SelectDate(const QDate& date) {
    if (!date.isValid())
        return;
    date_ = date;
    if (datePicker_->date() != date) {
        const QSignalBlocker blocker(datePicker_);
        datePicker_->setDate(date);
    }
    Reload();
}

void CQarvVideoFileMgrPage::OnSkinButtonClick(int id) {
    switch (id) {
        case kIdFirstPage:
        case kIdPreviousPage:
        case kIdNextPage:
        case kIdLastPage:
            OnPaging(id);
            break;
        case kIdPreview:
            if (const VideoElement* video = EntryAtHand(); video != nullptr && !video->Thumbnails.empty()) {
                previewIndex_ = (previewIndex_ + 1) % static_cast<int>(video->Thumbnails.size());
                UpdatePreview();
            }
            break;
        case kIdAll:
            all_ = allBox_->IsChecked();
            datePicker_->setEnabled(!all_);
            Reload();
            break;
        case kIdLogin:
            EnsureLoggedIn();
            break;
        case kIdUploadTasks:
            services_.openUploadTasks(this);
            break;
        default:
            break;
    }
}

void CQarvVideoFileMgrPage::OnPaging(int id) {
    switch (id) {
        case kIdFirstPage:
            page_ = 1;
            break;
        case kIdPreviousPage:
            page_ = std::max(1, page_ - 1);
            break;
        case kIdNextPage:
            page_ = std::min(LastPage(), page_ + 1);
            break;
        default:
            page_ = LastPage();
            break;
    }
    ShowPageFrom(0);
    UpdatePagingButtons();
}

bool CQarvVideoFileMgrPage::EnsureLoggedIn() {
    QString name;
    if (!services_.account->IsLoggedIn()) {
        if (!services_.login(parentWidget() != nullptr ? parentWidget() : this, name) ||
            !services_.account->IsLoggedIn())
            return false;
    }
    ShowGreeting(name.isEmpty() ? ToQString(services_.account->AccountName()) : name);
    return true;
}

void CQarvVideoFileMgrPage::ShowGreeting(const QString& account) {
    greeting_->setText(QStringLiteral("您好,") + account);
    SetButtonEnabled(kIdLogin, false);
}

void CQarvVideoFileMgrPage::OnItemCommand(int rowId, int command) {
    const int slot = rowId - kIdFirstRow;
    if (slot < 0 || slot >= kRows || EntryAtHand() == nullptr)
        return;
    selectedSlot_ = slot;
    previewIndex_ = 0;
    UpdatePreview();
    if (EntryAtHand() == nullptr)
        return;
    switch (command) {
        case CItemDialog::kIdShare:
            Share();
            break;
        case CItemDialog::kIdFavourite:
            ToggleFavourite();
            break;
        case CItemDialog::kIdDelete:
            Delete();
            break;
        default:
            break;
    }
}

void CQarvVideoFileMgrPage::Share() {
    if (!EnsureLoggedIn())
        return;
    const int index = IndexOfSlot(selectedSlot_);
    if (index < 0 || index >= static_cast<int>(list_.size()))
        return;  // the list changed while the login ran
    VideoElement& entry = list_[static_cast<std::size_t>(index)];
    if (entry.IsUpload || services_.uploads->Contains(entry)) {
        if (ShowMessageBox(this, QStringLiteral("任务已经分享,是否继续分享？"), QStringLiteral("提示"),
                           QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    QString title = ToQString(entry.Title);
    QString category;
    QString description;
    if (!services_.shareDialog(this, title, category, description))
        return;

    struct Share share;
    share.savedUpload = entry.IsUpload;
    share.savedTitle = entry.Title;
    share.savedCategory = entry.Category;
    const VideoElement before = entry;
    entry.IsUpload = true;
    entry.Title = CatalogueText(title, kMaxTextBytes);
    entry.Category = CatalogueText(category, kMaxTextBytes);
    share.video = entry;

    // The task index is the share's own number: whatever the page shows when the upload
    // reports, its progress and outcome reach the recording that was shared.
    const int number = nextShare_++;
    const UploadRequest request{CatalogueText(description, kMaxTextBytes), entry};
    if (services_.uploads->AddTask(request, selfTarget_, number) == UploadFileInfoManager::kTasksFull) {
        entry = before;
        ShowMessageBox(this, QStringLiteral("同时最多上传6个视频，请等其中一个上传结束后再分享。"),
                       QStringLiteral("提示"), QMessageBox::Information, QMessageBox::Ok);
        return;
    }
    shares_[number] = share;
    FillRow(selectedSlot_, entry);
}

void CQarvVideoFileMgrPage::ToggleFavourite() {
    const int index = IndexOfSlot(selectedSlot_);
    VideoElement& entry = list_[static_cast<std::size_t>(index)];
    entry.IsFlag = !Row(selectedSlot_)->Favourite();
    services_.catalogue->UpdateVideo(ForCatalogue(index));
    Row(selectedSlot_)->SetFavourite(entry.IsFlag);
}

void CQarvVideoFileMgrPage::Delete() {
    if (ShowMessageBox(this, QStringLiteral("您确定要删除此视频文件？"), QStringLiteral("警告"),
                       QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const int index = IndexOfSlot(selectedSlot_);
    if (index < 0 || index >= static_cast<int>(list_.size()))
        return;
    VideoElement victim = ForCatalogue(index);
    victim.Owner = kDefaultOwner;
    if (services_.catalogue->DeleteFile(victim) != 0) {
        // The catalogue keeps what it could not delete: so does the page.
        ShowMessageBox(this, QStringLiteral("删除失败：录像文件正在使用或没有权限，录像已保留。"),
                       QStringLiteral("警告"), QMessageBox::Warning, QMessageBox::Ok);
        return;
    }
    // The entry at hand, not merely the first of its file name: every day has a "0.flv".
    list_.erase(list_.begin() + index);
    ShowPageFrom(selectedSlot_);
    UpdatePagingButtons();
}

void CQarvVideoFileMgrPage::OnRetitle(int rowId, const char16_t* title) {
    const int slot = rowId - kIdFirstRow;
    if (slot < 0 || slot >= kRows)
        return;
    selectedSlot_ = slot;
    previewIndex_ = 0;
    UpdatePreview();
    const int index = IndexOfSlot(slot);
    if (title == nullptr || index < 0 || index >= static_cast<int>(list_.size()))
        return;
    VideoElement& entry = list_[static_cast<std::size_t>(index)];
    entry.Title = CatalogueText(QString::fromUtf16(title), kMaxTextBytes);
    services_.catalogue->UpdateVideo(ForCatalogue(index));
    Row(slot)->SetTitle(ToQString(entry.Title));  // the title as the catalogue keeps it
}

void CQarvVideoFileMgrPage::OnVideoAdded() {
    if (all_ || date_ == services_.today())
        Reload();
}

void CQarvVideoFileMgrPage::OnUploadProgress(int number, int percent) {
    const auto share = shares_.find(number);
    if (share == shares_.end())
        return;
    const int slot = SlotOf(IndexOf(share->second.video));
    if (slot >= 0)
        Row(slot)->ShowProgress(percent);
}

void CQarvVideoFileMgrPage::OnUploadDone(int number, int result) {
    const auto found = shares_.find(number);
    if (found == shares_.end())
        return;
    const struct Share share = found->second;
    shares_.erase(found);
    const int index = IndexOf(share.video);
    if (result == 0) {
        // The list's entry holds any later retitle or favourite; without it (a reload since),
        // the shared values go onto the catalogue's entry as it is now.
        VideoElement shared = share.video;
        if (index >= 0) {
            shared = list_[static_cast<std::size_t>(index)];
        } else {
            std::vector<VideoElement> day;
            services_.catalogue->GetVideosByDate(share.video.Date, day, ThumbnailLookup::kSkip);
            for (const VideoElement& video : day) {
                if (video.FileName == share.video.FileName)
                    shared.IsFlag = video.IsFlag;
            }
        }
        shared.IsUpload = true;
        services_.catalogue->UpdateVideo(shared);
    } else if (index >= 0) {
        VideoElement& entry = list_[static_cast<std::size_t>(index)];
        entry.IsUpload = share.savedUpload;
        entry.Title = share.savedTitle;
        entry.Category = share.savedCategory;
    }
    const int slot = SlotOf(index);
    if (slot >= 0)
        FillRow(slot, list_[static_cast<std::size_t>(index)]);
}

const VideoElement* CQarvVideoFileMgrPage::EntryAt(const QPoint& point) const {
    for (int slot = 0; slot < kRows; ++slot) {
        const int index = IndexOfSlot(slot);
        if (Row(slot)->isVisible() && Row(slot)->geometry().contains(point) &&
            index < static_cast<int>(list_.size()))
            return &list_[static_cast<std::size_t>(index)];
    }
    if (!previewPath_.isEmpty() && PreviewRect().contains(point)) {
        const int index = IndexOfSlot(selectedSlot_);
        if (index >= 0 && index < static_cast<int>(list_.size()))
            return &list_[static_cast<std::size_t>(index)];
    }
    return nullptr;
}

void CQarvVideoFileMgrPage::OpenFolderAt(const QPoint& point) {
    const VideoElement* video = EntryAt(point);
    if (video == nullptr)
        return;
    const std::string path = services_.catalogue->GetVideoPath(*video);
    if (!path.empty())
        services_.openFolder(QUrl::fromLocalFile(QFileInfo(ToQString(path)).absolutePath()));
}

void CQarvVideoFileMgrPage::ShowFolderMenu(const QPoint& globalPos) {
    const QPoint point = mapFromGlobal(globalPos);
    if (EntryAt(point) == nullptr)
        return;
    QMenu menu(this);
    QAction* open = menu.addAction(QStringLiteral("打开文件夹"));
    open->setData(kIdOpenFolder);
    if (menu.exec(globalPos) == open)
        OpenFolderAt(point);
}

bool CQarvVideoFileMgrPage::eventFilter(QObject* watched, QEvent* event) {
    // A right click anywhere on the page, its rows and their editors included, offers the
    // folder of the recording under the pointer.
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        ShowFolderMenu(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

bool CQarvVideoFileMgrPage::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        const int wParam = static_cast<int>(message->wParam());
        switch (message->message()) {
            case WM_ITEM_COMMAND:
                OnItemCommand(wParam, static_cast<int>(message->lParam()));
                break;
            case WM_ITEM_RETITLE:
                OnRetitle(wParam, reinterpret_cast<const char16_t*>(message->lParam()));
                break;
            case WM_VIDEO_ADDED:
                OnVideoAdded();
                break;
            case WM_UPLOAD_PROGRESS:
                OnUploadProgress(wParam, static_cast<int>(message->lParam()));
                break;
            case WM_UPLOAD_DONE:
                OnUploadDone(wParam, static_cast<int>(message->lParam()));
                break;
            default:
                break;
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        ShowFolderMenu(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    }
    return QWidget::event(event);
}

void CQarvVideoFileMgrPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A login made elsewhere (the my-share page) shows here too.
    if (services_.account->IsLoggedIn())
        ShowGreeting(ToQString(services_.account->AccountName()));
}

void CQarvVideoFileMgrPage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setFont(SongFont(9));
    painter.setPen(Qt::white);
    painter.drawText(Ltrb(30, 7, 127, 28), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("可以选择时间:"));

    const QRect preview = PreviewRect();
    painter.fillRect(preview, kBackground.darker(115));
    if (!previewImage_.isNull()) {
        const QRect target(QPoint(0, 0), previewImage_.size());
        painter.drawImage(target.translated(preview.center() - target.center()), previewImage_);
    }
    painter.drawText(Ltrb(600, 485, 840, 515), Qt::AlignRight | Qt::AlignVCenter, PreviewCaption());

    // "共录制有 N 个视频文件！", the number large and red.
    QFont big = SongFont(16);
    big.setBold(true);
    const QString count = QString::number(list_.size());
    int x = 10;
    const int baseline = 540;
    painter.drawText(QPoint(x, baseline), QStringLiteral("共录制有"));
    x += painter.fontMetrics().horizontalAdvance(QStringLiteral("共录制有")) + 4;
    painter.setFont(big);
    painter.setPen(Qt::red);
    painter.drawText(QPoint(x, baseline), count);
    x += painter.fontMetrics().horizontalAdvance(count) + 4;
    painter.setFont(SongFont(9));
    painter.setPen(Qt::white);
    painter.drawText(QPoint(x, baseline), QStringLiteral("个视频文件！"));
}

}  // namespace qarv
