// Slot codec benchmark: StoreSlot (encode, then DrawSlot) and DrawSlot alone,
// through the main window's real picture surface, against a straight
// scan-line loop over a QImage that does the same thresholds and packing (the
// limit for this work). Prints the medians of several batches and the ratios.
// Usage: bench_codec [--calls N]   (runs headless)
#include "Application.h"
#include "BenchSupport.h"
#include "SectionBuffer.h"
#include "SlotCodec.h"
#include "Unit1.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

constexpr int Batches = 31;

// A 96 x 77 picture of random colours, so the thresholds cannot be guessed.
QImage NoisePicture() {
    QImage image(SlotWidth, SlotHeight, QImage::Format_RGB32);
    std::mt19937 random(1234);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = 0xFF000000u | (random() & 0xFFFFFFu);
    }
    return image;
}

// Soft shapes and gradients, a stand-in for a photo cut down to 96 x 77.
QImage SmoothPicture() {
    QImage image(SlotWidth, SlotHeight, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double sky = 255.0 - 1.5 * y;
            const double hill = 40 + 18 * std::sin(x / 11.0);
            const double g = y > hill ? 60 + 0.8 * x : sky;
            const int v = static_cast<int>(std::clamp(g, 0.0, 255.0));
            row[x] = qRgb(v, v, std::min(255, v + 20));
        }
    }
    return image;
}

// The limit: the same quantisation and packing as StoreSlot, straight over
// the scan lines, into the same bytes of SectionBuffer.
void ReferenceEncode(const QImage& image, std::uint8_t* slot) {
    slot[0] = SlotWidthMarker;
    slot[1] = SlotHeightMarker;
    slot[2] = SlotThirdMarker;
    std::uint8_t* pixels = slot + SlotPixelOffset;
    for (int y = 0; y < SlotHeight; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int b = 0; b < SlotRowBytes; ++b) {
            int packed = 0;
            for (int k = 0; k < 4; ++k) {
                const QRgb rgb = row[4 * b + k];
                const auto c = static_cast<std::int32_t>(((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) |
                                                         ((rgb >> 16) & 0xFFu));
                // The same signed thresholds, without branches.
                const int level = int{c >= 0x404040} + int{c >= 0xB0B0B0} + int{c >= 0xD0D0D0};
                packed = packed * 4 + level;
            }
            pixels[y * SlotRowBytes + b] = static_cast<std::uint8_t>(packed);
        }
    }
}

// The limit for DrawSlot: unpack and write the palette colours row by row.
void ReferenceDraw(QImage& image, const std::uint8_t* slot) {
    static const QRgb palette[4] = {0xFF000000u, 0xFF808080u, 0xFFC0C0C0u, 0xFFFFFFFFu};
    const std::uint8_t* pixels = slot + SlotPixelOffset;
    for (int y = 0; y < SlotHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int b = 0; b < SlotRowBytes; ++b) {
            const std::uint8_t v = pixels[y * SlotRowBytes + b];
            for (int k = 0; k < 4; ++k)
                row[4 * b + k] = palette[(v >> (6 - 2 * k)) & 3];
        }
    }
}

// Times the codec and its reference in alternating batches, so that other
// load on the machine falls on both alike; nanoseconds per call, medians.
struct Pair {
    double own = 0;
    double ref = 0;
};

template <class Own, class Ref>
Pair Compare(int calls, Own&& own, Ref&& ref) {
    std::vector<double> a, b;
    for (int batch = 0; batch < Batches; ++batch) {
        std::int64_t start = bench::NowNs();
        for (int i = 0; i < calls; ++i)
            own();
        a.push_back(static_cast<double>(bench::NowNs() - start) / calls);
        start = bench::NowNs();
        for (int i = 0; i < calls; ++i)
            ref();
        b.push_back(static_cast<double>(bench::NowNs() - start) / calls);
    }
    return {bench::Median(a), bench::Median(b)};
}

}  // namespace

int main(int argc, char* argv[]) {
    int calls = 300;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--calls") == 0)
            calls = std::atoi(argv[i + 1]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApplication(argc, argv);
    TApplication application;
    Application->SetTitle(QStringLiteral("Velmoran"));
    Application->CreateForm(Form1);

    // Noise is the worst case for the thresholds' branches; a picture with
    // smooth areas, like a photo, is the usual one.
    const struct {
        const char* name;
        QImage picture;
    } cases[] = {{"random colours (worst case)", NoisePicture()},
                 {"smooth picture (typical)", SmoothPicture()}};
    bool allSame = true;
    std::printf("codec, 96 x 77 picture, median of %d batches of %d calls:\n", Batches, calls);
    for (const auto& c : cases) {
        Form1->Image1->Picture().Assign(c.picture);
        const std::uint8_t* slot = SectionBuffer + SlotOffset(1);
        // Both sides start from the same picture and then keep re-encoding
        // what they drew, as repeated Load BMP commands would.
        QImage image = c.picture.copy();
        std::uint8_t refSlot[SlotSize];
        const Pair storePair = Compare(
            calls, [] { StoreSlot(1, false); },
            [&] {
                ReferenceEncode(image, refSlot);
                ReferenceDraw(image, refSlot);
            });
        const Pair drawPair = Compare(
            calls, [] { DrawSlot(1); }, [&] { ReferenceDraw(image, refSlot); });
        const double store = storePair.own, refStore = storePair.ref;
        const double draw = drawPair.own, refDraw = drawPair.ref;
        // The two must have done the same work.
        allSame = allSame && std::memcmp(refSlot, slot, SlotSize) == 0 &&
                  image == Form1->Image1->Picture().Image();
        std::printf(" %s:\n", c.name);
        std::printf("  StoreSlot (encode + draw) through the surface  %8.1f us/call\n",
                    store / 1e3);
        std::printf("  scan-line reference, encode + draw           %8.1f us/call\n",
                    refStore / 1e3);
        std::printf("  DrawSlot through the surface                  %8.1f us/call\n", draw / 1e3);
        std::printf("  scan-line reference, draw                    %8.1f us/call\n",
                    refDraw / 1e3);
        std::printf("  RATIO codec-store[%s] %.2fx (target <= 3.00x)%s\n",
                    &c == &cases[0] ? "noise" : "smooth", store / refStore,
                    store / refStore <= 3.0 ? "" : "  MISSED");
        std::printf(
            "  ratio of DrawSlot alone %.2fx (one virtual call per pixel against a "
            "plain store)\n",
            draw / refDraw);
    }
    if (!allSame) {
        std::printf("  the reference and the codec disagree\n");
        return 1;
    }
    return 0;
}
