#include "Picture.h"

#include <gtest/gtest.h>

namespace {

QImage Filled(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(Picture, EmptyPictureGetsABitmapOfTheControlsSizeOnFirstRequest) {
    TPicture picture;
    EXPECT_TRUE(picture.Empty());
    TBitmapCanvas& canvas = picture.Canvas(96, 77);
    EXPECT_FALSE(picture.Empty());
    EXPECT_EQ(canvas.Width(), 96);
    EXPECT_EQ(canvas.Height(), 77);
    EXPECT_EQ(picture.Image().format(), QImage::Format_RGB32);
    // A later request keeps the bitmap it has.
    canvas.SetPixel(5, 5, 0x123456);
    EXPECT_EQ(picture.Canvas(10, 10).Width(), 96);
    EXPECT_EQ(picture.Canvas().Pixel(5, 5), 0x123456);
}

TEST(Picture, PixelsOutsideTheBitmapReadInvalidAndIgnoreWrites) {
    TPicture picture;
    picture.Assign(Filled(3, 2, qRgb(0x11, 0x22, 0x33)));
    TBitmapCanvas& canvas = picture.Canvas();
    struct Point {
        int x, y;
    } outside[] = {{-1, 0}, {0, -1}, {3, 0}, {0, 2}, {1000000, 1}, {-2147483647 - 1, 0}};
    for (const Point& p : outside) {
        EXPECT_EQ(canvas.Pixel(p.x, p.y), -1) << p.x << ',' << p.y;
        canvas.SetPixel(p.x, p.y, 0x000000);
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(canvas.Pixel(x, y), 0x332211) << x << ',' << y;
    // 0x00BBGGRR on the surface, QRgb 0xAARRGGBB underneath.
    canvas.SetPixel(1, 1, 0xFF0000);
    EXPECT_EQ(picture.Image().pixel(1, 1), qRgb(0, 0, 0xFF));
}

TEST(Picture, RectangleCoversExactlyItsBoundsAndIsClippedByTheBitmap) {
    struct Case {
        int bitmapW, bitmapH, w, h;
    } cases[] = {
        {96, 77, 96, 77}, {200, 150, 200, 150}, {5, 4, 3, 2}, {4, 4, 10, 10}, {1, 1, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.bitmapW << 'x' << c.bitmapH << " rect " << c.w << 'x' << c.h);
        TPicture picture;
        picture.Assign(Filled(c.bitmapW, c.bitmapH, qRgb(1, 2, 3)));
        TBitmapCanvas& canvas = picture.Canvas();
        canvas.SetPenColor(0x0000FF);
        canvas.Rectangle(c.w, c.h);
        for (int y = 0; y < c.bitmapH; ++y)
            for (int x = 0; x < c.bitmapW; ++x) {
                TColorValue expected = 0x030201;
                if (x < c.w && y < c.h) {
                    const bool edge = x == 0 || y == 0 || x == c.w - 1 || y == c.h - 1;
                    expected = edge ? 0x0000FF : 0xFFFFFF;
                }
                ASSERT_EQ(canvas.Pixel(x, y), expected) << x << ',' << y;
            }
    }
}

TEST(Picture, WritesNeverReachACopyHeldElsewhere) {
    const QImage source = Filled(8, 8, qRgb(9, 9, 9));
    TPicture picture;
    picture.Assign(source);
    picture.Canvas().SetPixel(0, 0, 0xFFFFFF);
    picture.Canvas().Rectangle(4, 4);
    EXPECT_EQ(source.pixel(0, 0), qRgb(9, 9, 9)) << "the assigned image was written to";
    EXPECT_EQ(source.pixel(2, 2), qRgb(9, 9, 9));

    const QImage copy = picture.Image();
    picture.Canvas().SetPixel(7, 7, 0x000000);
    picture.Canvas().SetPenColor(0x00FF00);
    picture.Canvas().Rectangle(8, 8);
    EXPECT_EQ(copy.pixel(7, 7), qRgb(9, 9, 9)) << "a copy taken through Image() changed";
    EXPECT_EQ(copy.pixel(2, 2), qRgb(0xFF, 0xFF, 0xFF));  // inside the first rectangle
    EXPECT_EQ(picture.Canvas().Pixel(7, 7), 0x00FF00);

    // An image of another format is held as a 32-bit one.
    picture.Assign(QImage(4, 4, QImage::Format_Indexed8));
    EXPECT_EQ(picture.Image().format(), QImage::Format_RGB32);
    EXPECT_EQ(picture.Canvas().Width(), 4);
}

}  // namespace
