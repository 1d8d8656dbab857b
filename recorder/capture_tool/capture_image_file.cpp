#include "recorder/capture_tool/capture_image_file.h"

#include <gif_lib.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageWriter>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "common/qt/qt_text.h"

namespace qarv {
namespace {

enum class ImageFormat { kBmp, kPng, kJpeg, kTiff, kGif };

struct FormatName {
    std::string_view extension;
    ImageFormat format;
};

constexpr std::array<FormatName, 7> kFormats = {{
    {"bmp", ImageFormat::kBmp},
    {"png", ImageFormat::kPng},
    {"jpg", ImageFormat::kJpeg},
    {"jpeg", ImageFormat::kJpeg},
    {"gif", ImageFormat::kGif},
    {"tif", ImageFormat::kTiff},
    {"tiff", ImageFormat::kTiff},
}};

constexpr int kJpegQuality = 90;
constexpr std::uint32_t kBmpHeadersSize = 54;

// The format named by the extension of the path's last component, if it names one.
const FormatName* FormatOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return nullptr;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const FormatName& name : kFormats) {
        if (name.extension == extension)
            return &name;
    }
    return nullptr;
}

void PutUint16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void PutUint32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t BmpRowBytes(const QImage& image) {
    return (static_cast<std::uint64_t>(image.width()) * 24 + 31) / 32 * 4;
}

// Encodes through Qt's writer for `format` ("png", "jpeg", "tiff") as 24-bit colour.
int EncodeWithQt(const QImage& image, const char* format, QByteArray& out, std::string& error) {
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (std::strcmp(format, "jpeg") == 0)
        writer.setQuality(kJpegQuality);
    if (!writer.write(image.convertToFormat(QImage::Format_RGB888))) {
        error = FromQString(writer.errorString());
        return -1;
    }
    return 0;
}

struct GifFileCloser {
    void operator()(GifFileType* file) const { EGifCloseFile(file, nullptr); }
};
using GifFilePtr = std::unique_ptr<GifFileType, GifFileCloser>;

struct GifMapFreer {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using GifMapPtr = std::unique_ptr<ColorMapObject, GifMapFreer>;

// giflib's output callback: appends to the QByteArray given as user data.
int AppendGifBytes(GifFileType* file, const GifByteType* bytes, int length) {
    static_cast<QByteArray*>(file->UserData)->append(reinterpret_cast<const char*>(bytes), length);
    return length;
}

// A picture as palette indices, one byte a pixel, rows without padding.
struct IndexedPicture {
    std::vector<GifByteType> pixels;
    std::vector<GifColorType> palette;
};

// The palette of the picture's own colours, when it has at most 256; false when it has more.
bool ExactPalette(const QImage& rgb, IndexedPicture& out) {
    std::unordered_map<QRgb, GifByteType> indices;
    out.pixels.resize(static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(rgb.height()));
    std::size_t i = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb colour = line[x] | 0xff000000u;
            auto found = indices.find(colour);
            if (found == indices.end()) {
                if (indices.size() == 256)
                    return false;
                found = indices.emplace(colour, static_cast<GifByteType>(indices.size())).first;
                out.palette.push_back({static_cast<GifByteType>(qRed(colour)),
                                       static_cast<GifByteType>(qGreen(colour)),
                                       static_cast<GifByteType>(qBlue(colour))});
            }
            out.pixels[i++] = found->second;
        }
    }
    return true;
}

// 256 colours picked by giflib's median cut. Screenshots mostly have more than 256 colours;
// median cut keeps their flat areas flat, where Qt's fixed colour cube dithers or shifts the
// light greys that fill most windows (measured on a window-like picture: 38 dB against 21-24).
int MedianCutPalette(const QImage& rgb, IndexedPicture& out, std::string& error) {
    const std::size_t count = static_cast<std::size_t>(rgb.width()) * static_cast<std::size_t>(rgb.height());
    std::vector<GifByteType> red(count), green(count), blue(count);
    std::size_t i = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x, ++i) {
            red[i] = static_cast<GifByteType>(qRed(line[x]));
            green[i] = static_cast<GifByteType>(qGreen(line[x]));
            blue[i] = static_cast<GifByteType>(qBlue(line[x]));
        }
    }
    int size = 256;
    out.pixels.resize(count);
    out.palette.assign(256, GifColorType{});
    if (GifQuantizeBuffer(static_cast<unsigned>(rgb.width()), static_cast<unsigned>(rgb.height()), &size,
                          red.data(), green.data(), blue.data(), out.pixels.data(),
                          out.palette.data()) != GIF_OK) {
        error = "cannot reduce the picture to 256 colours";
        return -1;
    }
    out.palette.resize(static_cast<std::size_t>(size));
    return 0;
}

