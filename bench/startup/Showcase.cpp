// The program's window with pictures in its slots, for screenshots at
// several scale factors (tools/screenshot/screenshot.sh). Starts like the
// program, then loads three test bitmaps through Load BMP's own path (file,
// picture, StoreSlot), so each slot shows what its bitmap became:
//   slot 1: single-pixel checks and stripes, a diagonal, the four shades;
//   slot 2: a 200 x 150 colour gradient (only its top-left 96 x 77 is used);
//   slot 3: a 50 x 50 ring, smaller than the slot.
#include "Application.h"
#include "BitmapFile.h"
#include "PictureFiles.h"
#include "Unit1.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

QImage FinePattern() {
    QImage image(96, 77, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < 77; ++y) {
        for (int x = 0; x < 96; ++x) {
            QRgb c = qRgb(255, 255, 255);
            if (x < 24 && y < 24)
                c = (x + y) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            else if (x >= 28 && x < 52 && y < 24)
                c = x % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            else if (x >= 56 && y < 24)
                c = y % 2 == 0 ? qRgb(128, 128, 128) : qRgb(255, 255, 255);
            else if (y >= 28 && y < 52 && std::abs(x - 2 * (y - 28)) < 1)
                c = qRgb(0, 0, 0);
            else if (y >= 56) {
                const int band = x / 24;
                const int g = band == 0 ? 0 : band == 1 ? 128 : band == 2 ? 192 : 255;
                c = qRgb(g, g, g);
            }
            image.setPixel(x, y, c);
        }
    }
    return image;
}

QImage Gradient() {
    QImage image(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            image.setPixel(x, y, qRgb(x * 255 / 95 % 256, y * 3 % 256, (x + y) % 256));
    return image;
}

QImage Ring() {
    QImage image(50, 50, QImage::Format_RGB32);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 50; ++x) {
            const double r = std::hypot(x - 24.5, y - 24.5);
            const int g = r < 8 ? 255 : r < 14 ? 192 : r < 20 ? 128 : 0;
            image.setPixel(x, y, qRgb(g, g, g));
        }
    }
    return image;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication qtApplication(argc, argv);
    TApplication application;
    Application->Initialize();
    Application->SetTitle(QStringLiteral("Velmoran"));
    Application->CreateForm(Form1);

    QTemporaryDir dir;
    const QImage pictures[3] = {FinePattern(), Gradient(), Ring()};
    for (int slot = 1; slot <= 3; ++slot) {
        const QString file = dir.filePath(QStringLiteral("slot%1.bmp").arg(slot));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(EncodeBitmap24(pictures[slot - 1])) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        out.close();
        LoadPictureFile(slot, Form1->SlotImage(slot)->Picture(), file);
    }
    return Application->Run();
}
