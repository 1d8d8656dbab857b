#include "recorder/sharing/share_mgr_page.h"

#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <algorithm>
#include <utility>

#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/qt_text.h"
#include "controls/button_ex.h"
#include "controls/check_box_ex.h"
#include "controls/color_static.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"
#include "recorder/account/login_register.h"
#include "recorder/sharing/upload_file_info_manager.h"

namespace qarv {
namespace {

const QColor kBackground(100, 150, 150);
constexpr int kNotPolled = -2;

CColorStatic* MakeLabel(QWidget* parent, int id, const QString& text, const QRect& geometry) {
    auto* label = new CColorStatic(parent);
    if (id != 0)
        label->setObjectName(ShareControlName(id));
    label->setText(text);
    label->setGeometry(geometry);
    label->setFont(SongFont());
    label->SetBackColor(kBackground);
    return label;
}

QGroupBox* MakeGroup(QWidget* parent, int id, const QString& title, const QRect& geometry) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(ShareControlName(id));
    group->setGeometry(geometry);
    QPalette colours = group->palette();
    colours.setColor(QPalette::WindowText, Qt::white);
    group->setPalette(colours);
    return group;
}

void ShowAndEnable(QWidget* widget, bool shown) {
    widget->setVisible(shown);
    widget->setEnabled(shown);
}

}  // namespace

QarvShareMgrPage::QarvShareMgrPage(QWidget* parent, ShareMgrPageServices services)
    : QWidget(parent), services_(std::move(services)) {
    if (!services_.manager)
        services_.manager = UploadFileInfoManager::Instance();
    if (!services_.account)
        services_.account = LoginRegister::Instance();
    polledPercent_.fill(kNotPolled);

    setWindowTitle(QStringLiteral("分享任务"));  // shown when the page is a window of its own
    resize(kWidth, kHeight);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);
    CreateControls();

    pollTimer_.setInterval(kProgressPollMs);
    connect(&pollTimer_, &QTimer::timeout, this, &QarvShareMgrPage::PollProgress);
}

QarvShareMgrPage::~QarvShareMgrPage() = default;

void QarvShareMgrPage::CreateControls() {
    MakeGroup(this, kIdMySharesGroup, QStringLiteral("我的分享"), Ltrb(10, 64, 839, 422));
    MakeGroup(this, kIdTasksGroup, QStringLiteral("分享任务"), Ltrb(20, 84, 829, 362));

    auto* image = new QLabel(this);
    image->setObjectName(ShareControlName(kIdImage));
    image->setGeometry(Ltrb(20, 10, 68, 58));
    MakeLabel(this, 0, QStringLiteral("Hi~"), Ltrb(80, 26, 110, 46));
    accountLabel_ = MakeLabel(this, kIdAccount, QStringLiteral("Nickname(username)"), Ltrb(112, 26, 500, 46));

    // Until the first refresh the rows are hidden, with the placeholder texts of their layout.
    for (int row = 0; row < kShareRowCount; ++row) {
        const ShareRowIds& ids = kShareRows[row];
        const int top = 108 + row * 40;
        RowControls& controls = controls_[row];

        controls.checkBox = new ShareFileCheckbox(ids.checkBox, this);
        controls.checkBox->setGeometry(Ltrb(35, top, 365, top + 24));
        controls.checkBox->SetText(QStringLiteral("Check1"));
        controls.checkBox->SetBackColor(kBackground);
        controls.checkBox->SetTextColor(Qt::white);

        controls.progressBar = new UploadProgressBar(this);
        controls.progressBar->setObjectName(ShareControlName(ids.progressBar));
        controls.progressBar->setGeometry(Ltrb(375, top + 4, 655, top + 20));

        controls.percentLabel =
            MakeLabel(this, ids.percentLabel, QStringLiteral("10%"), Ltrb(662, top + 2, 710, top + 22));

        controls.stopButton = new StopUploadTaskButton(ids.stopButton, services_.manager, this, this);
        controls.stopButton->setGeometry(Ltrb(715, top, 765, top + 24));
        controls.stopButton->setText(QStringLiteral("停止%1").arg(row + 1));

        controls.deleteButton = new DeleteTaskButton(ids.deleteButton, services_.manager, this, this);
        controls.deleteButton->setGeometry(Ltrb(770, top, 820, top + 24));
        controls.deleteButton->setText(QStringLiteral("删除"));

        for (QWidget* widget :
             {static_cast<QWidget*>(controls.checkBox), static_cast<QWidget*>(controls.progressBar),
              static_cast<QWidget*>(controls.percentLabel), static_cast<QWidget*>(controls.stopButton),
              static_cast<QWidget*>(controls.deleteButton)}) {
            widget->hide();
        }
    }

    selectAll_ = new CCheckBoxEx(kIdSelectAll, this);
    selectAll_->setObjectName(ShareControlName(kIdSelectAll));
    selectAll_->setGeometry(Ltrb(35, 376, 115, 400));
    selectAll_->SetText(QStringLiteral("全选"));
    selectAll_->SetBackColor(kBackground);
    selectAll_->SetTextColor(Qt::white);
    connect(selectAll_, &CCheckBoxEx::Clicked, this, &QarvShareMgrPage::OnSkinButtonClick);

    const QString buttonImage = SkinPath(QStringLiteral("Button.png"));
    const std::pair<int, QString> buttons[] = {
        {kIdStopAll, QStringLiteral("全部停止")},
        {kIdCleanUp, QStringLiteral("清理一下")},
    };
    int left = 625;
    for (const auto& [id, caption] : buttons) {
        auto* button = new CButtonEx(id, this);
        button->setObjectName(ShareControlName(id));
        button->setGeometry(Ltrb(left, 373, left + 90, 401));
        button->SetImage(buttonImage);
        button->SetText(caption);
        button->SetBackColor(kBackground);
        // Queued: stopping waits for the upload threads, which must not happen inside the
        // button's own mouse handler.
        connect(button, &CButtonEx::Clicked, this, &QarvShareMgrPage::OnSkinButtonClick,
                Qt::QueuedConnection);
        left += 105;
    }
}

