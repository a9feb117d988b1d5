#include "BitmapFile.h"
#include "BmpBytes.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// An image with a different colour at every pixel, the four palette shades in its corner.
QImage Pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(
                x, y, qRgb((x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x ^ (y * 3)) & 255));
        }
    }
    const QRgb shades[] = {0xFF000000, 0xFF808080, 0xFFC0C0C0, 0xFFFFFFFF};
    for (int i = 0; i < 4 && i < w; ++i) {
        image.setPixel(i, 0, shades[i]);
    }
    return image;
}

std::uint32_t U32At(const QByteArray& b, int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
    }
    return v;
}

const QSize kSizes[] = {{1, 1}, {2, 3}, {3, 2}, {5, 4}, {96, 77}, {97, 5}, {1, 100}, {200, 150}};

TEST(BitmapWrite, FileIsUncompressed24BitBottomUpWithPaddedRows) {
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        const QImage image = Pattern(size.width(), size.height());
        const QByteArray bytes = EncodeBitmap24(image);
        const int stride = (size.width() * 3 + 3) / 4 * 4;
        ASSERT_EQ(bytes.size(), 54 + stride * size.height());
        EXPECT_EQ(bytes.left(2), QByteArray("BM"));
        EXPECT_EQ(U32At(bytes, 2), static_cast<std::uint32_t>(bytes.size()));
        EXPECT_EQ(U32At(bytes, 10), 54u);
        EXPECT_EQ(U32At(bytes, 14), 40u);
        EXPECT_EQ(U32At(bytes, 18), static_cast<std::uint32_t>(size.width()));
        EXPECT_EQ(U32At(bytes, 22), static_cast<std::uint32_t>(size.height()));  // bottom-up
        EXPECT_EQ(U32At(bytes, 26), 1u | 24u << 16);                             // planes, bits
        EXPECT_EQ(U32At(bytes, 30), 0u);                                         // BI_RGB
        // The first stored row is the bottom one; padding bytes are zero.
        const QRgb bottomLeft = image.pixel(0, size.height() - 1);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[54]), qBlue(bottomLeft));
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[56]), qRed(bottomLeft));
        for (int row = 0; row < size.height(); ++row) {
            for (int i = size.width() * 3; i < stride; ++i) {
                EXPECT_EQ(bytes[54 + row * stride + i], 0) << "row " << row;
            }
        }
    }
}

TEST(BitmapWrite, OurReaderAndQtReadItBackExactly) {
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        const QImage image = Pattern(size.width(), size.height());
        const QByteArray bytes = EncodeBitmap24(image);
        const QImage ours = DecodeBitmap(reinterpret_cast<const unsigned char*>(bytes.data()),
                                         static_cast<std::size_t>(bytes.size()));
        EXPECT_EQ(Hex(Pixels(ours)), Hex(Pixels(image)));
        QImage qt;
        ASSERT_TRUE(qt.loadFromData(bytes, "BMP"));
        EXPECT_EQ(Hex(Pixels(qt)), Hex(Pixels(image)));
    }
}

TEST(BitmapWrite, ImageMagickReadsItBackExactly) {
    QTemporaryDir dir;
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        const QImage image = Pattern(size.width(), size.height());
        const QString bmp = dir.filePath("out.bmp");
        const QString ppm = dir.filePath("back.ppm");
        QFile::remove(ppm);
        {
            QFile f(bmp);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            const QByteArray bytes = EncodeBitmap24(image);
            ASSERT_EQ(f.write(bytes), bytes.size());
        }
        QProcess convert;
        convert.start("convert", {bmp, "-depth", "8", "ppm:" + ppm});
        ASSERT_TRUE(convert.waitForStarted())
            << "ImageMagick's convert cannot be run (scripts/setup installs imagemagick): "
            << convert.errorString().toStdString();
        ASSERT_TRUE(convert.waitForFinished(60000));
        ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
        const QImage back(ppm, "PPM");
        ASSERT_FALSE(back.isNull()) << "convert wrote no readable PPM";
        EXPECT_EQ(back.size(), size);
        EXPECT_EQ(Hex(Pixels(back)), Hex(Pixels(image)));
    }
}

TEST(BitmapWrite, OtherImageFormatsAreWrittenByTheirColours) {
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(200, 100, 50)});
    indexed.fill(0);
    indexed.setPixel(1, 1, 1);
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(10, 20, 30, 0));
    argb.setPixel(1, 0, qRgba(40, 50, 60, 128));
    for (const QImage& image : {indexed, argb}) {
        const QByteArray bytes = EncodeBitmap24(image);
        const QImage back = DecodeBitmap(reinterpret_cast<const unsigned char*>(bytes.data()),
                                         static_cast<std::size_t>(bytes.size()));
        EXPECT_EQ(Hex(Pixels(back)), Hex(Pixels(image))) << "format " << image.format();
    }
}

TEST(BitmapWrite, NullImageIsRefused) {
    EXPECT_THROW(EncodeBitmap24(QImage()), std::invalid_argument);
}

}  // namespace