int EncodeGif(const QImage& image, QByteArray& out, std::string& error) {
    if (image.width() > 0xffff || image.height() > 0xffff) {
        error = "the picture is too large for a GIF file";
        return -1;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    IndexedPicture picture;
    if (!ExactPalette(rgb, picture) && MedianCutPalette(rgb, picture, error) != 0)
        return -1;
    // A GIF colour table has a power-of-two size of at least 2; the unused entries are black.
    int tableSize = 2;
    while (tableSize < static_cast<int>(picture.palette.size()))
        tableSize *= 2;
    picture.palette.resize(static_cast<std::size_t>(tableSize), GifColorType{0, 0, 0});
    const GifMapPtr map(GifMakeMapObject(tableSize, picture.palette.data()));
    if (!map) {
        error = GifErrorString(E_GIF_ERR_NOT_ENOUGH_MEM);
        return -1;
    }

    int code = 0;
    GifFilePtr gif(EGifOpen(&out, AppendGifBytes, &code));
    if (!gif) {
        error = GifErrorString(code);
        return -1;
    }
    const int width = image.width();
    const int height = image.height();
    bool ok = EGifPutScreenDesc(gif.get(), width, height, 8, 0, map.get()) == GIF_OK &&
              EGifPutImageDesc(gif.get(), 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y) {
        ok = EGifPutLine(gif.get(), picture.pixels.data() + static_cast<std::size_t>(y) * width, width) ==
             GIF_OK;
    }
    if (!ok) {
        error = GifErrorString(gif->Error);
        return -1;
    }
    // Closing writes the trailer and frees the handle whatever it reports.
    if (EGifCloseFile(gif.release(), &code) != GIF_OK) {
        error = GifErrorString(code);
        return -1;
    }
    return 0;
}

int Encode(const QImage& image, ImageFormat format, QByteArray& out, std::string& error) {
    switch (format) {
        case ImageFormat::kBmp: {
            if (kBmpHeadersSize + BmpRowBytes(image) * static_cast<std::uint64_t>(image.height()) >
                UINT32_MAX) {
                error = "the picture is too large for a bitmap file";
                return -1;
            }
            const std::vector<unsigned char> bytes = BmpFileBytes(image);
            out =
                QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
            return 0;
        }
        case ImageFormat::kPng:
            return EncodeWithQt(image, "png", out, error);
        case ImageFormat::kJpeg:
            return EncodeWithQt(image, "jpeg", out, error);
        case ImageFormat::kTiff:
            return EncodeWithQt(image, "tiff", out, error);
        case ImageFormat::kGif:
            return EncodeGif(image, out, error);
    }
    return -1;
}

}  // namespace

std::string CaptureImagePath(const std::string& path) {
    return FormatOf(path) != nullptr ? path : path + ".bmp";
}

std::vector<unsigned char> BmpFileBytes(const QImage& image) {
    if (image.isNull())
        return {};
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    const std::size_t rowBytes = static_cast<std::size_t>(BmpRowBytes(bgr));
    const std::size_t dataBytes = rowBytes * static_cast<std::size_t>(bgr.height());
    std::vector<unsigned char> bytes(kBmpHeadersSize + dataBytes, 0);

    unsigned char* header = bytes.data();
    header[0] = 'B';
    header[1] = 'M';
    PutUint32(header + 2, static_cast<std::uint32_t>(bytes.size()));
    PutUint32(header + 10, kBmpHeadersSize);  // the reserved words at 6 and 8 stay 0
    PutUint32(header + 14, 40);
    PutUint32(header + 18, static_cast<std::uint32_t>(bgr.width()));
    PutUint32(header + 22, static_cast<std::uint32_t>(bgr.height()));  // positive: bottom-up rows
    PutUint16(header + 26, 1);
    PutUint16(header + 28, 24);
    // Compression, image size, resolutions and colour counts (30 to 53) stay 0.

    const std::size_t pixelBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y) {
        unsigned char* row =
            bytes.data() + kBmpHeadersSize + static_cast<std::size_t>(bgr.height() - 1 - y) * rowBytes;
        std::memcpy(row, bgr.constScanLine(y), pixelBytes);
    }
    return bytes;
}

int SaveCaptureImage(const QImage& image, const std::string& path, std::string* error) {
    const auto fail = [&](std::string text) {
        if (error != nullptr)
            *error = std::move(text);
        return -1;
    };
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return fail("the picture is empty");

    const std::string target = CaptureImagePath(path);
    QByteArray bytes;
    std::string reason;
    if (Encode(image, FormatOf(target)->format, bytes, reason) != 0)
        return fail(reason);

    // QSaveFile writes a temporary file beside the target and renames it into place on commit;
    // on any failure it removes the temporary file, so the target is never half written.
    QSaveFile file(ToQString(target));
    if (!file.open(QIODevice::WriteOnly))
        return fail(FromQString(file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        reason = FromQString(file.errorString());
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(FromQString(file.errorString()));
    return 0;
}

}  // namespace qarv
