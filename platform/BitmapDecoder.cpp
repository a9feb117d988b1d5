// Bitmap file decoder: Windows and OS/2 headers, 1 to 32 bits per pixel, RLE4/RLE8 (and the
// OS/2 RLE24), bit-field masks. Every size taken from the file is checked against the file's
// size or the pixel limit before anything is allocated from it.
#include "BitmapSource.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

constexpr char kNotValid[] = "Bitmap image is not valid";
constexpr char kReadError[] = "Stream read error";

constexpr QRgb kBlack = 0xFF000000u;

// Most bytes of a pixel row converted in one go.
constexpr std::uint64_t kPieceBytes = 64 * 1024;

constexpr std::uint32_t U16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

constexpr std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::int32_t I32(const unsigned char* p) {
    return static_cast<std::int32_t>(U32(p));
}

enum class Encoding { Rgb, BitFields, Rle8, Rle4, Rle24 };

// One colour channel of a bit-field pixel: where it sits and how it scales to 8 bits.
class Channel {
public:
    // mask is contiguous or zero (checked by the caller).
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) {
            return;
        }
        shift_ = static_cast<unsigned>(std::countr_zero(mask));
        bits_ = static_cast<unsigned>(std::popcount(mask));
        if (bits_ <= 16) {
            const std::uint32_t max = (1u << bits_) - 1u;
            scale_.resize(std::size_t{max} + 1);
            for (std::uint32_t v = 0; v <= max; ++v) {
                scale_[v] = static_cast<unsigned char>((v * 255u + max / 2u) / max);
            }
        }
    }

    std::uint32_t Value(std::uint32_t pixel) const {
        if (mask_ == 0) {
            return 0;
        }
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return bits_ <= 16 ? scale_[v] : v >> (bits_ - 8);
    }

private:
    std::uint32_t mask_;
    unsigned shift_ = 0;
    unsigned bits_ = 0;
    std::vector<unsigned char> scale_;
};

bool IsContiguous(std::uint32_t mask) {
    if (mask == 0) {
        return true;
    }
    const std::uint32_t v = mask >> std::countr_zero(mask);
    return (v & (v + 1u)) == 0;
}

struct Layout {
    std::int64_t width = 0;
    std::int64_t height = 0;  // rows, always positive
    bool topDown = false;
    unsigned bitCount = 0;
    Encoding encoding = Encoding::Rgb;
    std::array<std::uint32_t, 3> masks{};  // red, green, blue
    std::array<QRgb, 256> palette{};       // entries the file does not give are black
    std::uint32_t paletteCount = 0;
};

QRgb* Row(QImage& image, const Layout& layout, std::int64_t fileRow) {
    const std::int64_t y = layout.topDown ? fileRow : layout.height - 1 - fileRow;
    return reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
}

QImage NewImage(const Layout& layout) {
    QImage image(static_cast<int>(layout.width), static_cast<int>(layout.height),
                 QImage::Format_RGB32);
    if (image.isNull()) {
        throw std::bad_alloc();
    }
    return image;
}

