#include "Application.h"
#include "GuiTestSupport.h"
#include "SectionBuffer.h"

#include <QApplication>
#include <QRadioButton>

#include <cstring>
#include <stdexcept>

namespace {

QString Describe(QRgb c) {
    return QStringLiteral("rgb(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

bool AllWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                return false;
    return true;
}

TEST_F(MainWindowTest, StartUpState) {
    Form1->ShowFirstTime();
    QApplication::processEvents();
    EXPECT_EQ(Form1->windowTitle().toStdString(), "Velmoran 1.0");
    EXPECT_EQ(StandardCaption, "Velmoran 1.0");
    EXPECT_EQ(Application->Title().toStdString(), "Velmoran");
    for (TImage* image : {Form1->Image1, Form1->Image2, Form1->Image3}) {
        EXPECT_EQ(image->Picture().Width(), 96);
        EXPECT_EQ(image->Picture().Height(), 77);
        EXPECT_TRUE(AllWhite(image->Picture().Image()));
        EXPECT_EQ(image->Canvas().PenColor(), 0xFFFFFF);
    }
    for (TButton* b : {Form1->Button1, Form1->Button2, Form1->Button3})
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    for (TButton* b :
         {Form1->Button4, Form1->Button5, Form1->Button6, Form1->Button7, Form1->Button8,
          Form1->Button9, Form1->Button11, Form1->Button12, Form1->Button13, Form1->Button14})
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    EXPECT_EQ(Form1->RadioGroup1->ItemIndex(), 3);
    EXPECT_TRUE(Form1->RadioGroup1->Item(3)->isChecked());
    EXPECT_EQ(Form1->focusWidget(), Form1->Button4);

    const std::uint8_t header[12] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9, 0x00, 0x00, 0x01, 0, 0, 0};
    EXPECT_EQ(std::memcmp(SectionBuffer, header, 12), 0) << Hex(BufferCopy(), 0, 12);
    for (std::size_t i = 12; i < SectionSize; ++i)
        ASSERT_EQ(SectionBuffer[i], 0xFF) << "byte " << i;

    // Fixed size, no maximise, no scroll bars.
    EXPECT_EQ(Form1->size(), QSize(280, 300));
    EXPECT_EQ(Form1->minimumSize(), QSize(280, 300));
    EXPECT_EQ(Form1->maximumSize(), QSize(280, 300));
    const Qt::WindowFlags flags = Form1->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(Form1->windowIcon().isNull());
}

TEST_F(MainWindowTest, EveryControlAsLaidOut) {
    struct Row {
        const char* name;
        QWidget* widget;
        QString caption;
        QRect geometry;
    };
    const Row rows[] = {
        {"Button4", Form1->Button4, "Clear", {116, 8, 67, 25}},
        {"Button5", Form1->Button5, "Clear", {116, 104, 67, 25}},
        {"Button6", Form1->Button6, "Clear", {116, 200, 67, 25}},
        {"Button7", Form1->Button7, "Load BMP", {116, 36, 67, 25}},
        {"Button8", Form1->Button8, "Load BMP", {116, 132, 67, 25}},
        {"Button9", Form1->Button9, "Load BMP", {116, 228, 67, 25}},
        {"Button1", Form1->Button1, "Save BMP", {116, 62, 67, 25}},
        {"Button2", Form1->Button2, "Save BMP", {116, 158, 67, 25}},
        {"Button3", Form1->Button3, "Save BMP", {116, 254, 67, 25}},
        {"RadioGroup1", Form1->RadioGroup1, "", {201, 5, 73, 121}},
        {"Button11", Form1->Button11, "Download", {201, 135, 72, 25}},
        {"Button12", Form1->Button12, "Upload", {201, 161, 72, 25}},
        {"Button13", Form1->Button13, "Save section", {201, 228, 72, 25}},
        {"Button14", Form1->Button14, "Load section", {201, 201, 72, 25}},
    };
    // Tab order: each control is followed by the next row's.
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.widget->geometry(), r.geometry);
        if (auto* b = dynamic_cast<TButton*>(r.widget)) {
            EXPECT_EQ(b->text(), r.caption);
            EXPECT_FALSE(b->isDefault());
            EXPECT_FALSE(b->autoDefault());
            EXPECT_TRUE(b->toolTip().isEmpty());
            // The caption fits its button.
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), r.geometry.width() - 6);
        }
        if (i + 1 < std::size(rows)) {
            QWidget* next = r.widget->nextInFocusChain();
            while (next != nullptr && next->parentWidget() == Form1->RadioGroup1)
                next = next->nextInFocusChain();
            if (r.widget == Form1->RadioGroup1) {
                next = Form1->RadioGroup1->Item(5)->nextInFocusChain();
            }
            EXPECT_EQ(next, rows[i + 1].widget) << "after " << r.name;
        }
    }
    const QStringList items = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"};
    ASSERT_EQ(Form1->RadioGroup1->Count(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Form1->RadioGroup1->Item(i)->text(), items[i]);

    struct Graphic {
        const char* name;
        TGraphicControl* control;
        QRect bounds;
    };
    // In creation order, which is the drawing order.
    const Graphic graphics[] = {
        {"Shape4", Form1->Shape4, {-1, 284, 285, 25}},
        {"Shape3", Form1->Shape3, {0, 96, 193, 97}},
        {"Image1", Form1->Image1, {8, 8, 96, 77}},
        {"Image2", Form1->Image2, {8, 104, 96, 77}},
        {"Image3", Form1->Image3, {8, 200, 96, 77}},
        {"Label1", Form1->Label1, {2, 285, -1, 13}},
        {"Shape1", Form1->Shape1, {192, -1, 90, 194}},
        {"Shape2", Form1->Shape2, {192, 192, 91, 70}},
    };
    ASSERT_EQ(Form1->GraphicControls().size(), std::size(graphics));
    for (std::size_t i = 0; i < std::size(graphics); ++i) {
        const Graphic& g = graphics[i];
        SCOPED_TRACE(g.name);
        EXPECT_EQ(Form1->GraphicControls()[i].get(), g.control);
        QRect expected = g.bounds;
        if (expected.width() < 0)
            expected.setWidth(g.control->BoundsRect().width());
        EXPECT_EQ(g.control->BoundsRect(), expected);
    }
    EXPECT_EQ(Form1->Shape4->BrushColor(), 0x936300);
    EXPECT_EQ(Form1->Shape3->BrushColor(), 0x9D6A00);
    EXPECT_EQ(Form1->Shape1->BrushColor(), 0xFFFFFF);
    EXPECT_EQ(Form1->Shape2->BrushColor(), 0xFFFFFF);
    EXPECT_EQ(Form1->Label1->FontColor(), 0xFFFFFF);
    EXPECT_EQ(Form1->Label1->Font().pixelSize(), 11);
    EXPECT_FALSE(Form1->Label1->Caption().isEmpty());
    EXPECT_LE(Form1->Label1->BoundsRect().right(), 279);
}

