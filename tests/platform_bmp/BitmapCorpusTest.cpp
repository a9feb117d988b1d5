// Reads every image of the BMP conformance suite: good ones must match their reference,
// questionable ones are read and matched or refused as listed, bad ones refused as listed.
#include "BitmapFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

const QString kSuite = QStringLiteral(VELMORAN_BMPSUITE_DIR);
const std::string kNotValid = "Bitmap image is not valid";
const std::string kReadError = "Stream read error";

// Most a colour channel may differ from the reference (rounding of channels wider than 8 bits).
constexpr int kTolerance = 1;

struct Listed {
    const char* file;
    const char* reason;
};

// Questionable images this reader refuses, all with "Bitmap image is not valid".
const Listed kRefusedQuestionable[] = {
    {"q/pal1huffmsb.bmp", "OS/2 Huffman 1D compression is not supported"},
    {"q/rgb24jpeg.bmp", "a JPEG stream inside a bitmap (BI_JPEG) is for printers, not read"},
    {"q/rgb24png.bmp", "a PNG stream inside a bitmap (BI_PNG) is for printers, not read"},
    {"q/rgba64.bmp", "64 bits per pixel (linear-light 16-bit channels) is not supported"},
};

// What each bad image gives: "" when it is read (the reason says why it can be).
struct BadCase {
    const char* file;
    const std::string& outcome;
    const char* reason;
};
const std::string kRead;
const BadCase kBad[] = {
    {"b/badbitcount.bmp", kNotValid, "bit count 30000"},
    {"b/badbitssize.bmp", kRead, "the image size field is not needed for uncompressed rows"},
    {"b/baddens1.bmp", kRead, "the pixel density is not used"},
    {"b/baddens2.bmp", kRead, "the pixel density is not used"},
    {"b/badfilesize.bmp", kRead, "the file size field is not used"},
    {"b/badheadersize.bmp", kNotValid, "no header is 66 bytes long"},
    {"b/badpalettesize.bmp", kNotValid, "the palette would run past the pixel data"},
    {"b/badplanes.bmp", kNotValid, "planes must be 1"},
    {"b/badrle.bmp", kNotValid, "a run goes past the image"},
    {"b/badrlebis.bmp", kNotValid, "a run goes past the image"},
    {"b/badrleter.bmp", kNotValid, "a run goes past the image"},
    {"b/badrle4.bmp", kNotValid, "a run goes past the image"},
    {"b/badrle4bis.bmp", kNotValid, "a run goes past the image"},
    {"b/badrle4ter.bmp", kNotValid, "a run goes past the image"},
    {"b/badwidth.bmp", kNotValid, "negative width"},
    {"b/pal8badindex.bmp", kRead, "indices beyond the palette are drawn black"},
    {"b/reallybig.bmp", kNotValid, "3000000 x 2000000 pixels is over the pixel limit"},
    {"b/rgb16-880.bmp", kRead, "a zero blue mask gives blue 0, as its reference shows"},
    {"b/rletopdown.bmp", kNotValid, "compressed bitmaps cannot be top-down"},
    {"b/shortfile.bmp", kReadError, "the pixel data is cut short"},
};

// References other than the one reference.tsv names.
const struct {
    const char* file;
    const char* reference;
    const char* reason;
} kOtherReference[] = {
    {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png",
     "pictures are held pixel for pixel, unstretched"},
    {"q/pal4rletrns.bmp", "pal4rletrns-0.png", "pixels an RLE stream skips keep palette entry 0"},
    {"q/pal8rletrns.bmp", "pal8rletrns-0.png", "pixels an RLE stream skips keep palette entry 0"},
    {"q/pal4rlecut.bmp", "pal4rlecut-0.png", "pixels an RLE stream skips keep palette entry 0"},
    {"q/pal8rlecut.bmp", "pal8rlecut-0.png", "pixels an RLE stream skips keep palette entry 0"},
};

// reference.tsv: image file -> reference file name ("" for none).
QMap<QString, QString> References() {
    QMap<QString, QString> map;
    QFile tsv(kSuite + "/reference.tsv");
    if (!tsv.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ADD_FAILURE() << "cannot read " << tsv.fileName().toStdString();
        return map;
    }
    tsv.readLine();  // column titles
    while (!tsv.atEnd()) {
        const QStringList fields = QString::fromUtf8(tsv.readLine()).trimmed().split('\t');
        if (!fields.value(0).isEmpty()) {
            map.insert(fields.value(0), fields.value(1));
        }
    }
    for (const auto& other : kOtherReference) {
        map.insert(other.file, other.reference);
    }
    return map;
}

QStringList Images(const QString& folder) {
    QStringList names;
    for (const QString& name :
         QDir(kSuite + "/" + folder).entryList({"*.bmp"}, QDir::Files, QDir::Name)) {
        names << folder + "/" + name;
    }
    return names;
}

