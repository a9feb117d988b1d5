#include "BitmapFile.h"
#include "BmpBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

const std::string kNotValid = "Bitmap image is not valid";
const std::string kReadError = "Stream read error";

// The message of the runtime_error the call throws, or "" when it returns.
std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

Bytes Cut(Bytes b, std::size_t size) {
    b.resize(size);
    return b;
}

Bytes Poke32(Bytes b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    return b;
}

template <typename Change>
Bytes With(BmpSpec s, Change change) {
    change(s);
    return Build(s);
}

void WriteFile(const QString& name, const Bytes& b) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size())),
              static_cast<qint64>(b.size()));
}

class BitmapRead : public ::testing::Test {
protected:
    // Decodes the bytes from memory and from a file; both must agree.
    std::string ErrorOfBoth(const Bytes& b) {
        const std::string fromMemory = ErrorOf([&] { DecodeBitmap(b.data(), b.size()); });
        const QString name = dir.filePath("case.bmp");
        WriteFile(name, b);
        const std::string fromFile = ErrorOf([&] { ReadBitmapFile(name); });
        EXPECT_EQ(fromMemory, fromFile) << "memory and file readers disagree";
        return fromMemory;
    }
    QTemporaryDir dir;
};

TEST_F(BitmapRead, MalformedFilesGiveTheirMessage) {
    const Bytes pal8 = Build(Pal8Spec());
    const Bytes rgb24 = Build(Rgb24Spec());
    const Bytes rle8 = Build(Rle8Spec());
    const auto bitFields16 = [](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        return With(Rgb24Spec(), [&](BmpSpec& s) {
            s.bitCount = 16;
            s.compression = 3;
            s.masks.clear();
            Put32(s.masks, r);
            Put32(s.masks, g);
            Put32(s.masks, b);
            s.pixels.assign(16, 0);
        });
    };
    struct Case {
        const char* name;
        Bytes bytes;
        const std::string& expected;
    } cases[] = {
        {"empty file", {}, kNotValid},
        {"one byte", {0x42}, kNotValid},
        {"wrong signature",
         [&] {
             Bytes b = pal8;
             b[1] = 'A';
             return b;
         }(),
         kNotValid},
        {"short file with wrong signature", {0x42, 0x41, 0, 0}, kNotValid},
        {"signature only", {0x42, 0x4D}, kReadError},
        {"cut in the file header", Cut(pal8, 10), kReadError},
        {"cut in the header size", Cut(pal8, 16), kReadError},
        {"cut in the info header", Cut(pal8, 30), kReadError},
        {"cut in the bit masks", Cut(bitFields16(0xF800, 0x07E0, 0x001F), 14 + 40 + 6), kReadError},
        {"cut in the palette", Cut(pal8, 14 + 40 + 6), kReadError},
        {"cut in the 8-bit pixels", Cut(pal8, pal8.size() - 2), kReadError},
        {"cut in the 24-bit pixels", Cut(rgb24, rgb24.size() - 4), kReadError},
        {"cut in the RLE stream", Cut(rle8, rle8.size() - 10), kReadError},
        {"RLE stream without its end", Cut(rle8, rle8.size() - 4), kReadError},
        {"pixel offset past the end", Poke32(pal8, 10, 5000), kReadError},
        {"8000 x 8000 pixels in a short file",
         With(Rgb24Spec(), [](BmpSpec& s) { s.width = s.height = 8000; }), kReadError},
        {"header size 20", Poke32(pal8, 14, 20), kNotValid},
        {"header size 66", Poke32(pal8, 14, 66), kNotValid},
        {"header size 0", Poke32(pal8, 14, 0), kNotValid},
        {"planes 2", With(Pal8Spec(), [](BmpSpec& s) { s.planes = 2; }), kNotValid},
        {"bit count 3", With(Pal8Spec(), [](BmpSpec& s) { s.bitCount = 3; }), kNotValid},
        {"bit count 0", With(Pal8Spec(), [](BmpSpec& s) { s.bitCount = 0; }), kNotValid},
        {"bit count 64", With(Pal8Spec(), [](BmpSpec& s) { s.bitCount = 64; }), kNotValid},
        {"compression 7", With(Pal8Spec(), [](BmpSpec& s) { s.compression = 7; }), kNotValid},
        {"JPEG compression", With(Pal8Spec(), [](BmpSpec& s) { s.compression = 4; }), kNotValid},
        {"RLE8 on 4 bits", With(Rle8Spec(), [](BmpSpec& s) { s.bitCount = 4; }), kNotValid},
        {"RLE4 on 8 bits", With(Rle8Spec(), [](BmpSpec& s) { s.compression = 2; }), kNotValid},
        {"bit fields on 24 bits", With(Rgb24Spec(), [](BmpSpec& s) { s.compression = 3; }),
         kNotValid},
        {"colours used 1000000", With(Pal8Spec(), [](BmpSpec& s) { s.coloursUsed = 1000000; }),
         kNotValid},
        {"colours used 0xFFFFFFFF",
         With(Pal8Spec(), [](BmpSpec& s) { s.coloursUsed = 0xFFFFFFFF; }), kNotValid},
        {"pixel offset inside the header", Poke32(pal8, 10, 20), kNotValid},
        {"non-contiguous mask", bitFields16(0xF00F, 0x07E0, 0x001F), kNotValid},
        {"mask beyond 16 bits", bitFields16(0x1F0000, 0x07E0, 0x001F), kNotValid},
        {"RLE run past the row",
         With(Rle8Spec(),
              [](BmpSpec& s) {
                  s.pixels = {5, 0, 0, 1};
              }),
         kNotValid},
        {"RLE absolute run past the row",
         With(Rle8Spec(), [](BmpSpec& s) { s.pixels = {2, 0, 0, 3, 1, 2, 3, 0, 0, 1}; }),
         kNotValid},
        {"RLE delta past the image",
         With(Rle8Spec(), [](BmpSpec& s) { s.pixels = {0, 2, 0, 3, 0, 1}; }), kNotValid},
        {"RLE run after the last row",
         With(Rle8Spec(), [](BmpSpec& s) { s.pixels = {0, 0, 0, 0, 1, 0, 0, 1}; }), kNotValid},
        {"RLE top-down", With(Rle8Spec(), [](BmpSpec& s) { s.height = -2; }), kNotValid},
        {"100000 x 100000 pixels",
         With(Rgb24Spec(), [](BmpSpec& s) { s.width = s.height = 100000; }), kNotValid},
        {"65536 x 65536 RLE pixels",
         With(Rle8Spec(), [](BmpSpec& s) { s.width = s.height = 65536; }), kNotValid},
        {"negative width", With(Pal8Spec(), [](BmpSpec& s) { s.width = -4; }), kNotValid},
        {"zero width", With(Pal8Spec(), [](BmpSpec& s) { s.width = 0; }), kNotValid},
        {"zero height", With(Pal8Spec(), [](BmpSpec& s) { s.height = 0; }), kNotValid},
        {"lowest height", With(Pal8Spec(), [](BmpSpec& s) { s.height = INT32_MIN; }), kNotValid},
        {"core header with zero height",
         With(Pal8Spec(),
              [](BmpSpec& s) {
                  s.headerSize = 12;
                  s.height = 0;
              }),
         kNotValid},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorOfBoth(c.bytes), c.expected) << c.name;
    }
}