TEST_F(MainWindowTest, DrawnFillsOutlinesAndStacking) {
    const QImage shot = Grab();
    ASSERT_EQ(shot.size(), QSize(280, 300));
    struct Point {
        const char* what;
        int x, y;
        QRgb expected;
    } points[] = {
        {"window background", 110, 90, qRgb(0, 128, 192)},
        {"background below the section panel", 230, 270, qRgb(0, 128, 192)},
        {"Shape3 fill", 4, 150, qRgb(0, 106, 157)},
        {"Shape3 left outline", 0, 150, qRgb(0, 0, 0)},
        {"Shape3 top outline", 50, 96, qRgb(0, 0, 0)},
        {"Shape3 bottom outline", 50, 192, qRgb(0, 0, 0)},
        {"Shape3 right outline under Shape1's", 192, 150, qRgb(0, 0, 0)},
        {"Image2 over Shape3", 8, 104, qRgb(255, 255, 255)},
        {"Image2 inside", 60, 150, qRgb(255, 255, 255)},
        {"Image1", 50, 40, qRgb(255, 255, 255)},
        {"Image3 corner", 103, 276, qRgb(255, 255, 255)},
        {"right of Image3", 105, 276, qRgb(0, 128, 192)},
        {"Shape4 top outline", 150, 284, qRgb(0, 0, 0)},
        {"Shape4 fill right of the label", 276, 292, qRgb(0, 99, 147)},
        {"Shape4 bottom row still fill", 276, 299, qRgb(0, 99, 147)},
        {"Shape4 left column is fill: its outline is outside", 0, 292, qRgb(0, 99, 147)},
        {"Shape1 inside", 196, 130, qRgb(255, 255, 255)},
        {"Shape1 left outline", 192, 50, qRgb(0, 0, 0)},
        {"Shape1 top row is inside: its outline is outside", 230, 0, qRgb(255, 255, 255)},
        {"Shape1 right column is inside", 279, 100, qRgb(255, 255, 255)},
        {"Shape1 bottom outline", 230, 192, qRgb(0, 0, 0)},
        {"Shape2 inside", 196, 240, qRgb(255, 255, 255)},
        {"Shape2 bottom outline", 230, 261, qRgb(0, 0, 0)},
        {"Shape2 right column is inside", 279, 240, qRgb(255, 255, 255)},
    };
    for (const Point& p : points) {
        const QRgb got = shot.pixel(p.x, p.y) | 0xFF000000;
        EXPECT_EQ(got, p.expected)
            << p.what << " at " << p.x << ',' << p.y << ": " << Describe(got).toStdString()
            << " instead of " << Describe(p.expected).toStdString();
    }
    // The label writes white text over the footer band.
    int white = 0;
    const QRect label = Form1->Label1->BoundsRect();
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = label.left(); x <= label.right(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF)
                ++white;
    EXPECT_GT(white, 20) << "no footer text drawn";
    // Buttons lie above the drawn controls: the middle of Button4 is not the
    // background colour.
    EXPECT_NE(shot.pixel(149, 20) | 0xFF000000, qRgb(0, 128, 192));
}