// Reads the image; "" in error when it loads.
QImage Read(const QString& file, std::string& error) {
    error.clear();
    try {
        return ReadBitmapFile(kSuite + "/" + file);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return {};
}

// Reads from memory too and checks both readers agree.
QImage ReadBoth(const QString& file, std::string& error) {
    QImage image = Read(file, error);
    QFile f(kSuite + "/" + file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    std::string memoryError;
    QImage fromMemory;
    try {
        fromMemory = DecodeBitmap(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                  static_cast<std::size_t>(bytes.size()));
    } catch (const std::exception& e) {
        memoryError = e.what();
    }
    EXPECT_EQ(error, memoryError) << "file and memory readers disagree";
    EXPECT_TRUE(image == fromMemory) << "file and memory readers give different pixels";
    return image;
}

// Compares the colour channels with the reference; reports the worst pixel. A pixel the
// reference shows fully transparent has no colour to compare (the suite stores black there,
// the bitmaps keep the colour they were drawn with).
void ExpectMatches(const QImage& image, const QString& referenceName) {
    ASSERT_FALSE(referenceName.isEmpty()) << "no reference";
    const QImage reference(kSuite + "/reference/" + referenceName);
    ASSERT_FALSE(reference.isNull()) << "cannot read reference " << referenceName.toStdString();
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    ASSERT_EQ(image.size(), reference.size());
    const QImage ref = reference.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    int worstX = 0;
    int worstY = 0;
    for (int y = 0; y < ref.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(ref.constScanLine(y));
        for (int x = 0; x < ref.width(); ++x) {
            if (qAlpha(b[x]) == 0) {
                continue;
            }
            const int d =
                std::max({std::abs(qRed(a[x]) - qRed(b[x])), std::abs(qGreen(a[x]) - qGreen(b[x])),
                          std::abs(qBlue(a[x]) - qBlue(b[x]))});
            if (d > worst) {
                worst = d;
                worstX = x;
                worstY = y;
            }
        }
    }
    EXPECT_LE(worst, kTolerance) << "pixel (" << worstX << ", " << worstY << ") is " << std::hex
                                 << image.pixel(worstX, worstY) << ", reference "
                                 << ref.pixel(worstX, worstY);
}

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(kSuite + "/reference.tsv").isFile())
            << "the BMP conformance suite is missing: expected it at " << kSuite.toStdString();
        references = References();
    }
    QMap<QString, QString> references;
};

TEST_F(BmpSuite, GoodImagesMatchTheirReferences) {
    const QStringList images = Images("g");
    EXPECT_FALSE(images.isEmpty());
    for (const QString& file : images) {
        SCOPED_TRACE(file.toStdString());
        std::string error;
        const QImage image = ReadBoth(file, error);
        EXPECT_EQ(error, "");
        if (error.empty()) {
            ExpectMatches(image, references.value(file));
        }
    }
}

TEST_F(BmpSuite, QuestionableImagesMatchOrAreRefusedAsListed) {
    const QStringList images = Images("q");
    EXPECT_FALSE(images.isEmpty());
    for (const QString& file : images) {
        SCOPED_TRACE(file.toStdString());
        const bool refused =
            std::any_of(std::begin(kRefusedQuestionable), std::end(kRefusedQuestionable),
                        [&](const Listed& l) { return file == l.file; });
        std::string error;
        const QImage image = ReadBoth(file, error);
        if (refused) {
            EXPECT_EQ(error, kNotValid);
        } else {
            EXPECT_EQ(error, "");
            if (error.empty()) {
                ExpectMatches(image, references.value(file));
            }
        }
    }
    for (const Listed& l : kRefusedQuestionable) {
        EXPECT_TRUE(images.contains(l.file)) << l.file << " is listed but not in the suite";
    }
}

TEST_F(BmpSuite, BadImagesAreRefusedOrReadAsListed) {
    const QStringList images = Images("b");
    EXPECT_FALSE(images.isEmpty());
    for (const QString& file : images) {
        SCOPED_TRACE(file.toStdString());
        const BadCase* listed = nullptr;
        for (const BadCase& c : kBad) {
            if (file == c.file) {
                listed = &c;
            }
        }
        if (listed == nullptr) {
            ADD_FAILURE() << "not listed in kBad";
            continue;
        }
        std::string error;
        const QImage image = ReadBoth(file, error);
        EXPECT_EQ(error, listed->outcome) << listed->reason;
        const QString reference = references.value(file);
        if (error.empty() && !reference.isEmpty()) {
            ExpectMatches(image, reference);
        }
    }
    for (const BadCase& c : kBad) {
        EXPECT_TRUE(images.contains(c.file)) << c.file << " is listed but not in the suite";
    }
}

}  // namespace
