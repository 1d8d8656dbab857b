#pragma once
// Places controls laid out in dialog units: a unit is a quarter of the dialog font's average
// character width across and an eighth of its height down. Pure, thread-safe.

#include <QRect>
#include <QSize>

namespace qarv {

struct DialogUnits {
    int charWidth;   // average character width of the dialog font, pixels
    int charHeight;  // character height of the dialog font, pixels

    int X(int units) const { return (units * charWidth + 2) / 4; }
    int Y(int units) const { return (units * charHeight + 4) / 8; }
    QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }
};

// The base units of "MS Shell Dlg" at 96 dots per inch.
inline constexpr DialogUnits kShellDlg8{6, 13};
inline constexpr DialogUnits kShellDlg9{7, 15};

}  // namespace qarv