TEST_F(MainWindowTest, ClearBlanksOnlyItsSlot) {
    struct Case {
        int slot;
        TButton* TForm1::*clear;
        TButton* TForm1::*save;
        TImage* TForm1::*image;
    } cases[] = {{1, &TForm1::Button4, &TForm1::Button1, &TForm1::Image1},
                 {2, &TForm1::Button5, &TForm1::Button2, &TForm1::Image2},
                 {3, &TForm1::Button6, &TForm1::Button3, &TForm1::Image3}};
    for (const Case& c : cases) {
        SCOPED_TRACE("slot " + std::to_string(c.slot));
        // A valid slot with a picture drawn, its Save BMP enabled.
        for (std::size_t i = 0; i < SectionSize; ++i)
            SectionBuffer[i] = static_cast<std::uint8_t>(i * 7);
        for (int n = 1; n <= 3; ++n) {
            std::uint8_t* s = SectionBuffer + SlotOffset(n);
            s[0] = 0x60;
            s[1] = 0x4D;
            s[2] = 0x00;
            DrawSlot(n);
            Form1->SetSaveEnabled(n, true);
        }
        const auto before = BufferCopy();
        Click(Form1->*c.clear);
        const auto after = BufferCopy();
        const std::size_t from = SlotOffset(c.slot), to = from + SlotSize;
        for (std::size_t i = 0; i < SectionSize; ++i)
            ASSERT_EQ(after[i], (i >= from && i < to) ? 0xFF : before[i]) << "byte " << i;
        EXPECT_TRUE(AllWhite((Form1->*c.image)->Picture().Image()));
        EXPECT_FALSE((Form1->*c.save)->isEnabled());
        for (const Case& other : cases)
            if (other.slot != c.slot) {
                EXPECT_TRUE((Form1->*other.save)->isEnabled()) << "slot " << other.slot;
            }

        // Clear again on the now blank slot: nothing changes.
        const auto blank = BufferCopy();
        Click(Form1->*c.clear);
        EXPECT_EQ(BufferCopy(), blank);
        EXPECT_FALSE((Form1->*c.save)->isEnabled());
        EXPECT_TRUE(AllWhite((Form1->*c.image)->Picture().Image()));
    }
}

TEST_F(MainWindowTest, ErrorBoxAppendsAFullStopAfterCharactersAboveIt) {
    struct Case {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Ends in a full stop.", "Ends in a full stop."},
        {"Ends in a space ", "Ends in a space "},
        {"Ends in a bang!", "Ends in a bang!"},
        {"Unknown picture file extension (.png)", "Unknown picture file extension (.png)"},
        {"Ends in a comma,", "Ends in a comma,"},
        {"Ends in a hyphen-", "Ends in a hyphen-"},
        {"Ends in a slash/", "Ends in a slash/."},
        {"File not found", "File not found."},
        {"I/O error 5", "I/O error 5."},
        {"", ""},
    };
    auto* button = new TButton(*Form1, QStringLiteral("Throw"), 0, 0, 10, 10);
    for (const Case& c : cases) {
        ModalDriver driver;
        const std::string message = c.message;
        button->SetOnClick([message] { throw std::runtime_error(message); });
        Click(button);
        ASSERT_EQ(driver.boxes.size(), 1u) << "message '" << c.message << "'";
        EXPECT_EQ(driver.boxes[0].text.toStdString(), c.shown);
        EXPECT_EQ(driver.boxes[0].caption.toStdString(), "Velmoran");
        EXPECT_EQ(driver.boxes[0].icon, QMessageBox::Critical);
    }
    // The window is still there and takes the next click.
    ModalDriver driver;
    Click(Form1->Button4);
    EXPECT_TRUE(driver.boxes.empty());
}

TEST_F(MainWindowTest, PlainMessageBoxHasNoIconAndKeepsItsText) {
    ModalDriver driver;
    auto* button = new TButton(*Form1, QStringLiteral("Box"), 0, 0, 10, 10);
    button->SetOnClick([] {
        Application->MessageBox(QStringLiteral("Unable to write NVM entry"),
                                QStringLiteral("Error"));
    });
    Click(button);
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_EQ(driver.boxes[0].text.toStdString(), "Unable to write NVM entry");
    EXPECT_EQ(driver.boxes[0].caption.toStdString(), "Error");
    EXPECT_EQ(driver.boxes[0].icon, QMessageBox::NoIcon);
}

}  // namespace
