#include "controls/color_static.h"

#include <QPalette>

#include "controls/skin_path.h"

namespace qarv {

namespace {

constexpr int kDefaultFontPixels = 18;

}  // namespace

CColorStatic::CColorStatic(QWidget* parent) : QLabel(parent) {
    ApplyColors();
}

void CColorStatic::SetTextColor(const QColor& color) {
    textColor_ = color;
    ApplyColors();
}

void CColorStatic::SetBackColor(const QColor& color) {
    backColor_ = color;
    ApplyColors();
}

void CColorStatic::SetTransparent(bool transparent) {
    transparent_ = transparent;
    ApplyColors();
}

void CColorStatic::SetDefaultFont() {
    QFont font = SongFont();
    font.setPixelSize(kDefaultFontPixels);
    setFont(font);
    update();
}

void CColorStatic::ApplyColors() {
    QPalette colors = palette();
    // A disabled label keeps the style's greyed text, as a disabled static control does.
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        colors.setColor(group, QPalette::WindowText, textColor_);
        colors.setColor(group, QPalette::Text, textColor_);
    }
    if (backColor_.isValid())
        colors.setColor(QPalette::All, QPalette::Window, backColor_);
    setPalette(colors);
    setAutoFillBackground(backColor_.isValid() && !transparent_);
    update();
}

}  // namespace qarv
