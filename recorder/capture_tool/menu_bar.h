#pragma once
// The strip of three buttons shown next to the chosen region: save, close and finish. It
// talks to the capture window only by posting it WM_CAPTURE_SAVE, WM_CAPTURE_FINISH or a
// close. Called on the UI thread.

#include <QColor>
#include <QWidget>

#include "recorder/capture_tool/tracker_geometry.h"

namespace qarv {

class CButtonEx;

class CMenuBar : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidth = 102;
    static constexpr int kHeight = 27;
    static constexpr int kIdSave = 10124;
    static constexpr int kIdClose = 10125;
    static constexpr int kIdFinish = 10126;

    // Created hidden at `position` in the parent, which receives the posted messages.
    CMenuBar(QWidget* parent, int id, QPoint position = {});

    int Id() const { return id_; }
    // Places the bar next to `outer` (a selection's outer rectangle in the parent, which
    // covers the screen from (0,0)) and shows it.
    void ShowNear(const Rect& outer, int screenHeight);
    // Enter: while the bar is shown, hides it and asks the parent to finish. True when taken.
    bool HandleEnter();
    // Ctrl+S, exactly: asks the parent to save (while the save button is enabled). True when taken.
    bool HandleShortcut(Qt::KeyboardModifiers modifiers, int key);

    CButtonEx* SaveButton() const { return save_; }
    CButtonEx* CloseButton() const { return close_; }
    CButtonEx* FinishButton() const { return finish_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void OnClick(int id);
    void PostToParent(unsigned message);

    const int id_;
    CButtonEx* save_ = nullptr;
    CButtonEx* close_ = nullptr;
    CButtonEx* finish_ = nullptr;
};

}  // namespace qarv
