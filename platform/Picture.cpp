#include "Picture.h"

#include <algorithm>

void TBitmapCanvas::Sync() {
    data_ = image_.data_ptr();
    writable_ = nullptr;
    if (image_.isNull()) {
        rows_ = nullptr;
        stride_ = 0;
        width_ = 0;
        height_ = 0;
        return;
    }
    rows_ = reinterpret_cast<const QRgb*>(image_.constBits());
    stride_ = static_cast<std::ptrdiff_t>(image_.bytesPerLine() / sizeof(QRgb));
    width_ = static_cast<std::size_t>(image_.width());
    height_ = static_cast<std::size_t>(image_.height());
}

void TBitmapCanvas::MakeWritable() {
    // bits() copies the data when it is shared or read-only, which can move it.
    auto* bits = reinterpret_cast<QRgb*>(image_.bits());
    Sync();
    writable_ = bits;
}

void TBitmapCanvas::SetPixelDetaching(int x, int y, TColorValue value) {
    MakeWritable();
    writable_[static_cast<std::ptrdiff_t>(y) * stride_ + x] = RgbFromColorValue(value);
}

void TBitmapCanvas::Rectangle(int w, int h) {
    // The rectangle's own edges are at x = w - 1 and y = h - 1; the bitmap
    // clips it, so a rectangle larger than the bitmap shows no outline there.
    Check();
    const int clipW = std::min(w, static_cast<int>(width_));
    const int clipH = std::min(h, static_cast<int>(height_));
    if (clipW <= 0 || clipH <= 0)
        return;
    if (writable_ == nullptr)
        MakeWritable();
    const QRgb pen = RgbFromColorValue(pen_);
    const QRgb brush = RgbFromColorValue(brush_);
    for (int y = 0; y < clipH; ++y) {
        QRgb* row = writable_ + static_cast<std::ptrdiff_t>(y) * stride_;
        if (y == 0 || y == h - 1) {
            std::fill(row, row + clipW, pen);
            continue;
        }
        row[0] = pen;
        if (clipW > 1)
            std::fill(row + 1, row + std::min(w - 1, clipW), brush);
        if (w - 1 < clipW)
            row[w - 1] = pen;
    }
}

TBitmapCanvas& TPicture::Canvas(int emptyWidth, int emptyHeight) {
    if (image_.isNull()) {
        image_ = QImage(emptyWidth, emptyHeight, QImage::Format_RGB32);
        image_.fill(Qt::white);
    }
    // Every request starts afresh: the first write after it goes through
    // QImage::bits(), which also gives the image a new cache key.
    canvas_.Sync();
    return canvas_;
}

void TPicture::Assign(const QImage& image) {
    image_ = image.format() == QImage::Format_RGB32 ? image
                                                    : image.convertToFormat(QImage::Format_RGB32);
    canvas_.Sync();
}
