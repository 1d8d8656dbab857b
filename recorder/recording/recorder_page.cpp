#include "recorder/recording/recorder_page.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <utility>

#include "common/log.h"
#include "common/messages.h"
#include "common/qt/global_hot_key.h"
#include "common/qt/message_box.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/qt_text.h"
#include "common/text.h"
#include "controls/button_ex.h"
#include "controls/check_box_ex.h"
#include "controls/color_static.h"
#include "controls/combo_box_ex_ex.h"
#include "controls/qarv_text_box.h"
#include "controls/rect_ltrb.h"
#include "controls/skin_path.h"
#include "recorder/capture_tool/catch_screen_dlg.h"
#include "recorder/capture_tool/screen_source.h"
#include "recorder/recording/record_control_thread.h"

namespace qarv {
namespace {

constexpr int kTitleMaxCharacters = 24;
constexpr std::size_t kTitleMaxBytes = 255;
constexpr int kMinutesMaxCharacters = 3;
constexpr int kComboHeight = 22;
// The value boxes are wider than the classic 60 pixels: with the fonts found here "300KB" or
// "22050HZ" would otherwise be cut off beside the drop button.
constexpr int kValueComboWidth = 75;
constexpr int kSampleRateComboWidth = 85;
constexpr int kRetryWaitMs = 1000;
// Time for the desktop to redraw what the main window covered before the screen is grabbed.
constexpr int kCaptureDelayMs = 300;
const QPoint kOffScreen(-32000, -32000);

// Runs the event loop for `ms` milliseconds: the window stays alive while we wait.
void WaitWithoutFreezing(int ms) {
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

struct ComboLayout {
    int id;
    QRect rect;  // the field; the drop-down list opens below it
    QStringList items;
    QString selected;
};

// Selects `text`, or the first entry when the list lacks it.
void SelectText(CComboBoxExEx* box, const QString& text) {
    const int index = box->findText(text);
    box->setCurrentIndex(index >= 0 ? index : 0);
}

}  // namespace

QarvRecorderPage::QarvRecorderPage(QWidget* parent, std::unique_ptr<RecordControlThread> controller)
    : QWidget(parent), controller_(std::move(controller)) {
    if (!controller_)
        controller_ = std::make_unique<RecordControlThread>();
    selfTarget_ = std::make_shared<QtMessageTarget>(this);
    resize(kWidth, kHeight);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, PageColor());
    setPalette(palette);
    setAutoFillBackground(true);
    CreateControls();
}

QarvRecorderPage::~QarvRecorderPage() {
    // The worker may still be finishing a recording; the controller waits for it.
    controller_.reset();
}

void QarvRecorderPage::CreateControls() {
    const ComboLayout combos[] = {
        {kIdFormat, Ltrb(230, 162, 360, 162 + kComboHeight), {"flv", "mpeg", "ts", "mts"}, "flv"},
        {kIdResolution,
         Ltrb(230, 192, 360, 192 + kComboHeight),
         {"1920*1080", "1600*900", "1280*720", "1024*768", "800*600", "704*576", "352*288"},
         "1280*720"},
        {kIdVideoQuality,
         Ltrb(485, 130, 485 + kValueComboWidth, 130 + kComboHeight),
         {"800KB", "500KB", "400KB", "300KB", "200KB", "100KB"},
         "300KB"},
        {kIdFrameRate,
         Ltrb(485, 155, 485 + kValueComboWidth, 155 + kComboHeight),
         {"30fps", "25fps", "20fps", "15fps", "10fps", "5fps"},
         "20fps"},
        {kIdSampleRate,
         Ltrb(565, 215, 565 + kSampleRateComboWidth, 215 + kComboHeight),
         {"44100HZ", "22050HZ", "11025HZ"},
         "22050HZ"},
    };
    CComboBoxExEx** boxes[] = {&formatBox_, &resolutionBox_, &qualityBox_, &frameRateBox_, &sampleRateBox_};
    for (std::size_t i = 0; i < std::size(combos); ++i) {
        auto* box = new CComboBoxExEx(combos[i].id, this);
        box->addItems(combos[i].items);
        SelectText(box, combos[i].selected);
        box->setGeometry(combos[i].rect);
        *boxes[i] = box;
    }

    titleBox_ = new QarvTextBox(kTitleMaxCharacters, this);
    titleBox_->setGeometry(Ltrb(230, 130, 400, 152));

    minutesBox_ = new QLineEdit(this);
    minutesBox_->setGeometry(Ltrb(262, 226, 300, 248));
    minutesBox_->setEnabled(false);
    minutesBox_->setMaxLength(kMinutesMaxCharacters);
    connect(minutesBox_, &QLineEdit::textChanged, this, &QarvRecorderPage::OnMinutesChanged);

    RegisterHotKeys();

    struct LabelLayout {
        QRect rect;
        QString text;
    };
    const LabelLayout labels[] = {
        {Ltrb(185, 133, 228, 151), QStringLiteral("标题")},
        {Ltrb(185, 194, 228, 212), QStringLiteral("分辨率")},
        {Ltrb(420, 158, 483, 176), QStringLiteral("流畅度")},
        {Ltrb(420, 133, 483, 151), QStringLiteral("视频质量")},
        {Ltrb(508, 218, 563, 236), QStringLiteral("音频品质")},
        {Ltrb(580, 133, 750, 151), QStringLiteral("Ctrl+F9： 开始/暂停")},
        {Ltrb(580, 158, 750, 176), QStringLiteral("Ctrl+F10： 停止")},
        {Ltrb(304, 229, 340, 247), QStringLiteral("分钟")},
        {Ltrb(185, 164, 228, 182), QStringLiteral("格式")},
    };
    for (const LabelLayout& item : labels) {
        auto* label = new CColorStatic(this);
        label->setText(item.text);
        label->setFont(SongFont());
        label->setGeometry(item.rect);
        label->SetBackColor(PageColor());
    }
    statusText_ = new CColorStatic(this);
    statusText_->setGeometry(Ltrb(185, 96, 625, 118));
    statusText_->setFont(SongFont());
    statusText_->SetTextColor(QColor(255, 0, 0));
    statusText_->SetBackColor(PageColor());
    statusText_->setText(QStringLiteral("录像准备中！"));

    const QString buttonImage = SkinPath(QStringLiteral("Button.png"));
    struct ButtonLayout {
        CButtonEx** button;
        int id;
        QRect rect;
        QString caption;
        bool visible;
    };
    const ButtonLayout buttons[] = {
        {&startButton_, kIdStart, Ltrb(195, 275, 265, 303), QStringLiteral("开始"), true},
        {&stopButton_, kIdStop, Ltrb(295, 275, 365, 303), QStringLiteral("停止"), true},
        {&selectRegionButton_, kIdSelectRegion, Ltrb(395, 275, 465, 303), QStringLiteral("选择区域"), true},
        {&goShareButton_, kIdGoShare, Ltrb(505, 275, 575, 303), QStringLiteral("去分享"), true},
    };
    for (const ButtonLayout& item : buttons) {
        auto* button = new CButtonEx(item.id, this);
        button->SetImage(buttonImage);
        button->SetText(item.caption);
        button->setGeometry(item.rect);
        button->setVisible(item.visible);
        button->SetBackColor(PageColor());
        // Queued: the start action may open a message box, which must not run inside the
        // button's own mouse handler.
        connect(button, &CButtonEx::Clicked, this, &QarvRecorderPage::OnSkinButtonClick,
                Qt::QueuedConnection);
        *item.button = button;
    }

    struct CheckLayout {
        CCheckBoxEx** box;
        int id;
        QRect rect;
        QString text;
    };
    const CheckLayout checks[] = {
        {&timedBox_, kIdTimed, Ltrb(185, 223, 260, 251), QStringLiteral("定时录制")},
        {&systemSoundBox_, kIdSystemSound, Ltrb(430, 185, 515, 213), QStringLiteral("录播放声音")},
        {&microphoneBox_, kIdMicrophone, Ltrb(430, 212, 505, 240), QStringLiteral("录麦克风")},
    };
    for (const CheckLayout& item : checks) {
        auto* box = new CCheckBoxEx(item.id, this);
        box->SetText(item.text);
        box->setGeometry(item.rect);
        box->SetBackColor(PageColor());
        box->SetTextColor(Qt::white);
        connect(box, &CCheckBoxEx::Clicked, this, &QarvRecorderPage::OnSkinButtonClick, Qt::QueuedConnection);
        *item.box = box;
    }
    systemSoundBox_->SetChecked(true);
    microphoneBox_->SetChecked(true);
}

void QarvRecorderPage::RegisterHotKeys() {
    hotKeys_ = new GlobalHotKey(this);
    // A key held by another program is logged by GlobalHotKey; the buttons still work.
    const bool f9 = hotKeys_->Register(kHotKeyId, Qt::ControlModifier, Qt::Key_F9) == 0;
    const bool f10 = hotKeys_->Register(kHotKeyId, Qt::ControlModifier, Qt::Key_F10) == 0;
    hotKeysRegistered_ = f9 && f10;
    // The screenshot key is a convenience: without it the button still opens the tool.
    hotKeys_->Register(kHotKeyId, Qt::ControlModifier, Qt::Key_F11);
    connect(hotKeys_, &GlobalHotKey::Activated, this,
            [this](int, Qt::KeyboardModifiers modifiers, Qt::Key key) { OnHotKey(modifiers, key); });
}

void QarvRecorderPage::SetMainWindow(MessageTargetPtr mainWindow) {
    mainWindow_ = std::move(mainWindow);
}

void QarvRecorderPage::SetCatalogueWindow(QObject* catalogueWindow) {
    catalogueWindow_ = catalogueWindow;
}

int QarvRecorderPage::FillRecordProperties() {
    const std::string title = FromQString(titleBox_->text());
    properties_.Title = title.substr(0, CharBoundaryPrefix(title, kTitleMaxBytes));
    properties_.Format = FromQString(formatBox_->currentText());

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (ParseResolution(FromQString(resolutionBox_->currentText()), width, height) != 0)
        return -1;
    properties_.Width = width;
    properties_.Height = height;

    properties_.TimedRecording = timedBox_->IsChecked();
    if (properties_.TimedRecording) {
        properties_.TimedMinutes = std::atoi(FromQString(minutesBox_->text()).c_str());
    }
    properties_.FrameRate = FrameRateFromText(FromQString(frameRateBox_->currentText()));
    properties_.VideoBitRate = BitRateFromText(FromQString(qualityBox_->currentText()));
    properties_.GopSize = 50;

    if (sampleRateBox_->isEnabled()) {
        properties_.SampleRate = SampleRateFromText(FromQString(sampleRateBox_->currentText()));
        properties_.RecordMicrophone = microphoneBox_->IsChecked();
        properties_.RecordSystemSound = systemSoundBox_->IsChecked();
    } else {
        properties_.SampleRate = 0;
        properties_.RecordMicrophone = false;
        properties_.RecordSystemSound = false;
    }
    return 0;
}

void QarvRecorderPage::StartRecordingAction() {
    // The retry box and its wait run the event loop: a key or a late status of the previous
    // recording must not start a second attempt inside the first.
    if (!startButton_->isEnabled() || starting_)
        return;
    if (FillRecordProperties() != 0)
        return;
    starting_ = true;
    const std::unique_ptr<bool, void (*)(bool*)> done(&starting_, [](bool* flag) { *flag = false; });
    SetButtonEnabled(startButton_, false);

    // The controller refuses while a recording runs or the previous one is still being
    // finished (its file closed, thumbnails made, catalogued): the page shows "recording" only
    // once an encoder has been started.
    for (;;) {
        MessageTargetPtr catalogue;
        if (catalogueWindow_)
            catalogue = std::make_shared<QtMessageTarget>(catalogueWindow_.data());
        const int started = controller_->StartRecording(catalogue, properties_, selfTarget_);
        if (started == 0)
            break;
        if (started == RecordControlThread::kStartDiskLow) {
            // Waiting does not help here; the user has to make room first.
            ShowMessageBox(this, QStringLiteral("磁盘剩余空间不足，无法开始录像。请清理磁盘后再试。"),
                           QStringLiteral("友情提示"), QMessageBox::Warning, QMessageBox::Ok);
            SetButtonEnabled(startButton_, true);
            return;
        }
        const auto answer = ShowMessageBox(this, QStringLiteral("视频处理中,请稍候再开始..."),
                                           QStringLiteral("视频后期处理中"), QMessageBox::NoIcon,
                                           QMessageBox::Ok | QMessageBox::Cancel);
        if (answer != QMessageBox::Ok) {
            SetButtonEnabled(startButton_, true);
            return;
        }
        WaitWithoutFreezing(kRetryWaitMs);
    }
    if (controller_->start() != 0) {
        // No worker to watch it: the encoder is stopped again at once.
        controller_->stop();
        ShowIdleButtons(QStringLiteral("录像终止！"));
        return;
    }

    statusText_->setText(QStringLiteral("录像进行中···"));
    PostToMainWindow(WM_RECORD_STATE, 0);
    SetButtonEnabled(startButton_, false);
    SetButtonEnabled(stopButton_, true);
}

void QarvRecorderPage::SelectRegionAction() {
    if (capturing_)
        return;
    capturing_ = true;
    const std::unique_ptr<bool, void (*)(bool*)> done(&capturing_, [](bool* flag) { *flag = false; });
    // The main window is minimised; without a window manager, which alone takes minimised
    // windows off the screen, it steps off the screen instead. It is never hidden: the main
    // window is a dialog whose hiding would end the program.
    std::unique_ptr<ScreenSource> source = CreateScreenSource();
    QPointer<QWidget> mainWindow = window();
    const bool wasVisible = mainWindow && mainWindow->isVisible() && mainWindow != this;
    const QPoint place = wasVisible ? mainWindow->pos() : QPoint();
    const bool stepAside = wasVisible && !source->HasWindowManager();
    if (wasVisible) {
        mainWindow->showMinimized();
        if (stepAside)
            mainWindow->move(kOffScreen);
    }
    WaitWithoutFreezing(kCaptureDelayMs);

    Rect region;
    std::uint32_t chosenWindow = 0;
    {
        CCatchScreenDlg tool(std::move(source), &region, &chosenWindow);
        if (tool.HasSnapshot()) {
            tool.exec();
        } else {
            LogError(__LINE__, __FILE__, -1, "screenshot tool: the desktop gave no picture of the screen");
            ShowMessageBox(nullptr, QStringLiteral("无法截取屏幕：当前桌面不允许程序读取屏幕画面。"),
                           QStringLiteral("友情提示"), QMessageBox::Warning, QMessageBox::Ok);
        }
    }
    // The chosen region is the user's picture; recordings still take the whole screen.
    if (wasVisible && mainWindow) {
        if (stepAside)
            mainWindow->move(place);
        mainWindow->showNormal();
        mainWindow->raise();
        mainWindow->activateWindow();
    }
}

void QarvRecorderPage::StopRecordingAction() {
    controller_->stop();
    ShowIdleButtons(QStringLiteral("录像完成！"));
}

int QarvRecorderPage::OnHotKey(Qt::KeyboardModifiers modifiers, Qt::Key key) {
    if (modifiers != Qt::ControlModifier)
        return -1;
    if (key == Qt::Key_F9) {
        StartRecordingAction();
        return 0;
    }
    if (key == Qt::Key_F10) {
        StopRecordingAction();
        return 0;
    }
    if (key == Qt::Key_F11) {
        SelectRegionAction();
        return 0;
    }
    return -1;
}

void QarvRecorderPage::OnRecordStatus(int status) {
    if (status == 1) {
        statusText_->setText(QStringLiteral("录像进行中···"));
        return;
    }
    // A recording stopped for lack of disk space was kept: it ends like a finished one.
    const bool diskLow = status == RecordControlThread::kStatusDiskLow;
    if (status == 0 || diskLow) {
        ShowIdleButtons(QStringLiteral("录像完成！"));
        PostToMainWindow(WM_RECORD_STATE, 1);
    } else {
        if (controller_->running())
            controller_->stop();
        ShowIdleButtons(QStringLiteral("录像终止！"));
    }
    titleBox_->clear();
    if (diskLow) {
        ShowMessageBox(this, QStringLiteral("磁盘空间不足，录像已停止并保存。"), QStringLiteral("友情提示"),
                       QMessageBox::Information, QMessageBox::Ok);
    }
}

bool QarvRecorderPage::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message() == WM_RECORD_STATUS)
            OnRecordStatus(static_cast<int>(message->wParam()));
        return true;
    }
    return QWidget::event(event);
}

