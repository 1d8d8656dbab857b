#include "controls/skin_path.h"

#include <QCoreApplication>
#include <QStringList>

namespace qarv {

QString SkinDirectory() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Skin/");
}

QString SkinPath(const QString& name) {
    return SkinDirectory() + name;
}

QColor Alpha254(const QColor& color) {
    QColor result = color;
    result.setAlpha(254);
    return result;
}

QFont SongFont(int pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

}  // namespace qarv
