// Bitmap (.bmp) files: reading any common variant into a 32-bit colour image, and writing an
// image as an uncompressed 24-bit bitmap.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>

// The most pixels a bitmap may have to be read: 64 Mi pixels (8192 x 8192), that is 256 MiB
// once decoded at 4 bytes a pixel. Bigger files are refused as not valid before anything is
// allocated for them.
inline constexpr std::uint64_t DefaultMaxBitmapPixels = std::uint64_t{64} * 1024 * 1024;

// Decodes a whole bitmap file held in memory into a QImage::Format_RGB32 image of the file's
// size, whatever its depth; alpha is dropped, the colour channels are kept as stored.
// Throws std::runtime_error with "Bitmap image is not valid" (no bitmap signature, malformed
// or unsupported content, more than maxPixels pixels) or "Stream read error" (the data ends
// early); std::bad_alloc if the memory for an allowed image cannot be had.
QImage DecodeBitmap(const unsigned char* data, std::size_t size,
                    std::uint64_t maxPixels = DefaultMaxBitmapPixels);

// Opens the file for reading only and decodes it as DecodeBitmap does, streaming: the file is
// never held in memory beside the image. Throws std::runtime_error("Cannot open file <name>")
// when the file cannot be opened (missing, a folder, no permission), with the name as given.
QImage ReadBitmapFile(const QString& fileName, std::uint64_t maxPixels = DefaultMaxBitmapPixels);

// The bytes of an uncompressed 24-bit bitmap file (BITMAPINFOHEADER, BI_RGB, bottom-up, rows
// padded to 4 bytes) holding the whole image; alpha is not written. Throws
// std::invalid_argument for a null image or one too big for a bitmap file.
QByteArray EncodeBitmap24(const QImage& image);
