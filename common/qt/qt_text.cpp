#include "common/qt/qt_text.h"

namespace qarv {

// The system code page is UTF-8 on this platform.
QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQString(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace qarv
