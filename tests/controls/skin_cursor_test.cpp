#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include "controls/skin_cursor.h"
#include "controls/skin_path.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

// Writes a 20 x 12 picture with the given hot spot text (nullptr: no key).
void SavePicture(const QString& path, const char* x, const char* y) {
    QImage image(20, 12, QImage::Format_ARGB32);
    image.fill(Qt::black);
    if (x != nullptr)
        image.setText("HotSpotX", x);
    if (y != nullptr)
        image.setText("HotSpotY", y);
    ASSERT_TRUE(image.save(path));
}

TEST(SkinCursorTest, PictureGivesABitmapCursorWithTheStoredHotSpotOrItsCentre) {
    const struct {
        const char* x;
        const char* y;
        QPoint expected;
    } cases[] = {{"3", "7", {3, 7}},
                 {"0", "11", {0, 11}},
                 {nullptr, nullptr, {10, 6}},
                 {"x", "2", {10, 2}},
                 {"20", "-1", {10, 6}}};
    test::TempDir dir;
    const QString path = QString::fromStdString(dir.file("cursor.png"));
    for (const auto& item : cases) {
        SavePicture(path, item.x, item.y);
        const QCursor cursor = LoadCursorFile(path, Qt::CrossCursor);
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor.pixmap().size(), QSize(20, 12));
        EXPECT_EQ(cursor.hotSpot(), item.expected)
            << (item.x ? item.x : "-") << " " << (item.y ? item.y : "-");
    }
}

TEST(SkinCursorTest, SkinFolderPictureByIdOrTheFallbackShape) {
    test::TempDir dir;
    test::WriteFileText(dir.file("broken.png"), "\x89PNG not really");
    EXPECT_EQ(LoadCursorFile(QString::fromStdString(dir.file("broken.png")), Qt::SizeAllCursor).shape(),
              Qt::SizeAllCursor);
    EXPECT_EQ(LoadSkinCursor(-7, Qt::SizeVerCursor).shape(), Qt::SizeVerCursor);

    const bool madeFolder = !QDir(SkinDirectory()).exists();
    ASSERT_TRUE(QDir().mkpath(SkinDirectory()));
    SavePicture(SkinPath("cursor_9150.png"), "5", "9");
    const QCursor cursor = LoadSkinCursor(9150, Qt::CrossCursor);
    QFile::remove(SkinPath("cursor_9150.png"));
    if (madeFolder)
        QDir().rmdir(SkinDirectory());
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(5, 9));
}

}  // namespace
}  // namespace qarv
