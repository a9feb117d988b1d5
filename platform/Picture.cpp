#include "Picture.h"

#include <algorithm>

void TBitmapCanvas::Rectangle(int w, int h) {
    // The rectangle's own edges are at x = w - 1 and y = h - 1; the bitmap
    // clips it, so a rectangle larger than the bitmap shows no outline there.
    const int clipW = std::min(w, image_.width());
    const int clipH = std::min(h, image_.height());
    if (clipW <= 0 || clipH <= 0) return;
    const QRgb pen = RgbFromColorValue(pen_);
    const QRgb brush = RgbFromColorValue(brush_);
    for (int y = 0; y < clipH; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
        if (y == 0 || y == h - 1) {
            std::fill(row, row + clipW, pen);
            continue;
        }
        row[0] = pen;
        if (clipW > 1) std::fill(row + 1, row + std::min(w - 1, clipW), brush);
        if (w - 1 < clipW) row[w - 1] = pen;
    }
}

TBitmapCanvas& TPicture::Canvas(int emptyWidth, int emptyHeight) {
    if (image_.isNull()) {
        image_ = QImage(emptyWidth, emptyHeight, QImage::Format_RGB32);
        image_.fill(Qt::white);
    }
    return canvas_;
}

void TPicture::Assign(const QImage& image) {
    image_ = image.format() == QImage::Format_RGB32 ? image
                                                    : image.convertToFormat(QImage::Format_RGB32);
}
