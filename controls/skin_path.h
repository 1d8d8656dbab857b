#pragma once
// Where the skinned controls find their images, and the colour and font rules they share.
// Called on the UI thread (needs a QCoreApplication for the executable's directory).

#include <QColor>
#include <QFont>
#include <QString>

namespace qarv {

// The "Skin" folder beside the executable, with a trailing '/'.
QString SkinDirectory();

// The full path of an image of the skin folder.
QString SkinPath(const QString& name);

// The colour with alpha 254: the controls fill and write with it.
QColor Alpha254(const QColor& color);

// "宋体" at the given point size, falling back to an installed CJK font.
QFont SongFont(int pointSize = 9);

}  // namespace qarv
