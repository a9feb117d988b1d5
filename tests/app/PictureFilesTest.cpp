#include "BitmapFile.h"
#include "FakeGBP.h"
#include "GuiTestSupport.h"
#include "SectionBuffer.h"

#include <QFile>
#include <QFileDialog>

#include <sys/stat.h>
#include <cstring>

namespace {

const TColor Shades[4] = {0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF};

// A picture whose pixel (x, y) has level (x + 2y) mod 4, drawn in the
// palette shades, plus an off-palette colour outside the top-left 96 x 77.
QImage ShadesImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           (x < 96 && y < 77) ? RgbFromColorValue(Shades[(x + 2 * y) % 4])
                                              : qRgb(10, 200, 30));
    return image;
}

int LevelAt(int slot, int x, int y) {
    return (SectionBuffer[SlotOffset(slot) + 3 + y * 24 + x / 4] >> (6 - 2 * (x % 4))) & 3;
}

class PictureFiles : public MainWindowTest {
protected:
    QString Write(const QString& name, const QImage& image) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(EncodeBitmap24(image));
        return path;
    }
    QString WriteBytes(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    void Load(int slot, const QString& path, ModalDriver& driver) {
        driver.Choose(path);
        Click(slot == 1 ? Form1->Button7 : slot == 2 ? Form1->Button8 : Form1->Button9);
    }
    void Save(int slot, const QString& path, ModalDriver& driver) {
        driver.Choose(path);
        Click(slot == 1 ? Form1->Button1 : slot == 2 ? Form1->Button2 : Form1->Button3);
    }
};

TEST_F(PictureFiles, PaletteBitmapLoadsUnchangedAndFillsTheSlotExactly) {
    ModalDriver driver;
    const QImage image = ShadesImage(96, 77);
    Load(2, Write("shades.bmp", image), driver);
    ASSERT_TRUE(driver.boxes.empty()) << driver.boxes[0].text.toStdString();
    EXPECT_EQ(Form1->Image2->Picture().Image(), image);
    const std::uint8_t* slot = SectionBuffer + SlotOffset(2);
    EXPECT_EQ(slot[0], 0x60);
    EXPECT_EQ(slot[1], 0x4D);
    EXPECT_EQ(slot[2], 0x00);
    for (int y = 0; y < 77; ++y)
        for (int b = 0; b < 24; ++b) {
            int expected = 0;
            for (int k = 0; k < 4; ++k)
                expected = expected * 4 + (4 * b + k + 2 * y) % 4;
            ASSERT_EQ(slot[3 + y * 24 + b], expected) << "row " << y << " byte " << b;
        }
    EXPECT_TRUE(Form1->Button2->isEnabled());
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_FALSE(Form1->Button3->isEnabled());
    for (int n : {1, 3})
        EXPECT_FALSE(SlotIsValid(n));
}

TEST_F(PictureFiles, LargeBitmapKeepsItsSizeAndOnlyItsCornerIsEncoded) {
    ModalDriver driver;
    QImage image = ShadesImage(200, 150);
    image.setPixel(0, 0, qRgb(0x3F, 0x3F, 0x3F));  // not a palette shade: redrawn black
    Load(1, Write("large.bmp", image), driver);
    ASSERT_TRUE(driver.boxes.empty());
    const QImage& shown = Form1->Image1->Picture().Image();
    ASSERT_EQ(shown.size(), QSize(200, 150));
    EXPECT_EQ(shown.pixel(0, 0) | 0xFF000000, qRgb(0, 0, 0));
    EXPECT_EQ(LevelAt(1, 0, 0), 0);
    EXPECT_EQ(LevelAt(1, 95, 76), (95 + 152) % 4);
    EXPECT_EQ(shown.pixel(96, 0), qRgb(10, 200, 30));
    EXPECT_EQ(shown.pixel(199, 149), qRgb(10, 200, 30));

    const QString saved = dir.filePath("saved-large.bmp");
    Save(1, saved, driver);
    ASSERT_TRUE(driver.boxes.empty());
    const QImage back = ReadBitmapFile(saved);
    EXPECT_EQ(back.size(), QSize(200, 150));
    EXPECT_EQ(back, shown);
}

TEST_F(PictureFiles, SmallBitmapEncodesBlackOutsideIt) {
    ModalDriver driver;
    QImage white(50, 50, QImage::Format_RGB32);
    white.fill(Qt::white);
    Load(3, Write("small.bmp", white), driver);
    ASSERT_TRUE(driver.boxes.empty());
    EXPECT_EQ(Form1->Image3->Picture().Image().size(), QSize(50, 50));
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 96; ++x)
            ASSERT_EQ(LevelAt(3, x, y), (x < 50 && y < 50) ? 3 : 0) << x << ',' << y;
    // Where the picture is smaller, the window's background shows through.
    const QImage shot = Grab();
    EXPECT_EQ(shot.pixel(8 + 49, 200 + 49) | 0xFF000000, qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(8 + 60, 200 + 60) | 0xFF000000, qRgb(0, 128, 192));
}

