// Writes every picture of the installation under the directory given as the only
// argument (for example BUILD/assets, giving BUILD/assets/Icon/logo.png). Exit status 0
// when all were written.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

#include "assets/pictures.h"

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    int failures = 0;
    for (const qarv::assets::Picture& picture : qarv::assets::AllPictures()) {
        const QString path = root.filePath(picture.path);
        const QImage image = picture.draw();
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || image.isNull() || !image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
