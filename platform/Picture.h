// A picture holds one image, a bitmap (or nothing yet), and offers the drawing
// surface on it.
#pragma once

#include "ColorValue.h"

#include <QImage>
#include <QString>

#include <functional>

// The drawing surface on a picture's bitmap: pixel read and write, a
// rectangle, a pen colour; the brush is solid white.
class TBitmapCanvas {
public:
    explicit TBitmapCanvas(QImage& image) : image_(image) {}

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }

    // InvalidColorValue outside the bitmap.
    TColorValue Pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return InvalidColorValue;
        return ColorValueFromRgb(reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]);
    }
    // Does nothing outside the bitmap.
    void SetPixel(int x, int y, TColorValue value) {
        if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
        reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = RgbFromColorValue(value);
    }
    // Covers 0 <= x < w, 0 <= y < h (clipped to the bitmap): a one-pixel
    // outline in the pen colour, the inside in the brush colour.
    void Rectangle(int w, int h);

    TColorValue PenColor() const { return pen_; }
    void SetPenColor(TColorValue value) { pen_ = value; }
    TColorValue BrushColor() const { return brush_; }

private:
    QImage& image_;
    TColorValue pen_ = 0x000000;
    TColorValue brush_ = 0xFFFFFF;
};

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    bool Empty() const { return image_.isNull(); }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    const QImage& Image() const { return image_; }

    // The surface; a picture without an image first gets a bitmap of the
    // given size (the picture control's own).
    TBitmapCanvas& Canvas(int emptyWidth = 96, int emptyHeight = 77);

    // Replaces the image; the surface keeps its pen.
    void Assign(const QImage& image);

    // Reads a bitmap file, chosen by the name's extension (bmp only, letter
    // case ignored). The old image is replaced only once the file has been
    // read whole; on any error nothing changes.
    void LoadFromFile(const QString& fileName);

    // Writes the whole image as an uncompressed 24-bit bitmap file, replacing
    // an existing file only once the new one is complete.
    void SaveToFile(const QString& fileName) const;

private:
    QImage image_;
    TBitmapCanvas canvas_{image_};
};
