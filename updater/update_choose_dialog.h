#pragma once
// The update question "有新版本": "马上升级" (OK, the default button) or "下次升级" (Cancel,
// also Esc and the close box). Called on the UI thread.

#include <QDialog>

namespace qarv {

class UpdateChooseDialog : public QDialog {
    Q_OBJECT

  public:
    explicit UpdateChooseDialog(QWidget* parent = nullptr);

    // True after construction and after "马上升级"; false after any other way out.
    bool updateNow() const { return updateNow_; }

    void accept() override;
    void reject() override;

  private:
    bool updateNow_ = true;
};

}  // namespace qarv