TEST_F(PictureFiles, RefusedFilesChangeNothing) {
    struct Case {
        const char* name;
        QByteArray content;
        std::string shown;  // <path> stands for the file's full name
    } cases[] = {
        {"photo.png", EncodeBitmap24(ShadesImage(96, 77)), "Unknown picture file extension (.png)"},
        {"icon.ico", EncodeBitmap24(ShadesImage(96, 77)), "Unknown picture file extension (.ico)"},
        {"meta.WMF", EncodeBitmap24(ShadesImage(96, 77)), "Unknown picture file extension (.WMF)"},
        // A name typed without an extension is completed with ".bmp".
        {"noextension", EncodeBitmap24(ShadesImage(96, 77)), "Cannot open file <path>.bmp."},
        {"text.bmp", QByteArray("This is not a bitmap at all."), "Bitmap image is not valid."},
        {"empty.bmp", QByteArray(), "Bitmap image is not valid."},
        {"cut.bmp", EncodeBitmap24(ShadesImage(96, 77)).left(600), "Stream read error."},
        {"missing.bmp", QByteArray(), "Cannot open file <path>."},
    };
    ModalDriver driver;
    Load(2, Write("before.bmp", ShadesImage(96, 77)), driver);
    ASSERT_TRUE(driver.boxes.empty());
    Form1->SetSaveEnabled(3, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = std::string(c.name) == "missing.bmp" ? dir.filePath(c.name)
                                                                  : WriteBytes(c.name, c.content);
        const auto before = BufferCopy();
        const QImage picture = Form1->Image3->Picture().Image();
        driver.boxes.clear();
        Load(3, path, driver);
        ASSERT_EQ(driver.boxes.size(), 1u);
        std::string expected = c.shown;
        if (const auto at = expected.find("<path>"); at != std::string::npos)
            expected.replace(at, 6, path.toStdString());
        EXPECT_EQ(driver.boxes[0].text.toStdString(), expected);
        EXPECT_EQ(driver.boxes[0].caption.toStdString(), "Velmoran");
        EXPECT_EQ(BufferCopy(), before);
        EXPECT_EQ(Form1->Image3->Picture().Image(), picture);
        EXPECT_FALSE(Form1->Button3->isEnabled());
    }
}

TEST_F(PictureFiles, CapitalExtensionAndReadOnlyFileLoad) {
    ModalDriver driver;
    const QString upper = Write("UPPER.BMP", ShadesImage(96, 77));
    Load(1, upper, driver);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_TRUE(SlotIsValid(1));

    const QString readOnly = Write("readonly.bmp", ShadesImage(96, 77));
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    Load(2, readOnly, driver);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_TRUE(SlotIsValid(2));
}

TEST_F(PictureFiles, CancelChangesNothing) {
    ModalDriver driver;
    const auto before = BufferCopy();
    for (TButton* b : {Form1->Button7, Form1->Button8, Form1->Button9}) {
        driver.Cancel();
        Click(b);
    }
    Form1->SetSaveEnabled(2, true);
    driver.Cancel();
    Click(Form1->Button2);
    EXPECT_EQ(driver.dialogs.size(), 4u);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_EQ(BufferCopy(), before);
    EXPECT_FALSE(QFile::exists(dir.filePath("never.bmp")));
}

TEST_F(PictureFiles, EachSaveWritesItsOwnSlotsPicture) {
    ModalDriver driver;
    QImage images[3] = {ShadesImage(96, 77), ShadesImage(96, 77), ShadesImage(96, 77)};
    images[1].fill(RgbFromColorValue(0x808080));
    images[2].fill(RgbFromColorValue(0xC0C0C0));
    for (int n = 1; n <= 3; ++n)
        Load(n, Write(QStringLiteral("in%1.bmp").arg(n), images[n - 1]), driver);
    for (int n = 1; n <= 3; ++n) {
        const QString out = dir.filePath(QStringLiteral("out%1.bmp").arg(n));
        Save(n, out, driver);
        EXPECT_EQ(ReadBitmapFile(out), images[n - 1]) << "slot " << n;
    }
    // Saving writes the picture, not the buffer: a changed buffer does not show.
    std::memset(SectionBuffer + SlotOffset(1) + 3, 0x00, SlotSize - 3);
    const QString again = dir.filePath("again.bmp");
    Save(1, again, driver);
    EXPECT_EQ(ReadBitmapFile(again), images[0]);
    EXPECT_TRUE(driver.boxes.empty());
}

