#include "controls/qarv_text_box.h"

namespace qarv {

QarvTextBox::QarvTextBox(int maxLength, QWidget* parent) : QLineEdit(parent) {
    setMaxLength(maxLength > 0 ? maxLength : kDefaultMaxLength);
}

}  // namespace qarv