TEST_F(BitmapRead, PixelLimitIsCheckedBeforeDecoding) {
    const Bytes pal8 = Build(Pal8Spec());  // 4 x 2
    EXPECT_EQ(ErrorOf([&] { DecodeBitmap(pal8.data(), pal8.size(), 8); }), "");
    EXPECT_EQ(ErrorOf([&] { DecodeBitmap(pal8.data(), pal8.size(), 7); }), kNotValid);
    // The default limit admits a 6000 x 4000 picture and refuses 8193 x 8192.
    EXPECT_GE(DefaultMaxBitmapPixels, 6000u * 4000u);
    const Bytes tooBig = With(Rle8Spec(), [](BmpSpec& s) {
        s.width = 8193;
        s.height = 8192;
    });
    EXPECT_EQ(ErrorOf([&] { DecodeBitmap(tooBig.data(), tooBig.size()); }), kNotValid);
}

constexpr std::uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF, K = 0x000000;

Bytes Mask32(std::initializer_list<std::uint32_t> masks) {
    Bytes b;
    for (std::uint32_t m : masks) {
        Put32(b, m);
    }
    return b;
}

TEST_F(BitmapRead, VariantsDecodeToTheirPixels) {
    const BmpSpec pal8 = Pal8Spec();
    const auto topDown = [](BmpSpec& s) { s.height = -s.height; };
    const Bytes rgb24 = Build(Rgb24Spec());
    struct Case {
        const char* name;
        Bytes bytes;
        std::vector<std::uint32_t> pixels;  // top row first
    } cases[] = {
        {"8 bits", Build(pal8), {W, B, G, R, R, G, B, W}},
        {"8 bits top-down", With(pal8, topDown), {R, G, B, W, W, B, G, R}},
        {"indices beyond a short palette are black",
         With(pal8,
              [](BmpSpec& s) {
                  s.coloursUsed = 2;
                  s.palette.resize(8);
              }),
         {K, K, G, R, R, G, K, K}},
        {"palette longer than the bit depth allows",
         With(pal8,
              [](BmpSpec& s) {
                  s.coloursUsed = 300;
                  s.palette.resize(1200, 0x77);
              }),
         {W, B, G, R, R, G, B, W}},
        {"pixel offset past a gap",
         With(pal8, [](BmpSpec& s) { s.gap.assign(37, 0xEE); }),
         {W, B, G, R, R, G, B, W}},
        {"1 bit",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 1;
                  s.coloursUsed = 0;
                  s.palette = {0, 0, 0, 0, 255, 255, 255, 0};
                  s.pixels = {0xA0, 0, 0, 0, 0x50, 0, 0, 0};
              }),
         {K, W, K, W, W, K, W, K}},
        {"2 bits",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 2;
                  s.pixels = {0x1B, 0, 0, 0, 0xE4, 0, 0, 0};
              }),
         {W, B, G, R, R, G, B, W}},
        {"4 bits",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 4;
                  s.pixels = {0x01, 0x23, 0, 0, 0x32, 0x10, 0, 0};
              }),
         {W, B, G, R, R, G, B, W}},
        {"RLE8", Build(Rle8Spec()), {G, B, W, R, R, R, R, R}},
        {"RLE8 delta leaves palette entry 0",
         With(Rle8Spec(), [](BmpSpec& s) { s.pixels = {2, 1, 0, 2, 1, 1, 1, 2, 0, 1}; }),
         {R, R, R, B, G, G, R, R}},
        {"RLE8 early end of bitmap",
         With(Rle8Spec(),
              [](BmpSpec& s) {
                  s.pixels = {4, 1, 0, 1};
              }),
         {R, R, R, R, G, G, G, G}},
        {"RLE8 without end of bitmap after the last row",
         With(Rle8Spec(), [](BmpSpec& s) { s.pixels = {4, 1, 0, 0, 4, 2, 0, 0}; }),
         {B, B, B, B, G, G, G, G}},
        {"RLE4",
         With(Rle8Spec(),
              [](BmpSpec& s) {
                  s.bitCount = 4;
                  s.compression = 2;
                  s.pixels = {4, 0x12, 0, 0, 0, 3, 0x32, 0x10, 1, 0, 0, 0, 0, 1};
              }),
         {W, B, G, R, G, B, G, B}},
        {"16 bits, 5-5-5",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 16;
                  s.width = 2;
                  s.height = 1;
                  s.pixels = {0x00, 0x7C, 0x1F, 0x00};
              }),
         {R, B}},
        {"16 bits, 5-6-5 bit fields",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 16;
                  s.compression = 3;
                  s.width = 2;
                  s.height = 1;
                  s.palette.clear();
                  s.coloursUsed = 0;
                  s.masks = Mask32({0xF800, 0x07E0, 0x001F});
                  s.pixels = {0xE0, 0x07, 0x41, 0x08};
              }),
         {G, 0x080808}},
        {"32 bits, the fourth byte ignored",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 32;
                  s.width = 2;
                  s.height = 1;
                  s.palette.clear();
                  s.coloursUsed = 0;
                  s.pixels = {1, 2, 3, 0x80, 4, 5, 6, 0};
              }),
         {0x030201, 0x060504}},
        {"32 bits, bit fields with alpha mask",
         With(pal8,
              [](BmpSpec& s) {
                  s.bitCount = 32;
                  s.compression = 6;
                  s.width = 1;
                  s.height = 1;
                  s.palette.clear();
                  s.coloursUsed = 0;
                  s.masks = Mask32({0xFF000000, 0xFF0000, 0xFF00, 0xFF});
                  s.pixels = {0x99, 0x33, 0x22, 0x11};
              }),
         {0x112233}},
        {"24 bits", rgb24, {0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807}},
        {"24 bits top-down",
         With(Rgb24Spec(), topDown),
         {0x030201, 0x060504, 0x090807, 0x0C0B0A, 0x0F0E0D, 0x121110}},
        {"24 bits, last row without its padding",
         Cut(rgb24, rgb24.size() - 3),
         {0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807}},
        {"OS/2 core header, 24 bits",
         With(Rgb24Spec(), [](BmpSpec& s) { s.headerSize = 12; }),
         {0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807}},
        {"OS/2 core header, 8 bits, 3-byte palette",
         With(pal8,
              [](BmpSpec& s) {
                  s.headerSize = 12;
                  s.palette = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
              }),
         {W, B, G, R, R, G, B, W}},
        {"OS/2 2.x 16-byte header",
         With(pal8, [](BmpSpec& s) { s.headerSize = 16; }),
         {W, B, G, R, R, G, B, W}},
        {"OS/2 2.x RLE24",
         With(pal8,
              [](BmpSpec& s) {
                  s.headerSize = 64;
                  s.bitCount = 24;
                  s.compression = 4;
                  s.width = 3;
                  s.palette.clear();
                  s.coloursUsed = 0;
                  s.pixels = {3, 9, 8, 7, 0, 0, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1};
              }),
         {0x030201, 0x060504, 0x090807, 0x070809, 0x070809, 0x070809}},
        {"V4 header", With(pal8, [](BmpSpec& s) { s.headerSize = 108; }), {W, B, G, R, R, G, B, W}},
        {"V5 header", With(pal8, [](BmpSpec& s) { s.headerSize = 124; }), {W, B, G, R, R, G, B, W}},
        {"52-byte header with masks inside",
         Poke32(With(pal8,
                     [](BmpSpec& s) {
                         s.bitCount = 32;
                         s.compression = 3;
                         s.width = 1;
                         s.height = 1;
                         s.palette.clear();
                         s.coloursUsed = 0;
                         s.masks = Mask32({0xFF, 0xFF00, 0xFF0000});
                         s.pixels = {0x11, 0x22, 0x33, 0x44};
                     }),
                14, 52),
         {0x112233}},
    };
    for (const Case& c : cases) {
        const std::string error = ErrorOfBoth(c.bytes);
        if (!error.empty()) {
            ADD_FAILURE() << c.name << ": " << error;
            continue;
        }
        const QImage image = DecodeBitmap(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << c.name;
        EXPECT_EQ(Hex(Pixels(image)), Hex(c.pixels)) << c.name;
    }
}

