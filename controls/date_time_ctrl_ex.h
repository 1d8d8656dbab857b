#pragma once
// A date-time field whose value can be changed only with the mouse and its drop-down
// calendar: every key press sent to it is swallowed, including keys that would otherwise
// reach the window's shortcuts or move the focus. Called on the UI thread.

#include <QDateTimeEdit>

namespace qarv {

class CDateTimeCtrlEx : public QDateTimeEdit {
    Q_OBJECT

  public:
    explicit CDateTimeCtrlEx(QWidget* parent = nullptr);

  protected:
    bool event(QEvent* event) override;
};

}  // namespace qarv
