#pragma once
// The pictures installed with the programs, drawn from code: one function per picture and a
// table of where each one goes in the installation. Needs a QGuiApplication (fonts); used by
// one thread at a time.

#include <QImage>
#include <QString>
#include <vector>

namespace qarv::assets {

// The mark laid over every recording (top right corner of the video): a small
// semi-transparent badge with a record dot and the name.
QImage DrawLogo();

struct Picture {
    QString path;  // relative to the installation directory, with '/' separators
    QImage (*draw)();
};

// Every picture the generator writes.
const std::vector<Picture>& AllPictures();

}  // namespace qarv::assets
