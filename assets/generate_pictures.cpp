// Writes every picture of the installation under the directory given as the only
// argument (for example BUILD/assets, giving BUILD/assets/Icon/logo.png and
// BUILD/assets/Skin/Button.png). Each file's suffix chooses its format (png, bmp, ico).
// Exit status 0 when all were written, 1 when one failed, 2 on a wrong command line.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

#include "assets/pictures.h"

namespace {

bool WritePicture(const QString& path, const QImage& image) {
    if (image.isNull() || !QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    QImageWriter writer(path, format);
    if (!writer.canWrite() || !writer.write(image)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

}  // namespace

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
        if (!WritePicture(path, picture.draw())) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
