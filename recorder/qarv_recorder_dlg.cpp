#include "recorder/qarv_recorder_dlg.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "common/messages.h"
#include "common/qt/qt_message_target.h"
#include "controls/button_ex.h"
#include "controls/color_static.h"
#include "controls/skin_path.h"
#include "controls/tool_bar_ex.h"
#include "recorder/account/login_register.h"
#include "recorder/library/qarv_video_file_mgr_page.h"
#include "recorder/recording/record_control_thread.h"
#include "recorder/recording/recorder_page.h"
#include "recorder/shell/qarv_record_info_center.h"
#include "recorder/web/qarv_my_share_page.h"
#include "recorder/web/qarv_news_page.h"
#include "recorder/web/statistics_visit.h"

namespace qarv {
namespace {

constexpr int kClientWidth = QarvRecorderPage::kWidth + 2;
// The page area holds the tallest page.
constexpr int kClientHeight = CQarvRecorderDlg::kTitleBandHeight +
                              std::max(QarvRecorderPage::kHeight, CQarvVideoFileMgrPage::kHeight) +
                              CQarvRecorderDlg::kBottomBandHeight;
constexpr int kTabItemSize = 69;
constexpr int kTabGap = 8;

}  // namespace

CQarvRecorderDlg::CQarvRecorderDlg(QWidget* parent, std::unique_ptr<RecordControlThread> controller)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint) {
    selfTarget_ = std::make_shared<QtMessageTarget>(this);
    setWindowIcon(QIcon(QCoreApplication::applicationDirPath() + QStringLiteral("/Icon/QarvRecorder.ico")));
    setWindowTitle(QStringLiteral("Qarv高清录屏"));
    setFixedSize(kClientWidth, kClientHeight);

    const int right = kClientWidth;
    closeButton_ = new CButtonEx(kIdClose, this);
    closeButton_->setGeometry(QRect(right - 48, 0, 46, 26));
    closeButton_->SetImage(SkinPath(QStringLiteral("sysbtn_close.png")));
    closeButton_->SetTransparent(true);
    closeButton_->SetToolTip(QStringLiteral("关闭"));
    minimiseButton_ = new CButtonEx(kIdMinimise, this);
    minimiseButton_->setGeometry(QRect(right - 79, 0, 31, 26));
    minimiseButton_->SetImage(SkinPath(QStringLiteral("sysbtn_min.png")));
    minimiseButton_->SetTransparent(true);
    minimiseButton_->SetToolTip(QStringLiteral("最小化"));
    for (CButtonEx* button : {closeButton_, minimiseButton_}) {
        connect(button, &CButtonEx::Clicked, this, &CQarvRecorderDlg::OnSkinButtonClick,
                Qt::QueuedConnection);
    }

    const QRect area = PageArea();
    // The my-videos page lists the catalogue the recordings go into.
    VideoFileMgrPageServices videoPageServices;
    if (controller)
        videoPageServices.catalogue = controller->Catalogue();
    recorderPage_ = new QarvRecorderPage(this, std::move(controller));
    pages_[0] = recorderPage_;
    pages_[1] = new CQarvVideoFileMgrPage(this, videoPageServices);
    pages_[1]->setProperty("controlId", kIdVideoPage);
    pages_[2] = new QarvMySharePage(this);
    // The news page is made but no tab leads to it.
    newsPage_ = new QarvNewsPage(this);
    newsPage_->setGeometry(area);
    newsPage_->hide();
    connect(newsPage_, &QarvNewsPage::ShowPageRequested, this, &CQarvRecorderDlg::ShowPage);
    for (QWidget* page : pages_)
        page->setGeometry(area);
    recorderPage_->SetMainWindow(selfTarget_);
    recorderPage_->SetCatalogueWindow(pages_[1]);
    connect(recorderPage_, &QarvRecorderPage::ShowPageRequested, this, &CQarvRecorderDlg::ShowPage);

    tabBar_ = new CToolBarEx(kTabItemSize, kTabGap, kIdTabBar, this);
    tabBar_->setGeometry(QRect(10, 25, 223, 70));
    tabBar_->SetTextColor(Qt::white);
    tabBar_->AddItem(SkinPath(QStringLiteral("record.png")), QStringLiteral("录像"), 0);
    tabBar_->AddItem(SkinPath(QStringLiteral("myrecord.png")), QStringLiteral("我的录像"), 1);
    tabBar_->AddItem(SkinPath(QStringLiteral("myshare.png")), QStringLiteral("我的分享"), 2);
    connect(tabBar_, &CToolBarEx::ItemSelected, this, &CQarvRecorderDlg::ShowPage);

    bottomLine_ = new CColorStatic(this);
    bottomLine_->setGeometry(QRect(12, kClientHeight - kBottomBandHeight + 8, 500, 18));
    bottomLine_->setFont(SongFont());
    bottomLine_->SetTextColor(QColor(90, 110, 110));
    bottomLine_->SetBackColor(Qt::white);
    bottomLine_->setText(
        QStringLiteral("Ctrl+F9 开始录像　Ctrl+F10 停止录像　录像保存在安装目录的 Video 文件夹"));

    ShowPage(0);

    // The site's statistics page, visited once per start in the background.
    const auto center = QarvRecordInfoCenter::Instance();
    statisticsVisit_ = std::make_unique<StatisticsVisit>(
        StatisticsVisitSettings{center->GetServerInfo().url, DefaultCookieFile()});
    statisticsVisit_->start();
}

