#include "recorder/capture_tool/capture_image_file.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/support/small_file_system.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Four flat blocks, or a gradient of thousands of colours.
QImage Picture(int width, int height, bool gradient = false) {
    const QRgb blocks[] = {qRgb(200, 30, 40), qRgb(20, 160, 60), qRgb(30, 60, 220), qRgb(250, 250, 245)};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           gradient
                               ? qRgb(x * 255 / width, y * 255 / height, (x + y) * 255 / (width + height))
                               : blocks[2 * y / height * 2 + 2 * x / width]);
    }
    return image;
}

TEST(CaptureImagePathTest, KeepsKnownExtensionsAndAddsBmpToOthers) {
    for (const char* kept :
         {"/p/a.bmp", "/p/a.png", "/p/a.jpg", "/p/a.JpEg", "/p/a.GIF", "/p/a.tif", "/p/a.tiff"})
        EXPECT_EQ(CaptureImagePath(kept), kept);
    for (const char* other : {"/p/保存_截图", "/p/a.webp", "/p.png/a", "/p/a.png.txt", "/p/a."})
        EXPECT_EQ(CaptureImagePath(other), std::string(other) + ".bmp");
}

TEST(CaptureImageBmpTest, HeadersAndBottomUpPaddedRows) {
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb pixels[] = {qRgb(255, 0, 0), qRgb(0, 255, 0),     qRgb(0, 0, 255),
                           qRgb(1, 2, 3),   qRgb(254, 253, 252), qRgb(16, 32, 64)};
    for (int i = 0; i < 6; ++i)
        image.setPixel(i % 3, i / 3, pixels[i]);
    // clang-format off
    const std::vector<unsigned char> expected = {
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,     // size: 54 + 2 rows of 9 bytes and 3 padding
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,   // header size, width, height, planes, bits
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        3, 2, 1, 252, 253, 254, 64, 32, 16, 0, 0, 0,        // bottom row first, blue-green-red
        0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};
    // clang-format on
    EXPECT_EQ(BmpFileBytes(image), expected);
}

// The mean difference of the colour channels of two pictures of one size.
double MeanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int i = 0; i < a.width() * a.height() * 3; ++i) {
        const int x = i / 3 % a.width(), y = i / 3 / a.width(), shift = 8 * (i % 3);
        sum += std::abs(int(a.pixel(x, y) >> shift & 255) - int(b.pixel(x, y) >> shift & 255));
    }
    return sum / (a.width() * a.height() * 3);
}

TEST(CaptureImageSaveTest, EachFormatReplacesTheFileAndDecodesToThePicture) {
    QImage colours256(16, 16, QImage::Format_RGB32);
    for (int i = 0; i < 256; ++i)
        colours256.setPixel(i % 16, i / 16, qRgb(i, 255 - i, i * 7 % 256));
    const struct {
        const char *name, *saved, *format;
        QImage image;
        double mean;  // 0: exact
    } cases[] = {
        {"a.bmp", "a.bmp", "bmp", Picture(37, 23), 0},  // odd width: padded rows
        {"a", "a.bmp", "bmp", Picture(37, 23), 0},
        {"a.png", "a.png", "png", Picture(37, 23), 0},
        {"a.TIF", "a.TIF", "tiff", Picture(37, 23), 0},
        {"a.gif", "a.gif", "gif", Picture(37, 23), 0},
        {"one.gif", "one.gif", "gif", Picture(2, 2), 0},  // one colour, a table of two
        {"full.gif", "full.gif", "gif", colours256, 0},
        {"many.gif", "many.gif", "gif", Picture(160, 90, true), 9},  // Qt's fixed palette: 12.7
        {"a.jpeg", "a.jpeg", "jpeg", Picture(64, 64), 3},
    };
    test::TempDir dir;
    std::set<std::string> written;
    for (const auto& c : cases) {
        test::WriteFileText(dir.file(c.saved), "an older file");
        std::string error;
        ASSERT_EQ(SaveCaptureImage(c.image, dir.file(c.name), &error), 0) << c.name << ": " << error;
        written.insert(c.saved);
        QImageReader reader(QString::fromStdString(dir.file(c.saved)));
        reader.setDecideFormatFromContent(true);
        EXPECT_EQ(reader.format().toStdString(), c.format) << c.name;
        const QImage decoded = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(decoded.size(), c.image.size()) << c.name;
        if (c.mean == 0)
            EXPECT_EQ(decoded, c.image) << c.name;
        else
            EXPECT_LE(MeanDifference(decoded, c.image), c.mean) << c.name;
    }
    EXPECT_EQ(Entries(dir.path()), written);  // no temporary files beside them
}

TEST(CaptureImageSaveTest, FailuresReportAndLeaveNothing) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("folder.png"));
    const std::pair<QImage, std::string> cases[] = {
        {QImage(), dir.file("empty.png")},
        {Picture(8, 8), dir.file("folder.png")},
        {Picture(8, 8), dir.file("missing/a.gif")},
    };
    for (const auto& [image, path] : cases) {
        std::string error;
        EXPECT_EQ(SaveCaptureImage(image, path, &error), -1) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"folder.png"});
    EXPECT_TRUE(Entries(dir.file("folder.png")).empty());
}

TEST(CaptureImageSaveTest, FullDiskKeepsTheOlderFile) {
    test::SmallFileSystem disk(256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << disk.error();
    test::WriteFileText(disk.file("a.bmp"), "the older picture");
    ASSERT_GE(disk.Fill("filler", 0), 0);
    std::string error;
    EXPECT_EQ(SaveCaptureImage(Picture(400, 300), disk.file("a.bmp"), &error), -1);  // 360 000 bytes
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::ReadFileText(disk.file("a.bmp")), "the older picture");
    EXPECT_EQ(Entries(disk.path()), (std::set<std::string>{"filler", "a.bmp"}));
}

}  // namespace
}  // namespace qarv