void QarvShareMgrPage::Refresh() {
    std::vector<VideoElement> videos;
    services_.manager->ListVideos(videos);

    rows_.clear();
    polledPercent_.fill(kNotPolled);
    int row = 0;
    for (const VideoElement& video : videos) {
        if (row >= kShareRowCount)
            break;
        FillRow(row, video, true);
        rows_.push_back({row, video});
        ++row;
    }
    for (; row < kShareRowCount; ++row)
        FillRow(row, VideoElement(), false);

    const LoginRegister& account = *services_.account;
    accountLabel_->setText(account.IsLoggedIn() ? ToQString(account.AccountName())
                                                : QStringLiteral("未登录"));

    if (isVisible())
        PollProgress();
}

void QarvShareMgrPage::FillRow(int row, const VideoElement& video, bool shown) {
    RowControls& controls = controls_[row];
    controls.checkBox->SetFileName(video.FileName);
    ShowAndEnable(controls.checkBox, shown);
    ShowAndEnable(controls.progressBar, shown);
    ShowAndEnable(controls.percentLabel, shown);

    controls.deleteButton->setText(QStringLiteral("删除"));
    ShowAndEnable(controls.deleteButton, shown);
    controls.deleteButton->SetVideo(video);

    controls.stopButton->SetVideo(video);
    ShowAndEnable(controls.stopButton, shown);
    controls.stopButton->setText(QStringLiteral("终止"));
}

void QarvShareMgrPage::ShowRowProgress(int row, int percent) {
    if (row < 0 || row >= kShareRowCount)
        return;
    RowControls& controls = controls_[row];
    controls.progressBar->SetPercent(percent);
    controls.percentLabel->setText(QString::asprintf("%d%%", percent));
    if (percent == 100)
        controls.stopButton->setEnabled(false);
}

void QarvShareMgrPage::PollProgress() {
    for (const Row& row : rows_) {
        // A task that has reported nothing yet has sent nothing.
        const int percent = std::max(services_.manager->LatestPercent(row.video), 0);
        if (percent != polledPercent_[row.index]) {
            polledPercent_[row.index] = percent;
            ShowRowProgress(row.index, percent);
        }
    }
}

bool QarvShareMgrPage::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message() == WM_SHARE_REFRESH) {
            Refresh();
        } else if (message->message() == WM_UPLOAD_PROGRESS) {
            ShowRowProgress(static_cast<int>(message->wParam()), static_cast<int>(message->lParam()));
        }
        return true;
    }
    return QWidget::event(event);
}

void QarvShareMgrPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    pollTimer_.start();
}

void QarvShareMgrPage::hideEvent(QHideEvent* event) {
    pollTimer_.stop();
    QWidget::hideEvent(event);
}

void QarvShareMgrPage::OnSkinButtonClick(int id) {
    switch (id) {
        case kIdSelectAll:
            SelectAll();
            break;
        case kIdStopAll:
            StopAll();
            break;
        case kIdCleanUp:
            CleanUp();
            break;
        default:
            break;
    }
}

void QarvShareMgrPage::SelectAll() {
    for (RowControls& controls : controls_)
        controls.checkBox->SetChecked(selectAll_->IsChecked());
}

void QarvShareMgrPage::StopAll() {
    for (const Row& row : rows_)
        services_.manager->StopTask(row.video);
    Refresh();
}

void QarvShareMgrPage::CleanUp() {
    services_.manager->PurgeEnded();
    Refresh();
}

}  // namespace qarv
