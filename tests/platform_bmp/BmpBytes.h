// Builds bitmap files byte by byte for the reader tests.
#pragma once

#include <QImage>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

struct BmpSpec {
    std::uint32_t headerSize = 40;  // 12 writes an OS/2 core header
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::uint32_t planes = 1;
    std::uint32_t bitCount = 8;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    Bytes masks;    // written right after the info header (BI_BITFIELDS with a 40-byte header)
    Bytes palette;  // raw entries, 4 bytes each (3 for a core header)
    Bytes pixels;   // raw pixel data, rows as stored
    std::optional<std::uint32_t> pixelOffset;  // default: right after the palette
    Bytes gap;                                 // bytes between the palette and the pixels
};

inline Bytes Build(const BmpSpec& s) {
    Bytes info;
    Put32(info, s.headerSize);
    if (s.headerSize == 12) {
        Put16(info, static_cast<std::uint32_t>(s.width));
        Put16(info, static_cast<std::uint32_t>(s.height));
        Put16(info, s.planes);
        Put16(info, s.bitCount);
    } else {
        Put32(info, static_cast<std::uint32_t>(s.width));
        Put32(info, static_cast<std::uint32_t>(s.height));
        Put16(info, s.planes);
        Put16(info, s.bitCount);
        Put32(info, s.compression);
        Put32(info, 0);  // image size
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, s.coloursUsed);
        Put32(info, 0);
        info.resize(s.headerSize, 0);
    }
    const auto offset = static_cast<std::uint32_t>(14 + info.size() + s.masks.size() +
                                                   s.palette.size() + s.gap.size());
    Bytes b{0x42, 0x4D};
    const auto total = static_cast<std::uint32_t>(offset + s.pixels.size());
    Put32(b, total);
    Put32(b, 0);
    Put32(b, s.pixelOffset.value_or(offset));
    for (const Bytes* part :
         std::initializer_list<const Bytes*>{&info, &s.masks, &s.palette, &s.gap, &s.pixels}) {
        b.insert(b.end(), part->begin(), part->end());
    }
    return b;
}

// 4 x 2, 8 bits, four palette entries: red, green, blue, white.
inline BmpSpec Pal8Spec() {
    BmpSpec s;
    s.coloursUsed = 4;
    s.palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
    s.pixels = {0, 1, 2, 3,   // bottom row
                3, 2, 1, 0};  // top row
    return s;
}

// 4 x 2 RLE8 over the same palette: bottom row all red, top row green blue white red.
inline BmpSpec Rle8Spec() {
    BmpSpec s = Pal8Spec();
    s.compression = 1;
    s.pixels = {4, 0, 0, 0,              // four red, end of line
                0, 3, 1, 2, 3, 0, 1, 0,  // absolute run of three (padded), one red
                0, 0, 0, 1};             // end of line, end of bitmap
    return s;
}

// 3 x 2, 24 bits: rows of 9 bytes padded to 12.
inline BmpSpec Rgb24Spec() {
    BmpSpec s;
    s.width = 3;
    s.bitCount = 24;
    s.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    return s;
}

// Pixels of an image, top row first, as 0xRRGGBB.
inline std::vector<std::uint32_t> Pixels(const QImage& image) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            out.push_back(image.pixel(x, y) & 0xFFFFFFu);
        }
    }
    return out;
}

inline std::string Hex(const std::vector<std::uint32_t>& pixels) {
    std::string s;
    char buf[16];
    for (std::uint32_t p : pixels) {
        std::snprintf(buf, sizeof buf, "%06X ", p);
        s += buf;
    }
    return s;
}