TEST_F(PictureFiles, SaveReplacesWithoutAskingAndReportsCreateFailures) {
    ModalDriver driver;
    Load(1, Write("in.bmp", ShadesImage(96, 77)), driver);
    const QString existing = WriteBytes("existing.bmp", QByteArray("old content"));
    Save(1, existing, driver);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_EQ(ReadBitmapFile(existing), ShadesImage(96, 77));

    const QString missingFolder = dir.filePath("no/such/folder/out.bmp");
    const QString readOnly = WriteBytes("readonly.bmp", QByteArray("keep me"));
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    for (const QString& target : {missingFolder, readOnly}) {
        driver.boxes.clear();
        Save(1, target, driver);
        ASSERT_EQ(driver.boxes.size(), 1u) << target.toStdString();
        EXPECT_EQ(driver.boxes[0].text, QStringLiteral("Cannot create file %1.").arg(target));
    }
    QFile kept(readOnly);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
}

TEST_F(PictureFiles, DialogsAsSetUpAndRememberingTheirLastFile) {
    ModalDriver driver;
    const QString first = Write("first.bmp", ShadesImage(96, 77));
    Load(1, first, driver);
    Save(1, dir.filePath("typed-without-extension"), driver);
    EXPECT_TRUE(QFile::exists(dir.filePath("typed-without-extension.bmp")));

    QStringList selectedAtOpen;
    driver.onDialog = [&](QWidget* w) {
        selectedAtOpen << static_cast<QFileDialog*>(w)->selectedFiles().value(0);
    };
    driver.Cancel();
    Click(Form1->Button8);
    driver.Cancel();
    Click(Form1->Button1);
    ASSERT_EQ(driver.dialogs.size(), 4u) << driver.dialogs.back().title.toStdString();
    EXPECT_EQ(selectedAtOpen.value(0), first);
    EXPECT_EQ(selectedAtOpen.value(1), dir.filePath("typed-without-extension.bmp"));

    const ModalDriver::Dialog& open = driver.dialogs[0];
    EXPECT_EQ(open.title.toStdString(), "Load picture");
    EXPECT_TRUE(open.hasPreview);
    EXPECT_EQ(open.defaultSuffix.toStdString(), "bmp");
    EXPECT_EQ(open.nameFilters.size(), 2);
    EXPECT_EQ(open.selectedNameFilter.toStdString(), "All (*.bmp)");
    EXPECT_EQ(Form1->openpic->Filter().toStdString(), "All (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp");
    const ModalDriver::Dialog& save = driver.dialogs[1];
    EXPECT_EQ(save.title.toStdString(), "Save file");
    EXPECT_TRUE(save.hasPreview);
    EXPECT_FALSE(save.confirmOverwrite);
    EXPECT_EQ(save.defaultSuffix.toStdString(), "bmp");
    EXPECT_EQ(Form1->savepicdlg->Filter().toStdString(), "Bitmaps (*.bmp)|*.bmp");
}

TEST_F(PictureFiles, SaveBmpEnabledStateFollowsItsEvents) {
    ModalDriver driver;
    const QString bmp = Write("pic.bmp", ShadesImage(96, 77));
    struct Step {
        const char* event;
        std::function<void()> run;
        bool enabled[3];
    } steps[] = {
        {"start-up", [] {}, {false, false, false}},
        {"Load BMP into slot 2", [&] { Load(2, bmp, driver); }, {false, true, false}},
        {"Clear slot 2", [&] { Click(Form1->Button5); }, {false, false, false}},
        {"Load BMP into slot 3", [&] { Load(3, bmp, driver); }, {false, false, true}},
        {"download of an entry whose slots are all invalid",
         [&] {
             FakeGBP::script.readBytes.assign(20, 0);
             Click(Form1->Button11);
         },
         {true, true, true}},
        {"Clear slot 1 (blank after the download)",
         [&] { Click(Form1->Button4); },
         {false, true, true}},
        {"failed Load BMP",
         [&] { Load(1, dir.filePath("missing.bmp"), driver); },
         {false, true, true}},
        {"failed download (open refused)",
         [&] {
             FakeGBP::script.initResult = 0;
             Click(Form1->Button11);
         },
         {false, true, true}},
        {"upload",
         [&] {
             FakeGBP::script.initResult = 1;
             Click(Form1->Button12);
         },
         {false, true, true}},
    };
    for (const Step& s : steps) {
        s.run();
        EXPECT_EQ(Form1->Button1->isEnabled(), s.enabled[0]) << "after " << s.event;
        EXPECT_EQ(Form1->Button2->isEnabled(), s.enabled[1]) << "after " << s.event;
        EXPECT_EQ(Form1->Button3->isEnabled(), s.enabled[2]) << "after " << s.event;
    }
}

}  // namespace