CQarvRecorderDlg::~CQarvRecorderDlg() = default;

QRect CQarvRecorderDlg::PageArea() const {
    return QRect(QPoint(1, kTitleBandHeight), QPoint(width() - 2, height() - kBottomBandHeight - 1));
}

QWidget* CQarvRecorderDlg::Page(int index) const {
    return index >= 0 && index < static_cast<int>(pages_.size()) ? pages_[static_cast<std::size_t>(index)]
                                                                 : nullptr;
}

void CQarvRecorderDlg::ShowPage(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size()))
        return;
    selectedPage_ = index;
    if (tabBar_->SelectedIndex() != index)
        tabBar_->Select(index);
    for (std::size_t i = 0; i < pages_.size(); ++i)
        pages_[i]->setVisible(static_cast<int>(i) == index);
}

bool CQarvRecorderDlg::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message() == WM_RECORD_STATE)
            OnRecordState(static_cast<int>(message->wParam()));
        return true;
    }
    return QDialog::event(event);
}

void CQarvRecorderDlg::OnRecordState(int state) {
    if (state == 0) {
        // Out of the way of the screen being recorded.
        showMinimized();
    } else if (state == 1) {
        showNormal();
        raise();
        activateWindow();
    }
}

void CQarvRecorderDlg::OnSkinButtonClick(int id) {
    if (id == kIdClose) {
        accept();
    } else if (id == kIdMinimise) {
        showMinimized();
    }
}

void CQarvRecorderDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = PageArea();
    painter.fillRect(area, QarvRecorderPage::PageColor());
    painter.fillRect(QRect(0, area.bottom() + 1, width(), height() - area.bottom() - 1), Qt::white);

    // The title band: its pictures across the whole width at their own height.
    const QImage band(SkinPath(QStringLiteral("background.png")));
    const int bandHeight = band.isNull() ? kTitleBandHeight : band.height();
    if (band.isNull()) {
        painter.fillRect(QRect(0, 0, width(), kTitleBandHeight), QColor(40, 70, 75));
    } else {
        painter.drawImage(QRect(0, 0, width(), bandHeight), band);
    }
    const QImage highlight(SkinPath(QStringLiteral("mainframe_top_highlight.png")));
    if (!highlight.isNull())
        painter.drawImage(QRect(0, 0, width(), highlight.height()), highlight);

    const QImage icon(SkinPath(QStringLiteral("record_ico.png")));
    if (!icon.isNull())
        painter.drawImage(QRect(10, 6, 16, 16), icon);
    painter.setFont(SongFont());
    painter.setPen(Qt::white);
    painter.drawText(QRect(28, 6, 400, 18), Qt::AlignLeft | Qt::AlignVCenter, windowTitle());

    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(QColor(200, 200, 200));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}

void CQarvRecorderDlg::keyPressEvent(QKeyEvent* event) {
    // Enter never presses a default button and Escape never closes the recorder.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CQarvRecorderDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->position().y() < kTitleBandHeight) {
        // The window manager moves the window when it can; otherwise follow the pointer.
        if (windowHandle() != nullptr && windowHandle()->startSystemMove())
            return;
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CQarvRecorderDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CQarvRecorderDlg::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

void CQarvRecorderDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!placed_) {
        placed_ = true;
        PlaceOnScreen();
    }
}

void CQarvRecorderDlg::PlaceOnScreen() {
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect available = screen->availableGeometry();
    // Centred; on a screen smaller than the window the title band stays reachable.
    QPoint topLeft = available.center() - QPoint(width() / 2, height() / 2);
    topLeft.setX(std::max(topLeft.x(), available.left()));
    topLeft.setY(std::max(topLeft.y(), available.top()));
    move(topLeft);
}

}  // namespace qarv
