#include "controls/skin_cursor.h"

#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include "controls/skin_path.h"

namespace qarv {
namespace {

// The stored coordinate when it lies in [0, limit), otherwise limit / 2.
int StoredCoordinate(const QImage& image, const QString& key, int limit) {
    bool ok = false;
    const int value = image.text(key).trimmed().toInt(&ok);
    return ok && value >= 0 && value < limit ? value : limit / 2;
}

}  // namespace

QCursor LoadSkinCursor(int id, Qt::CursorShape fallback) {
    return LoadCursorFile(SkinPath(QStringLiteral("cursor_%1.png").arg(id)), fallback);
}

QCursor LoadCursorFile(const QString& path, Qt::CursorShape fallback) {
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) {
        return QCursor(fallback);
    }
    const int hotX = StoredCoordinate(image, QStringLiteral("HotSpotX"), image.width());
    const int hotY = StoredCoordinate(image, QStringLiteral("HotSpotY"), image.height());
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

}  // namespace qarv
