#pragma once
// Numbers of the messages that workers and controls post to windows.

namespace qarv {

inline constexpr unsigned kWmUser = 0x0400;

// WM_RECORD_STATUS wParam: 1 started, 0 ended, 2 aborted, 3 stopped and kept because the
// video folder's disk ran low.
inline constexpr unsigned WM_RECORD_STATUS = kWmUser + 1;        // capture worker -> recorder page
inline constexpr unsigned WM_RECORD_STATE = kWmUser + 2;         // recorder page -> main window
inline constexpr unsigned WM_UPLOAD_PROGRESS = kWmUser + 12;     // upload worker -> my-videos page
inline constexpr unsigned WM_SHARE_REFRESH = kWmUser + 14;       // share-task row -> share-task page
inline constexpr unsigned WM_VIDEO_ADDED = kWmUser + 16;         // capture worker -> my-videos page
inline constexpr unsigned WM_UPLOAD_DONE = kWmUser + 17;         // upload worker -> my-videos page
inline constexpr unsigned WM_SKIN_BUTTON_CLICK = kWmUser + 500;  // skinned button -> parent
// wParam the row id; lParam a const char16_t* to the new title, NUL-terminated, in a buffer the
// title editor owns (null: no title).
inline constexpr unsigned WM_ITEM_RETITLE = kWmUser + 501;  // my-videos row's title editor -> page
// wParam the row id; lParam 0 (select) or the id of the row button pressed.
inline constexpr unsigned WM_ITEM_COMMAND = kWmUser + 502;    // my-videos row -> page
inline constexpr unsigned WM_CAPTURE_FINISH = kWmUser + 503;  // capture menu bar -> capture window
inline constexpr unsigned WM_CAPTURE_SAVE = kWmUser + 504;    // capture menu bar -> capture window
inline constexpr unsigned WM_TOOLBAR_SELECT = kWmUser + 505;  // tab bar -> main window
inline constexpr unsigned WM_CLOSE = 0x0010;                  // a window asked to close itself
inline constexpr unsigned WM_DOWNLOAD_PROGRESS = 100;         // download worker -> launcher window
inline constexpr unsigned WM_DOWNLOAD_DONE = 101;             // download worker -> launcher window

}  // namespace qarv