void QarvRecorderPage::OnSkinButtonClick(int id) {
    switch (id) {
        case kIdStart:
            StartRecordingAction();
            break;
        case kIdStop:
            StopRecordingAction();
            break;
        case kIdGoShare:
            emit ShowPageRequested(1);
            break;
        case kIdSelectRegion:
            SelectRegionAction();
            break;
        case kIdTimed:
            if (timedBox_->IsChecked()) {
                const bool wasDisabled = !minutesBox_->isEnabled();
                minutesBox_->setEnabled(true);
                if (wasDisabled)
                    minutesBox_->setFocus();
            } else {
                minutesBox_->setEnabled(false);
            }
            break;
        case kIdSystemSound:
        case kIdMicrophone:
            UpdateSampleRateBox();
            break;
        default:
            break;
    }
}

void QarvRecorderPage::OnMinutesChanged(const QString& text) {
    // The minutes are 1 to 3 digits without a leading zero: anything else typed or pasted goes.
    QString digits;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9') && !(digits.isEmpty() && c == QLatin1Char('0'))) {
            digits.append(c);
        }
    }
    if (digits != text)
        minutesBox_->setText(digits);
}

void QarvRecorderPage::UpdateSampleRateBox() {
    sampleRateBox_->setEnabled(systemSoundBox_->IsChecked() || microphoneBox_->IsChecked());
}

void QarvRecorderPage::SetButtonEnabled(CButtonEx* button, bool enabled) {
    button->SetState(enabled ? 0 : 3);
    button->setEnabled(enabled);
}

void QarvRecorderPage::ShowIdleButtons(const QString& status) {
    statusText_->setText(status);
    SetButtonEnabled(startButton_, true);
    SetButtonEnabled(stopButton_, false);
}

void QarvRecorderPage::PostToMainWindow(unsigned message, int wParam) {
    if (mainWindow_)
        mainWindow_->post(message, static_cast<std::uintptr_t>(wParam), 0);
}

}  // namespace qarv
