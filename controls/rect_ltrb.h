#pragma once
// Window layouts are given as left, top, right and bottom, the way the dialog designs list
// them; Qt rectangles take a size.

#include <QRect>

namespace qarv {

// The rectangle from (left, top) up to but not including (right, bottom).
inline QRect Ltrb(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace qarv
