// A picture holds one image, a bitmap (or nothing yet), and offers the drawing
// surface on it.
#pragma once

#include "ColorValue.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <functional>

// The drawing surface on a picture's bitmap: pixel read and write, a
// rectangle, a pen colour; the brush is solid white.
//
// The slot codec goes through it pixel by pixel, so it keeps the image's size
// and row pointer at hand instead of asking the image for them on every call.
// The image must be a 32-bit one (QImage::Format_RGB32), and its owner tells
// the surface what happens to it (TPicture does): Sync() when the image was
// replaced, ImageHandedOut() whenever others may take a copy of it. So writes
// never reach a copy held elsewhere: the first write after either detaches
// the image, as QImage::scanLine() would. Width(), Height() and Rectangle()
// also notice a replaced image whose data is not at the old address; Pixel()
// and SetPixel(), the codec's inner loop, rely on the owner's Sync().
class TBitmapCanvas {
public:
    explicit TBitmapCanvas(QImage& image) : image_(image) { Sync(); }
    TBitmapCanvas(const TBitmapCanvas&) = delete;
    TBitmapCanvas& operator=(const TBitmapCanvas&) = delete;

    int Width() const {
        Check();
        return static_cast<int>(width_);
    }
    int Height() const {
        Check();
        return static_cast<int>(height_);
    }

    // InvalidColorValue outside the bitmap.
    TColorValue Pixel(int x, int y) const {
        if (!Inside(x, y))
            return InvalidColorValue;
        return ColorValueFromRgb(rows_[static_cast<std::ptrdiff_t>(y) * stride_ + x]);
    }
    // Does nothing outside the bitmap.
    void SetPixel(int x, int y, TColorValue value) {
        if (!Inside(x, y))
            return;
        if (writable_ == nullptr) {
            // Out of line, so this stays a leaf call without a stack frame.
            SetPixelDetaching(x, y, value);
            return;
        }
        writable_[static_cast<std::ptrdiff_t>(y) * stride_ + x] = RgbFromColorValue(value);
    }
    // Covers 0 <= x < w, 0 <= y < h (clipped to the bitmap): a one-pixel
    // outline in the pen colour, the inside in the brush colour.
    void Rectangle(int w, int h);

    TColorValue PenColor() const { return pen_; }
    void SetPenColor(TColorValue value) { pen_ = value; }
    TColorValue BrushColor() const { return brush_; }

    // Takes the image's size and rows afresh after the image was replaced.
    void Sync();
    // The image may be copied from now on: the next write detaches it first.
    void ImageHandedOut() const { writable_ = nullptr; }

private:
    bool Inside(int x, int y) const {
        // Negative coordinates wrap round to huge ones.
        return static_cast<std::size_t>(static_cast<unsigned>(x)) < width_ &&
               static_cast<std::size_t>(static_cast<unsigned>(y)) < height_;
    }
    void Check() const {
        if (image_.data_ptr() != data_)
            const_cast<TBitmapCanvas*>(this)->Sync();
    }
    // Detaches the image from any copy (and from read-only data) and keeps
    // its writable rows.
    void MakeWritable();
    // SetPixel's first write after a Sync() or an ImageHandedOut().
    void SetPixelDetaching(int x, int y, TColorValue value);

    QImage& image_;
    QImage::DataPtr data_ = nullptr;    // the image data the fields below describe
    const QRgb* rows_ = nullptr;        // first row, for reading
    mutable QRgb* writable_ = nullptr;  // first row once detached, for writing
    std::ptrdiff_t stride_ = 0;         // pixels from one row to the next
    // Not int: a pixel written through a QRgb* may alias an int, so the
    // compiler would read them again after every write once it inlines the
    // surface into the codec's loop.
    std::size_t width_ = 0;
    std::size_t height_ = 0;
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
    // Copies of it stay as they are when the picture is drawn on later.
    const QImage& Image() const {
        canvas_.ImageHandedOut();
        return image_;
    }

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