TEST_F(BitmapRead, ReadOnlyFileLoads) {
    const QString name = dir.filePath("readonly.bmp");
    WriteFile(name, Build(Pal8Spec()));
    ASSERT_TRUE(QFile::setPermissions(
        name, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    const QImage image = ReadBitmapFile(name);
    EXPECT_EQ(Hex(Pixels(image)), Hex({W, B, G, R, R, G, B, W}));
}

TEST_F(BitmapRead, FilesThatCannotBeOpenedNameTheFile) {
    const QString missing = dir.filePath("no such folder/missing.bmp");
    EXPECT_EQ(ErrorOf([&] { ReadBitmapFile(missing); }),
              "Cannot open file " + missing.toStdString());
    const QString folder = dir.filePath("folder.bmp");
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(ErrorOf([&] { ReadBitmapFile(folder); }), "Cannot open file " + folder.toStdString());
    if (geteuid() != 0) {  // root reads files whatever their permissions
        const QString locked = dir.filePath("locked.bmp");
        WriteFile(locked, Build(Pal8Spec()));
        ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        EXPECT_EQ(ErrorOf([&] { ReadBitmapFile(locked); }),
                  "Cannot open file " + locked.toStdString());
    }
}

// A file much larger than the reader's buffer, with rows that straddle its chunks.
TEST_F(BitmapRead, LargeFileStreamsLikeMemory) {
    BmpSpec s = Rgb24Spec();
    s.width = 1001;
    s.height = 700;
    const std::size_t stride = (1001 * 3 + 3) / 4 * 4;
    s.pixels.resize(stride * 700);
    for (std::size_t i = 0; i < s.pixels.size(); ++i) {
        s.pixels[i] = static_cast<std::uint8_t>(i * 7 + i / 4099);
    }
    const Bytes b = Build(s);
    const QString name = dir.filePath("large.bmp");
    WriteFile(name, b);
    const QImage fromFile = ReadBitmapFile(name);
    const QImage fromMemory = DecodeBitmap(b.data(), b.size());
    ASSERT_EQ(fromFile.size(), QSize(1001, 700));
    EXPECT_TRUE(fromFile == fromMemory);
    const std::uint8_t* last = s.pixels.data() + 0 * stride + 1000 * 3;  // bottom right
    EXPECT_EQ(fromFile.pixel(1000, 699) & 0xFFFFFFu,
              static_cast<std::uint32_t>(last[2] << 16 | last[1] << 8 | last[0]));
}

// Rows longer than the piece the decoder converts at once, in both sources.
TEST_F(BitmapRead, RowsWiderThanAPieceDecodeWhole) {
    for (const std::uint32_t bits : {1u, 24u}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        BmpSpec s = Pal8Spec();
        s.bitCount = bits;
        s.coloursUsed = bits == 1 ? 2 : 0;
        s.palette = bits == 1 ? Bytes{0, 0, 0, 0, 255, 255, 255, 0} : Bytes{};
        s.width = bits == 1 ? 700001 : 30001;
        s.height = 2;
        const std::size_t stride = (static_cast<std::size_t>(s.width) * bits + 31) / 32 * 4;
        s.pixels.resize(stride * 2);
        for (std::size_t i = 0; i < s.pixels.size(); ++i) {
            s.pixels[i] = static_cast<std::uint8_t>(i * 13 + i / 251);
        }
        const Bytes b = Build(s);
        const QString name = dir.filePath("wide.bmp");
        WriteFile(name, b);
        const QImage image = ReadBitmapFile(name);
        ASSERT_TRUE(image == DecodeBitmap(b.data(), b.size()));
        ASSERT_EQ(image.width(), s.width);
        int wrong = 0;
        for (int y = 0; y < 2; ++y) {
            const std::uint8_t* row = s.pixels.data() + (1 - y) * stride;
            for (int x = 0; x < s.width; ++x) {
                std::uint32_t expected = 0;
                if (bits == 1) {
                    expected = (row[x / 8] >> (7 - x % 8)) & 1 ? W : K;
                } else {
                    const std::uint8_t* p = row + 3 * x;
                    expected = static_cast<std::uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
                }
                if ((image.pixel(x, y) & 0xFFFFFFu) != expected && ++wrong < 5) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
