#pragma once
// The screenshot tool: a modal, frameless, top-most window over the whole primary screen that
// shows a frozen picture of it under a dimming cover. The user picks a region by clicking a
// highlighted window or dragging a rectangle, adjusts it with the handles, the mouse or the
// arrow keys, and copies it to the clipboard (finish) or saves it to a picture file.
// A magnifier with coordinates follows the pointer, a prompt panel explains each step, and a
// menu bar beside the region offers save, close and finish. Called on the UI thread.

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "recorder/capture_tool/rect_tracker_ex.h"
#include "recorder/capture_tool/screen_source.h"
#include "recorder/capture_tool/tracker_geometry.h"

namespace qarv {

class CMenuBar;
class CPromptWnd;

class CCatchScreenDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kIdPrompt = 10505;
    static constexpr int kIdMenuBar = 10506;

    enum class Step { kPointing, kDragging, kSelected };

    // Takes the picture of the screen and the list of its windows from `source` now, so the
    // screen must already show what is to be captured. Finish and save write the chosen
    // rectangle to `resultRect` and the last highlighted window to `resultWindow`.
    CCatchScreenDlg(std::unique_ptr<ScreenSource> source, Rect* resultRect, std::uint32_t* resultWindow,
                    QWidget* parent = nullptr);
    ~CCatchScreenDlg() override;

    // False when the desktop gave no picture (a session that forbids screen grabs); the tool
    // must not be run then.
    bool HasSnapshot() const { return !snapshot_.isNull(); }

    // Asks where to save; an empty string means cancelled. The default shows the save dialog
    // in the "SaveBmp" folder beside the program.
    using SavePathChooser = std::function<QString(QWidget* parent)>;
    void SetSavePathChooser(SavePathChooser chooser) { choosePath_ = std::move(chooser); }

    // Copies the region to the clipboard and ends the tool; an empty region is refused with a
    // message and the tool stays.
    void Finish();
    // Saves the region to a file chosen by the user and ends the tool; 0 when saved, 1 when
    // the user cancelled, -1 when there was nothing to save or the file could not be written
    // (the user is told; the tool stays with its selection).
    int Save();

    // What the tool shows, for tests and measurements.
    Step CurrentStep() const;
    const CRectTrackerEx& Tracker() const { return tracker_; }
    bool Highlighting() const { return highlighting_; }
    Rect HighlightRect() const { return highlight_; }
    bool ShowingInfo() const { return showInfo_; }
    Size ScreenSize() const { return screen_; }
    const QImage& Snapshot() const { return snapshot_; }
    // The frozen picture with the cover, the selection or highlight frame: what is shown
    // under the magnifier.
    const QImage& Background() const { return background_; }
    CMenuBar* MenuBar() const { return menuBar_; }
    CPromptWnd* PromptWnd() const { return prompt_; }
    // The magnifier box at the last pointer position; empty when none is shown.
    Rect MagnifierRect() const;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Rect CutOut() const;
    Rect ChosenRegion() const;
    void Recompose(const QRegion& area);
    // Redraws what changed since the cut-out was `before`.
    void Refresh(const Rect& before);
    void UpdatePrompt();
    void UpdateColorText(Point p);
    void UpdateCursor(Point p);
    void MoveMagnifier(Point p);
    bool HighlightWindowAt(Point p);
    void DrawMagnifier(QPainter& painter) const;
    void OnArrowKey(int key, bool shift);
    void End(int result);
    void TakeKeyboard();
    // Runs a box or a dialog of our own with the keyboard given back to the desktop.
    template <typename Action>
    auto WithoutKeyboardGrab(Action action);
    void ShowMessage(const QString& text);

    std::unique_ptr<ScreenSource> source_;
    Rect* resultRect_;
    std::uint32_t* resultWindow_;
    Size screen_;
    QImage snapshot_;
    QImage background_;
    QPixmap cover_;
    QImage menuBarPicture_;
    QCursor captureCursor_;
    std::vector<TopLevelWindow> windows_;
    std::set<std::uint32_t> closedWindows_;
    CRectTrackerEx tracker_;
    CPromptWnd* prompt_ = nullptr;
    CMenuBar* menuBar_ = nullptr;
    SavePathChooser choosePath_;

    bool selecting_ = false;
    bool hasSelection_ = false;
    bool showInfo_ = false;
    bool buttonDown_ = false;
    bool highlighting_ = false;
    bool menuBarDirty_ = false;
    bool keyboardGrabbed_ = false;
    int grabAttempts_ = 0;
    Point anchor_;
    Point pointer_{-1, -1};
    Rect menuPictureAt_;   // where the menu bar's picture was last drawn into the background
    Rect magnifierShown_;  // where the magnifier was last asked to be painted
    Rect highlight_;
    QFont infoFont_;
    int lineHeight_ = 0;
    int textWidth_ = 0;
};

}  // namespace qarv
