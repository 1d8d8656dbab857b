#pragma once
// A line edit that takes at most a given number of characters (UTF-16 units); a limit of 0
// or less means the usual limit of a line edit. Called on the UI thread.

#include <QLineEdit>

namespace qarv {

class QarvTextBox : public QLineEdit {
    Q_OBJECT

  public:
    static constexpr int kDefaultMaxLength = 32767;

    QarvTextBox(int maxLength, QWidget* parent);
};

}  // namespace qarv
