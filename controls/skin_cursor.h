#pragma once
// Cursors drawn as pictures of the skin folder ("cursor_<id>.png"), with the hot spot stored
// in the picture's text keys "HotSpotX" and "HotSpotY". Called on the UI thread (needs a
// QGuiApplication for pixmaps).

#include <QCursor>
#include <QString>

namespace qarv {

// The cursor of SkinPath("cursor_<id>.png"); the fallback shape when the file is missing or
// unreadable.
QCursor LoadSkinCursor(int id, Qt::CursorShape fallback);

// The same from a picture file anywhere. A hot spot that is missing, not a number or outside
// the picture becomes the picture's centre.
QCursor LoadCursorFile(const QString& path, Qt::CursorShape fallback);

}  // namespace qarv
