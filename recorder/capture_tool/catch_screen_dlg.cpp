#include "recorder/capture_tool/catch_screen_dlg.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "common/log.h"
#include "common/messages.h"
#include "common/qt/message_box.h"
#include "common/qt/qt_message_target.h"
#include "common/qt/qt_text.h"
#include "controls/skin_cursor.h"
#include "controls/skin_paint.h"
#include "controls/skin_path.h"
#include "recorder/capture_tool/capture_image_file.h"
#include "recorder/capture_tool/menu_bar.h"
#include "recorder/capture_tool/prompt_wnd.h"

namespace qarv {
namespace {

constexpr int kMagnifierWidth = 100;
constexpr int kMagnifierFrame = 2;
constexpr int kHighlightPenWidth = 5;
// How far the cover's edge, the selection's border and handles and the highlight frame reach
// outside a cut-out.
constexpr int kFootprintMargin = 8;
const QPoint kPromptPosition(10, 10);

QString PromptFor(CCatchScreenDlg::Step step) {
    QString text = QStringLiteral("\n\n·当前像素RGB");
    switch (step) {
        case CCatchScreenDlg::Step::kPointing:
            text += QStringLiteral("\n\n·按下鼠标左键不放选择截取\n  范围\n\n·按ESC键或鼠标右键退出");
            break;
        case CCatchScreenDlg::Step::kDragging:
            text += QStringLiteral("\n\n·松开鼠标左键确定截取范围\n\n·按ESC键退出");
            break;
        case CCatchScreenDlg::Step::kSelected:
            text += QStringLiteral(
                "\n\n·用鼠标左键调整截取范围的\n  大小和位置\n\n·截取范围内双击鼠标左键或\n  "
                "按Enter键保存图像，并退出"
                "\n\n·点击鼠标右键重新选择");
            break;
    }
    return text;
}

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

Point PointOf(const QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    return Point{p.x(), p.y()};
}

QString SaveDialogPath(QWidget* parent) {
    // The "SaveBmp" folder beside the program, made when missing.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/SaveBmp");
    QDir().mkpath(folder);
    QFileDialog dialog(parent, QStringLiteral("截图另存为..."), folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setNameFilters({QStringLiteral("bmp图像文件 (*.bmp)"), QStringLiteral("jpg图像文件 (*.jpg)"),
                           QStringLiteral("png图像文件 (*.png)"), QStringLiteral("gif图像文件 (*.gif)"),
                           QStringLiteral("Tiff图像文件(*.tiff *.tif)")});
    dialog.selectFile(QStringLiteral("保存_截图"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

}  // namespace

CCatchScreenDlg::CCatchScreenDlg(std::unique_ptr<ScreenSource> source, Rect* resultRect,
                                 std::uint32_t* resultWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      source_(std::move(source)),
      resultRect_(resultRect),
      resultWindow_(resultWindow),
      choosePath_(&SaveDialogPath) {
    snapshot_ = source_->Snapshot().convertToFormat(QImage::Format_RGB32);
    if (!snapshot_.isNull()) {
        screen_ = Size{snapshot_.width(), snapshot_.height()};
    } else if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screen_ = Size{primary->size().width(), primary->size().height()};
    }
    windows_ = source_->Windows();
    captureCursor_ = LoadSkinCursor(150, Qt::CrossCursor);
    cover_ = QPixmap::fromImage(LoadSkinImage(SkinPath(QStringLiteral("cover_layer.png"))));
    menuBarPicture_ = LoadSkinImage(SkinPath(QStringLiteral("menubar.png")));

    infoFont_ = SongFont(9);
    const QFontMetrics metrics(infoFont_);
    lineHeight_ = metrics.height() + metrics.leading();
    textWidth_ = metrics.horizontalAdvance(QStringLiteral(" 顶点位置 )"));

    setModal(true);
    setMouseTracking(true);
    setCursor(captureCursor_);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, screen_.width, screen_.height);
    setWindowState(Qt::WindowFullScreen);

    prompt_ = new CPromptWnd(this, kIdPrompt, SkinPath(QStringLiteral("prompt_back.png")), kPromptPosition);
    prompt_->SetText(PromptFor(Step::kPointing));
    menuBar_ = new CMenuBar(this, kIdMenuBar);

    background_ = QImage(snapshot_.size(), QImage::Format_RGB32);
    Recompose(QRegion(0, 0, screen_.width, screen_.height));
}

CCatchScreenDlg::~CCatchScreenDlg() = default;

CCatchScreenDlg::Step CCatchScreenDlg::CurrentStep() const {
    if (selecting_)
        return Step::kDragging;
    return hasSelection_ ? Step::kSelected : Step::kPointing;
}

Rect CCatchScreenDlg::CutOut() const {
    if (hasSelection_)
        return tracker_.Geometry().OuterRect();
    if (highlighting_)
        return highlight_;
    return Rect{};
}

Rect CCatchScreenDlg::ChosenRegion() const {
    return tracker_.rect().Normalized().Intersected(Rect{0, 0, screen_.width, screen_.height});
}

Rect CCatchScreenDlg::MagnifierRect() const {
    if (!showInfo_ || !(hasSelection_ || highlighting_) || pointer_.x < 0)
        return Rect{};
    return MagnifierBox(pointer_, textWidth_, lineHeight_, screen_);
}

void CCatchScreenDlg::Recompose(const QRegion& area) {
    if (background_.isNull())
        return;
    QPainter painter(&background_);
    painter.setClipRegion(area);
    painter.drawImage(0, 0, snapshot_);
    if (!cover_.isNull()) {
        for (const Rect& band : CoverBands(CutOut(), screen_)) {
            if (!band.IsEmpty())
                painter.drawTiledPixmap(ToQRect(band), cover_);
        }
    }
    if (hasSelection_) {
        tracker_.Draw(painter);
        if (menuBarDirty_) {
            menuBarDirty_ = false;
            if (!menuBarPicture_.isNull()) {
                const QRect bar = menuBar_->geometry();
                painter.drawImage(bar, menuBarPicture_, menuBarPicture_.rect().adjusted(1, 1, -1, -1));
                menuPictureAt_ =
                    Rect{bar.left(), bar.top(), bar.left() + bar.width(), bar.top() + bar.height()};
            }
        }
    } else if (highlighting_) {
        painter.setPen(QPen(QColor::fromRgba(0xFE0AFF82), kHighlightPenWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(ToQRect(highlight_));
    }
}

void CCatchScreenDlg::Refresh(const Rect& before) {
    // Only pixels near the old and the new cut-out's edges change (the frame, the handles, the
    // cover's edge), and those between the two edges: inside both the picture shows clear,
    // outside both the same plain cover. A cut-out at the corner (nothing chosen) covers the
    // screen with overlapping bands, so a change to or from it redraws everything.
    const Rect after = CutOut();
    QRegion dirty;
    if (before.IsEmpty() || after.IsEmpty()) {
        dirty = QRegion(0, 0, screen_.width, screen_.height);
    } else {
        const auto edge = [](const Rect& cut) {
            const Rect r = cut.Normalized();
            return QRegion(ToQRect(r.Inflated(kFootprintMargin))) -
                   QRegion(ToQRect(r.Inflated(-kFootprintMargin)));
        };
        dirty = edge(before) + edge(after) +
                QRegion(ToQRect(before.Normalized())).xored(QRegion(ToQRect(after.Normalized())));
    }
    // The menu bar's picture, where it was drawn before and where it may be drawn now.
    dirty += ToQRect(menuPictureAt_);
    menuPictureAt_ = Rect{};
    if (hasSelection_)
        dirty += menuBar_->geometry();
    // The magnifier reports the rectangle: its text changes with it.
    if (!magnifierShown_.IsEmpty())
        dirty += ToQRect(magnifierShown_.Inflated(1));
    Recompose(dirty);
    update(dirty);
}

void CCatchScreenDlg::UpdatePrompt() {
    prompt_->SetText(PromptFor(CurrentStep()));
}

void CCatchScreenDlg::UpdateColorText(Point p) {
    if (!QRect(0, 0, background_.width(), background_.height()).contains(p.x, p.y))
        return;
    const QColor color = background_.pixelColor(p.x, p.y);
    const QString text = QStringLiteral("(%1,%2,%3)").arg(color.red()).arg(color.green()).arg(color.blue());
    if (text == prompt_->colorText)
        return;
    prompt_->colorText = text;
    prompt_->update(CPromptWnd::ColorTextArea());
}

void CCatchScreenDlg::UpdateCursor(Point p) {
    QCursor cursor = captureCursor_;
    if (!selecting_ && hasSelection_)
        tracker_.CursorAt(p, &cursor);
    setCursor(cursor);
}

void CCatchScreenDlg::MoveMagnifier(Point p) {
    pointer_ = p;
    const Rect shown = MagnifierRect();
    if (shown == magnifierShown_)
        return;
    // The box's black outline lies on its edges.
    if (!magnifierShown_.IsEmpty())
        update(ToQRect(magnifierShown_.Inflated(1)));
    if (!shown.IsEmpty())
        update(ToQRect(shown.Inflated(1)));
    magnifierShown_ = shown;
}

bool CCatchScreenDlg::HighlightWindowAt(Point p) {
    for (const TopLevelWindow& window : windows_) {
        if (!window.outer.Normalized().Contains(p) || closedWindows_.count(window.id))
            continue;
        if (!source_->Exists(window.id)) {
            closedWindows_.insert(window.id);
            continue;
        }
        if (resultWindow_)
            *resultWindow_ = window.id;
        const Rect clipped = window.outer.Normalized().Intersected(Rect{0, 0, screen_.width, screen_.height});
        const bool changed = !highlighting_ || !(clipped == highlight_);
        highlighting_ = true;
        showInfo_ = true;
        highlight_ = clipped;
        return changed;
    }
    return false;
}

void CCatchScreenDlg::mousePressEvent(QMouseEvent* event) {
    const Point p = PointOf(event);
    if (event->button() != Qt::LeftButton)
        return;
    const Rect before = CutOut();
    buttonDown_ = true;
    if (hasSelection_ && tracker_.HitTest(p) != kHitNothing) {
        menuBar_->hide();
        showInfo_ = true;
        tracker_.BeginTrack(p);
        MoveMagnifier(p);
        Refresh(before);
    } else if (!hasSelection_) {
        anchor_ = p;
        selecting_ = true;
        hasSelection_ = true;
        showInfo_ = true;
        tracker_.SetRect(Rect{p.x, p.y, p.x, p.y});
        MoveMagnifier(p);
        UpdatePrompt();
        Refresh(before);
    }
}

void CCatchScreenDlg::mouseMoveEvent(QMouseEvent* event) {
    const Point p = PointOf(event);
    const Rect before = CutOut();
    bool changed = false;
    if (selecting_) {
        highlighting_ = false;
        menuBar_->hide();
        tracker_.SetRect(Rect{anchor_.x, anchor_.y, p.x, p.y});
        changed = true;
    } else if (tracker_.Tracking()) {
        changed = tracker_.TrackTo(p, screen_);
    }
    if (prompt_->geometry().contains(p.x, p.y))
        prompt_->Dodge(screen_.width);
    if (!buttonDown_ && HighlightWindowAt(p)) {
        UpdatePrompt();
        changed = true;
    }
    MoveMagnifier(p);
    if (changed)
        Refresh(before);
    UpdateColorText(p);
    UpdateCursor(p);
}

void CCatchScreenDlg::mouseReleaseEvent(QMouseEvent* event) {
    const Point p = PointOf(event);
    const Rect before = CutOut();
    if (event->button() == Qt::RightButton) {
        tracker_.EndTrack();
        buttonDown_ = false;
        highlighting_ = false;
        if (hasSelection_) {
            hasSelection_ = false;
            selecting_ = false;
            showInfo_ = false;
            tracker_.SetRect(Rect{-1, -1, -1, -1});
            UpdatePrompt();
            menuBar_->hide();
            MoveMagnifier(p);
            Refresh(before);
        } else {
            End(QDialog::Rejected);
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    tracker_.EndTrack();
    if (highlighting_) {
        // A click on a highlighted window selects that window.
        tracker_.SetRect(highlight_);
        hasSelection_ = true;
        highlighting_ = false;
    }
    showInfo_ = false;
    selecting_ = false;
    UpdatePrompt();
    MoveMagnifier(p);
    if (hasSelection_)
        menuBar_->ShowNear(tracker_.Geometry().OuterRect(), screen_.height);
    Refresh(before);
    UpdateCursor(p);
}

void CCatchScreenDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && hasSelection_ &&
        tracker_.HitTest(PointOf(event)) == kHitMiddle) {
        Finish();
        return;
    }
    mousePressEvent(event);
}

void CCatchScreenDlg::keyPressEvent(QKeyEvent* event) {
    // Every key is the tool's own: none reaches the dialog's default handling.
    event->accept();
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    switch (key) {
        case Qt::Key_Escape:
            if (tracker_.Tracking()) {
                // Esc ends a drag of the handles; the rectangle stays where it was drawn.
                tracker_.EndTrack();
                return;
            }
            End(QDialog::Rejected);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            menuBar_->HandleEnter();
            return;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (hasSelection_ && !selecting_)
                OnArrowKey(key, modifiers == Qt::ShiftModifier);
            return;
        default:
            menuBar_->HandleShortcut(modifiers, key);
            return;
    }
}

void CCatchScreenDlg::OnArrowKey(int key, bool shift) {
    const Rect before = CutOut();
    const int dx = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
    const int dy = key == Qt::Key_Up ? -1 : key == Qt::Key_Down ? 1 : 0;
    tracker_.SetRect(tracker_.rect().Normalized());
    if (shift)
        tracker_.Geometry().ResizeBy(dx, dy, screen_);
    else
        tracker_.Geometry().MoveBy(dx, dy, screen_);
    if (key == Qt::Key_Up)
        menuBarDirty_ = true;
    menuBar_->ShowNear(tracker_.Geometry().OuterRect(), screen_.height);
    // Both places, so that no handle is left behind where the rectangle was.
    Refresh(before);
}

bool CCatchScreenDlg::event(QEvent* event) {
    if (event->type() == WindowMessageEvent::EventType()) {
        const auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message() == WM_CAPTURE_FINISH)
            Finish();
        else if (message->message() == WM_CAPTURE_SAVE)
            Save();
        else if (message->message() == WM_CLOSE)
            End(QDialog::Rejected);
        return true;
    }
    return QDialog::event(event);
}

void CCatchScreenDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The keys belong to the tool while it covers the screen, whichever window had the focus.
    grabKeyboard();
    keyboardGrabbed_ = true;
    grabAttempts_ = 0;
    QTimer::singleShot(0, this, &CCatchScreenDlg::TakeKeyboard);
}

void CCatchScreenDlg::TakeKeyboard() {
    // The desktop grants the keyboard only to a window on the screen, which the tool is some
    // moments after it was shown.
    constexpr int kRetryMs = 10;
    constexpr int kMaxAttempts = 300;
    if (!keyboardGrabbed_ || !isVisible())
        return;
    QWindow* window = windowHandle();
    if (window && window->isExposed() && window->setKeyboardGrabEnabled(true)) {
        activateWindow();
        return;
    }
    if (++grabAttempts_ < kMaxAttempts)
        QTimer::singleShot(kRetryMs, this, &CCatchScreenDlg::TakeKeyboard);
}

void CCatchScreenDlg::hideEvent(QHideEvent* event) {
    if (keyboardGrabbed_) {
        releaseKeyboard();
        keyboardGrabbed_ = false;
    }
    QDialog::hideEvent(event);
}

template <typename Action>
auto CCatchScreenDlg::WithoutKeyboardGrab(Action action) {
    const bool grabbed = keyboardGrabbed_;
    if (grabbed)
        releaseKeyboard();
    struct Regrab {
        CCatchScreenDlg* dialog;
        bool grabbed;
        ~Regrab() {
            if (grabbed && dialog->isVisible()) {
                dialog->grabKeyboard();
                dialog->grabAttempts_ = 0;
                dialog->TakeKeyboard();
            }
        }
    } regrab{this, grabbed};
    return action();
}

void CCatchScreenDlg::ShowMessage(const QString& text) {
    WithoutKeyboardGrab([&] {
        return ShowMessageBox(this, text, QStringLiteral("截图"), QMessageBox::Warning, QMessageBox::Ok);
    });
}

void CCatchScreenDlg::Finish() {
    const Rect region = ChosenRegion();
    if (region.IsEmpty()) {
        ShowMessage(QStringLiteral("请先选择截图区域。"));
        return;
    }
    QGuiApplication::clipboard()->setImage(snapshot_.copy(ToQRect(region)));
    if (resultRect_)
        *resultRect_ = tracker_.rect().Normalized();
    End(QDialog::Accepted);
}

int CCatchScreenDlg::Save() {
    const Rect region = ChosenRegion();
    if (region.IsEmpty()) {
        ShowMessage(QStringLiteral("请先选择截图区域。"));
        return -1;
    }
    const QString chosen = WithoutKeyboardGrab([&] { return choosePath_(this); });
    if (chosen.isEmpty())
        return 1;
    const std::string path = CaptureImagePath(FromQString(chosen));
    std::string error;
    if (SaveCaptureImage(snapshot_.copy(ToQRect(region)), path, &error) != 0) {
        LogError(__LINE__, __FILE__, -1, "screenshot not saved to %s: %s", path.c_str(), error.c_str());
        ShowMessage(QStringLiteral("截图没有保存成功：%1\n%2\n请换一个文件名或位置再试。")
                        .arg(ToQString(path), ToQString(error)));
        return -1;
    }
    if (resultRect_)
        *resultRect_ = tracker_.rect().Normalized();
    End(QDialog::Accepted);
    return 0;
}

void CCatchScreenDlg::End(int result) {
    unsetCursor();
    done(result);
}

void CCatchScreenDlg::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), background_, event->rect());
    if (!MagnifierRect().IsEmpty())
        DrawMagnifier(painter);
}

void CCatchScreenDlg::DrawMagnifier(QPainter& painter) const {
    const Rect box = MagnifierRect();
    const QRect area = ToQRect(box);
    painter.save();
    painter.fillRect(area, QColor(50, 50, 50));

    // The magnified pixels around the pointer, nearest-pixel so that each one stays sharp.
    const Rect inner{box.left + kMagnifierFrame, box.top + kMagnifierFrame,
                     box.left + kMagnifierWidth - kMagnifierFrame, box.bottom - kMagnifierFrame};
    const MagnifierSource magnified = MagnifierSourceFor(pointer_, inner, screen_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (!magnified.source.IsEmpty() && !magnified.target.IsEmpty())
        painter.drawImage(ToQRect(magnified.target), snapshot_, ToQRect(magnified.source));
    const QColor frame(240, 240, 240);
    painter.fillRect(QRect(box.left, box.top, kMagnifierWidth, kMagnifierFrame), frame);
    painter.fillRect(QRect(box.left, box.bottom - kMagnifierFrame, kMagnifierWidth, kMagnifierFrame), frame);
    painter.fillRect(QRect(box.left, box.top, kMagnifierFrame, box.Height()), frame);
    painter.fillRect(
        QRect(box.left + kMagnifierWidth - kMagnifierFrame, box.top, kMagnifierFrame, box.Height()), frame);
    const QColor cross = CRectTrackerEx::Color();
    const int middle = (inner.top + inner.bottom) / 2;
    painter.fillRect(QRect(inner.left, middle - 1, inner.Width(), 3), cross);
    painter.fillRect(QRect(box.left + 48, inner.top, 3, inner.Height()), cross);

    // The six lines: the reported rectangle's corner and size, and the pointer.
    const Rect reported = hasSelection_ ? tracker_.Geometry().OuterRect() : highlight_;
    const QString lines[] = {
        QStringLiteral("顶点位置"), QStringLiteral("(%1,%2)").arg(reported.left).arg(reported.top),
        QStringLiteral("矩形大小"), QStringLiteral("(%1,%2)").arg(reported.Width()).arg(reported.Height()),
        QStringLiteral("光标坐标"), QStringLiteral("(%1,%2)").arg(pointer_.x).arg(pointer_.y),
    };
    painter.setFont(infoFont_);
    painter.setPen(Qt::white);
    for (int i = 0; i < 6; ++i) {
        const QRect line(box.left + kMagnifierWidth, box.top + 2 + i * lineHeight_, textWidth_, lineHeight_);
        painter.drawText(line, Qt::AlignHCenter | Qt::AlignTop, lines[i]);
    }
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.restore();
}

}  // namespace qarv