// Reads the headers, the masks and the palette, and leaves the source at the pixel data.
Layout ReadLayout(BitmapSource& source, std::uint64_t maxPixels) {
    if (source.Size() < 2) {
        ThrowBitmapNotValid();
    }
    if (source.Size() < 14) {
        const unsigned char* signature = source.Read(2);
        if (signature[0] != 0x42 || signature[1] != 0x4D) {
            ThrowBitmapNotValid();
        }
        ThrowStreamReadError();
    }
    const unsigned char* fileHeader = source.Read(14);
    if (fileHeader[0] != 0x42 || fileHeader[1] != 0x4D) {
        ThrowBitmapNotValid();
    }
    const std::uint32_t pixelOffset = U32(fileHeader + 10);

    std::array<unsigned char, 124> info{};
    const std::uint32_t headerSize = U32(source.Read(4));
    switch (headerSize) {
        case 12:   // OS/2 1.x core header
        case 16:   // OS/2 2.x, short form
        case 40:   // BITMAPINFOHEADER
        case 52:   // with RGB masks
        case 56:   // with RGBA masks
        case 64:   // OS/2 2.x
        case 108:  // BITMAPV4HEADER
        case 124:  // BITMAPV5HEADER
            break;
        default:
            ThrowBitmapNotValid();
    }
    std::memcpy(info.data() + 4, source.Read(headerSize - 4), headerSize - 4);

    const bool core = headerSize == 12;
    const bool os2 = headerSize == 16 || headerSize == 64;
    Layout layout;
    std::uint32_t planes = 0;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::int64_t height = 0;
    if (core) {
        layout.width = U16(info.data() + 4);
        height = U16(info.data() + 6);
        planes = U16(info.data() + 8);
        layout.bitCount = U16(info.data() + 10);
    } else {
        layout.width = I32(info.data() + 4);
        height = I32(info.data() + 8);
        planes = U16(info.data() + 12);
        layout.bitCount = U16(info.data() + 14);
        compression = U32(info.data() + 16);
        coloursUsed = U32(info.data() + 32);
    }
    if (planes != 1) {
        ThrowBitmapNotValid();
    }
    const unsigned bits = layout.bitCount;
    const bool indexed = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    switch (compression) {
        case 0:
            if (!indexed && bits != 16 && bits != 24 && bits != 32) {
                ThrowBitmapNotValid();
            }
            if (core && (bits == 16 || bits == 32)) {
                ThrowBitmapNotValid();
            }
            layout.encoding = Encoding::Rgb;
            break;
        case 1:
            if (bits != 8) {
                ThrowBitmapNotValid();
            }
            layout.encoding = Encoding::Rle8;
            break;
        case 2:
            if (bits != 4) {
                ThrowBitmapNotValid();
            }
            layout.encoding = Encoding::Rle4;
            break;
        case 3:  // bit fields; for OS/2 2.x Huffman 1D, which is not read
        case 6:  // bit fields with an alpha mask
            if (os2 || (bits != 16 && bits != 32)) {
                ThrowBitmapNotValid();
            }
            layout.encoding = Encoding::BitFields;
            break;
        case 4:  // OS/2 2.x RLE24; for Windows a JPEG stream, which is not read
            if (!os2 || bits != 24) {
                ThrowBitmapNotValid();
            }
            layout.encoding = Encoding::Rle24;
            break;
        default:
            ThrowBitmapNotValid();
    }

    if (layout.width <= 0 || height == 0) {
        ThrowBitmapNotValid();
    }
    layout.topDown = height < 0;
    layout.height = layout.topDown ? -height : height;
    const bool rle = layout.encoding == Encoding::Rle8 || layout.encoding == Encoding::Rle4 ||
                     layout.encoding == Encoding::Rle24;
    if (layout.topDown && rle) {
        ThrowBitmapNotValid();
    }
    const auto pixels =
        static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
    if (pixels > maxPixels || layout.width > 0x1FFFFFFF || layout.height > 0x7FFFFFFF) {
        ThrowBitmapNotValid();
    }

    if (layout.encoding == Encoding::BitFields) {
        if (headerSize >= 52) {
            for (int i = 0; i < 3; ++i) {
                layout.masks[i] = U32(info.data() + 40 + 4 * i);
            }
        } else {
            const unsigned char* masks = source.Read(compression == 6 ? 16 : 12);
            for (int i = 0; i < 3; ++i) {
                layout.masks[i] = U32(masks + 4 * i);
            }
        }
    } else if (bits == 16) {
        layout.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (bits == 32) {
        layout.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    const std::uint32_t pixelBits = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (std::uint32_t mask : layout.masks) {
        if (!IsContiguous(mask) || (mask & ~pixelBits) != 0) {
            ThrowBitmapNotValid();
        }
    }

    // Without an offset the pixels follow the palette; an offset inside what was read is bad.
    const std::uint64_t paletteStart = source.Position();
    if (pixelOffset != 0 && pixelOffset < paletteStart) {
        ThrowBitmapNotValid();
    }
    const std::uint64_t paletteSpace =
        pixelOffset != 0 ? pixelOffset - paletteStart : source.Remaining();
    const std::uint64_t entrySize = core ? 3 : 4;
    std::uint64_t entries = 0;
    if (indexed) {
        const std::uint64_t full = std::uint64_t{1} << bits;
        if (coloursUsed == 0) {
            // A palette that the pixel offset cuts short holds only the entries before it.
            entries = std::min(full, paletteSpace / entrySize);
        } else {
            entries = coloursUsed;
            if (entries * entrySize > paletteSpace) {
                ThrowBitmapNotValid();
            }
        }
    }
    layout.palette.fill(kBlack);
    const std::uint64_t kept = std::min<std::uint64_t>(entries, layout.palette.size());
    if (kept > 0) {
        const unsigned char* p = source.Read(static_cast<std::size_t>(kept * entrySize));
        for (std::uint64_t i = 0; i < kept; ++i, p += entrySize) {
            layout.palette[i] = qRgb(p[2], p[1], p[0]);
        }
    }
    layout.paletteCount = static_cast<std::uint32_t>(kept);
    source.Skip((entries - kept) * entrySize);
    if (pixelOffset != 0) {
        source.Skip(pixelOffset - source.Position());
    }
    return layout;
}

template <typename Convert>
QImage DecodeRows(BitmapSource& source, const Layout& layout, Convert convert) {
    const auto width = static_cast<std::uint64_t>(layout.width);
    const std::uint64_t rowBytes = (width * layout.bitCount + 7) / 8;
    const std::uint64_t stride = (width * layout.bitCount + 31) / 32 * 4;
    // The last row may go without its padding.
    const std::uint64_t needed = stride * static_cast<std::uint64_t>(layout.height - 1) + rowBytes;
    if (needed > source.Remaining()) {
        ThrowStreamReadError();
    }
    QImage image = NewImage(layout);
    // Rows are read in pieces of whole bytes, so a source never needs more than a piece at once.
    const std::uint64_t piecePixels =
        std::max<std::uint64_t>(8, kPieceBytes * 8 / layout.bitCount / 8 * 8);
    for (std::int64_t row = 0; row < layout.height; ++row) {
        QRgb* dst = Row(image, layout, row);
        for (std::uint64_t x = 0; x < width; x += piecePixels) {
            const std::uint64_t n = std::min(piecePixels, width - x);
            const unsigned char* src =
                source.Read(static_cast<std::size_t>((n * layout.bitCount + 7) / 8));
            convert(src, dst + x, static_cast<int>(n));
        }
        if (row + 1 < layout.height) {
            source.Skip(stride - rowBytes);
        }
    }
    return image;
}

QImage DecodeUncompressed(BitmapSource& source, const Layout& layout) {
    const auto& pal = layout.palette;
    switch (layout.bitCount) {
        case 1:
            return DecodeRows(source, layout, [&pal](const unsigned char* s, QRgb* d, int w) {
                for (int x = 0; x < w; ++x) {
                    d[x] = pal[(s[x >> 3] >> (7 - (x & 7))) & 1u];
                }
            });
        case 2:
            return DecodeRows(source, layout, [&pal](const unsigned char* s, QRgb* d, int w) {
                for (int x = 0; x < w; ++x) {
                    d[x] = pal[(s[x >> 2] >> (6 - 2 * (x & 3))) & 3u];
                }
            });
        case 4:
            return DecodeRows(source, layout, [&pal](const unsigned char* s, QRgb* d, int w) {
                for (int x = 0; x < w; ++x) {
                    d[x] = pal[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u];
                }
            });
        case 8:
            return DecodeRows(source, layout, [&pal](const unsigned char* s, QRgb* d, int w) {
                for (int x = 0; x < w; ++x) {
                    d[x] = pal[s[x]];
                }
            });
        case 24:
            return DecodeRows(source, layout, [](const unsigned char* s, QRgb* d, int w) {
                for (int x = 0; x < w; ++x, s += 3) {
                    d[x] = kBlack | (static_cast<std::uint32_t>(s[2]) << 16) |
                           (static_cast<std::uint32_t>(s[1]) << 8) | s[0];
                }
            });
        default:
            break;
    }

    if (layout.bitCount == 32 && layout.masks[0] == 0xFF0000 && layout.masks[1] == 0xFF00 &&
        layout.masks[2] == 0xFF) {
        return DecodeRows(source, layout, [](const unsigned char* s, QRgb* d, int w) {
            for (int x = 0; x < w; ++x) {
                std::uint32_t v;
                std::memcpy(&v, s + 4 * x, 4);
                d[x] = v | kBlack;  // little-endian B, G, R, X is 0xXXRRGGBB
            }
        });
    }
    const Channel red(layout.masks[0]);
    const Channel green(layout.masks[1]);
    const Channel blue(layout.masks[2]);
    const auto colour = [&](std::uint32_t v) {
        return kBlack | (red.Value(v) << 16) | (green.Value(v) << 8) | blue.Value(v);
    };
    if (layout.bitCount == 16) {
        return DecodeRows(source, layout, [&colour](const unsigned char* s, QRgb* d, int w) {
            for (int x = 0; x < w; ++x, s += 2) {
                d[x] = colour(U16(s));
            }
        });
    }
    return DecodeRows(source, layout, [&colour](const unsigned char* s, QRgb* d, int w) {
        for (int x = 0; x < w; ++x, s += 4) {
            d[x] = colour(U32(s));
        }
    });
}

// Run-length data. Rows count from the bottom; pixels the stream skips (delta, early end of
// line or of bitmap) keep palette entry 0, as they would in a zeroed indexed bitmap (black
// for RLE24). A run or a move beyond the image is refused.
QImage DecodeRunLength(BitmapSource& source, const Layout& layout) {
    QImage image = NewImage(layout);
    image.fill(layout.encoding == Encoding::Rle24 ? kBlack : layout.palette[0]);
    const std::int64_t w = layout.width;
    const std::int64_t h = layout.height;
    const auto& pal = layout.palette;
    std::int64_t x = 0;
    std::int64_t y = 0;
    for (;;) {
        if (y >= h && source.Remaining() < 2) {
            break;  // every row is complete; the end-of-bitmap mark is missing
        }
        const unsigned char* op = source.Read(2);
        const unsigned count = op[0];
        const unsigned value = op[1];
        if (count != 0) {
            if (y >= h || x + count > w) {
                ThrowBitmapNotValid();
            }
            QRgb* d = Row(image, layout, y) + x;
            switch (layout.encoding) {
                case Encoding::Rle8:
                    std::fill(d, d + count, pal[value]);
                    break;
                case Encoding::Rle4:
                    for (unsigned i = 0; i < count; ++i) {
                        d[i] = pal[(i & 1u) ? (value & 15u) : (value >> 4)];
                    }
                    break;
                default: {
                    const unsigned char* gr = source.Read(2);
                    std::fill(d, d + count, qRgb(gr[1], gr[0], static_cast<int>(value)));
                    break;
                }
            }
            x += count;
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            const unsigned char* delta = source.Read(2);
            x += delta[0];
            y += delta[1];
            if (x > w || y > h) {
                ThrowBitmapNotValid();
            }
        } else {  // absolute run of `value` pixels, padded to an even number of bytes
            const unsigned n = value;
            if (y >= h || x + n > w) {
                ThrowBitmapNotValid();
            }
            std::size_t bytes = layout.encoding == Encoding::Rle8   ? n
                                : layout.encoding == Encoding::Rle4 ? (n + 1) / 2
                                                                    : 3 * std::size_t{n};
            bytes += bytes & 1u;
            const unsigned char* s = source.Read(bytes);
            QRgb* d = Row(image, layout, y) + x;
            for (unsigned i = 0; i < n; ++i) {
                switch (layout.encoding) {
                    case Encoding::Rle8:
                        d[i] = pal[s[i]];
                        break;
                    case Encoding::Rle4:
                        d[i] = pal[(s[i / 2] >> ((i & 1u) ? 0 : 4)) & 15u];
                        break;
                    default:
                        d[i] = qRgb(s[3 * i + 2], s[3 * i + 1], s[3 * i]);
                        break;
                }
            }
            x += n;
        }
    }
    return image;
}

}  // namespace

const unsigned char* MemoryBitmapSource::Read(std::size_t n) {
    if (n > size_ - position_) {
        ThrowStreamReadError();
    }
    const unsigned char* p = data_ + position_;
    position_ += n;
    return p;
}

void MemoryBitmapSource::Skip(std::uint64_t n) {
    if (n > size_ - position_) {
        ThrowStreamReadError();
    }
    position_ += static_cast<std::size_t>(n);
}

void ThrowBitmapNotValid() {
    throw std::runtime_error(kNotValid);
}

void ThrowStreamReadError() {
    throw std::runtime_error(kReadError);
}

QImage DecodeBitmapSource(BitmapSource& source, std::uint64_t maxPixels) {
    const Layout layout = ReadLayout(source, maxPixels);
    switch (layout.encoding) {
        case Encoding::Rgb:
        case Encoding::BitFields:
            return DecodeUncompressed(source, layout);
        default:
            return DecodeRunLength(source, layout);
    }
}
