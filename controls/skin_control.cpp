#include "controls/skin_control.h"

#include "controls/skin_tool_tip.h"

namespace qarv {

SkinControl::SkinControl(int id, const QColor& backColor, QWidget* parent)
    : QWidget(parent), id_(id), backColor_(backColor) {
    setFocusPolicy(Qt::NoFocus);
}

void SkinControl::SetImage(const QString& path) {
    imagePath_ = path;
    update();
}

void SkinControl::SetText(const QString& text) {
    text_ = text;
    update();
}

void SkinControl::SetBackColor(const QColor& color) {
    backColor_ = color;
    update();
}

void SkinControl::SetState(int state) {
    state_ = state;
    update();
}

bool SkinControl::SetToolTip(const QString& text) {
    if (text.isNull())
        return false;
    if (toolTip_ == nullptr)
        toolTip_ = new SkinToolTip(this);
    toolTip_->SetText(text);
    return true;
}

void SkinControl::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void SkinControl::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace qarv
