#pragma once
// Conversion between the core's narrow strings (system code page) and window texts.

#include <QString>
#include <string>
#include <string_view>

namespace qarv {

QString ToQString(std::string_view text);
std::string FromQString(const QString& text);

}  // namespace qarv
