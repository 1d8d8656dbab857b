#pragma once
// Writes a captured region to a picture file in the format its name's extension gives:
// .bmp as a 24-bit bottom-up Windows bitmap with the classic 54-byte header, .png, .jpg/.jpeg,
// .tif/.tiff through Qt's image writers, .gif through giflib. The file is written beside its
// final name and renamed into place, so a failed save never leaves half a picture under it.
// Safe on any thread (each call works on its own file).

#include <QImage>
#include <string>
#include <vector>

namespace qarv {

// The name a picture is saved under: `path` itself when its extension names a format written
// here (case ignored), else `path` with ".bmp" appended.
std::string CaptureImagePath(const std::string& path);

// The bytes of `image` as a 24-bit Windows bitmap file: 14-byte file header, 40-byte
// information header (sizes, 1 plane, 24 bits, no compression, image size, resolutions and
// colour counts 0), rows bottom-up, each padded to 4 bytes. Nothing for a null image.
std::vector<unsigned char> BmpFileBytes(const QImage& image);

// Writes `image` to CaptureImagePath(path). 0 on success; -1 when the image is empty or the
// file cannot be written (no permission, no space, a folder of that name), in which case
// `error`, if given, receives the system's reason and nothing is left under the name.
int SaveCaptureImage(const QImage& image, const std::string& path, std::string* error = nullptr);

}  // namespace qarv
