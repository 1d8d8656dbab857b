#pragma once
// Brings a top-level window before the user when the user asked for it from outside the
// window (for example by starting the program again): out of its minimised state, on top and
// with the keyboard focus. The platform part is window_activation_x11.cpp.
// Called on the UI thread.

class QWidget;

namespace qarv {

void BringWindowToFront(QWidget* window);

}  // namespace qarv
