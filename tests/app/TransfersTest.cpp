#include "FakeGBP.h"
#include "GuiTestSupport.h"
#include "SectionBuffer.h"

#include <QRadioButton>

#include <cstring>
#include <random>

namespace {

const std::string Init = "Initializing GBP mode ...";
const std::string Reading = "Reading NVM entry ...";
const std::string Erasing = "Erasing NVM entry ...";
const std::string Writing = "Writing NVM entry ...";
const std::string Closing = "Closing GBP mode ...";

// A phone entry: its own header, and each slot valid with seeded pixel bytes
// or left with other markers.
std::vector<std::uint8_t> PhoneEntry(bool slot1, bool slot2, bool slot3, unsigned seed = 7) {
    std::vector<std::uint8_t> bytes(SectionSize);
    std::mt19937 rng(seed);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    for (std::size_t i = 0; i < 12; ++i)
        bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
    const bool valid[3] = {slot1, slot2, slot3};
    for (int n = 1; n <= 3; ++n) {
        std::uint8_t* s = bytes.data() + SlotOffset(n);
        s[0] = valid[n - 1] ? 0x60 : 0x61;
        s[1] = 0x4D;
        s[2] = 0x00;
    }
    return bytes;
}

// Every pixel of the picture shows the slot's level in the palette shades.
::testing::AssertionResult ShowsSlot(int n) {
    const QImage& image = Form1->SlotImage(n)->Picture().Image();
    const std::uint8_t* pixels = SectionBuffer + SlotOffset(n) + 3;
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 96; ++x) {
            const int level = (pixels[y * 24 + x / 4] >> (6 - 2 * (x % 4))) & 3;
            const QRgb expected = RgbFromColorValue(SlotPalette[level]);
            if ((image.pixel(x, y) | 0xFF000000) != expected)
                return ::testing::AssertionFailure() << "slot " << n << " pixel " << x << ',' << y;
        }
    return ::testing::AssertionSuccess();
}

bool White(int n) {
    const QImage& image = Form1->SlotImage(n)->Picture().Image();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                return false;
    return true;
}

class Transfers : public MainWindowTest {
protected:
    void ExpectCaptions(const std::vector<std::string>& captions) {
        ASSERT_EQ(FakeGBP::calls.size(), captions.size()) << FakeGBP::CallNames();
        for (std::size_t i = 0; i < captions.size(); ++i)
            EXPECT_EQ(FakeGBP::calls[i].caption, captions[i])
                << "during " << FakeGBP::calls[i].name;
    }
};

TEST_F(Transfers, FailedOpenCallsNothingElseAndChangesNothing) {
    struct Case {
        const char* command;
        std::int32_t result;
    } cases[] = {{"Download", 0}, {"Download", 2}, {"Download", -1},
                 {"Upload", 0},   {"Upload", 2},   {"Upload", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " with InitGBPMode returning " +
                     std::to_string(c.result));
        FakeGBP::Reset();
        FakeGBP::script.initResult = c.result;
        FakeGBP::script.readBytes = PhoneEntry(true, true, true);
        std::memset(SectionBuffer + 100, 0x5A, 50);
        Form1->SetSaveEnabled(2, true);
        const auto before = BufferCopy();
        ModalDriver driver;
        Click(std::string(c.command) == "Download" ? Form1->Button11 : Form1->Button12);
        EXPECT_EQ(FakeGBP::CallNames(), "InitGBPMode");
        ASSERT_EQ(driver.boxes.size(), 1u);
        EXPECT_EQ(driver.boxes[0].text.toStdString(), "Unable to initialize GBP mode");
        EXPECT_EQ(driver.boxes[0].caption.toStdString(), "Error");
        EXPECT_EQ(driver.boxes[0].icon, QMessageBox::NoIcon);
        EXPECT_EQ(driver.boxes[0].formCaption.toStdString(), Init);
        EXPECT_EQ(BufferCopy(), before);
        EXPECT_FALSE(Form1->Button1->isEnabled());
        EXPECT_TRUE(Form1->Button2->isEnabled());
        EXPECT_FALSE(Form1->Button3->isEnabled());
        EXPECT_EQ(Form1->windowTitle().toStdString(), "Velmoran 1.0");
    }
}

TEST_F(Transfers, DownloadTakesWhatTheLibraryWroteAndRepairsIt) {
    const auto whole = PhoneEntry(true, true, true);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> delivered;
        bool valid[3];
    } cases[] = {
        {"nothing written", {}, {false, false, false}},
        {"only slot 2 valid", PhoneEntry(false, true, false), {false, true, false}},
        {"a whole valid entry", PhoneEntry(true, true, true), {true, true, true}},
        {"cut short in slot 2's pixels",
         std::vector<std::uint8_t>(whole.begin(), whole.begin() + 2500),
         {true, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeGBP::Reset();
        FakeGBP::script.readBytes = c.delivered;
        FakeGBP::script.readResult = 0;  // never examined
        ModalDriver driver;
        Click(Form1->Button11);
        EXPECT_TRUE(driver.boxes.empty());
        EXPECT_EQ(FakeGBP::CallNames(), "InitGBPMode,ReadNVMFile,EndGBPMode");
        ExpectCaptions({Init, Reading, Closing});
        EXPECT_EQ(FakeGBP::calls[0].port, 4);
        EXPECT_EQ(FakeGBP::calls[1].first, 16);
        EXPECT_EQ(FakeGBP::calls[1].second, 4);
        EXPECT_EQ(FakeGBP::calls[1].fourth, 0);

        std::vector<std::uint8_t> expected(SectionSize, 0);
        std::copy(c.delivered.begin(), c.delivered.end(), expected.begin());
        for (int n = 1; n <= 3; ++n)
            if (!c.valid[n - 1])
                std::fill_n(expected.begin() + static_cast<long>(SlotOffset(n)), SlotSize, 0xFF);
        const auto got = BufferCopy();
        for (std::size_t i = 0; i < SectionSize; ++i)
            ASSERT_EQ(got[i], expected[i]) << "byte " << i << ": " << Hex(got, i, 8);
        for (int n = 1; n <= 3; ++n) {
            EXPECT_EQ(SlotIsValid(n), c.valid[n - 1]) << "slot " << n;
            if (c.valid[n - 1]) {
                EXPECT_TRUE(ShowsSlot(n));
            } else {
                EXPECT_TRUE(White(n)) << "slot " << n;
            }
        }
        for (TButton* b : {Form1->Button1, Form1->Button2, Form1->Button3})
            EXPECT_TRUE(b->isEnabled());
        EXPECT_EQ(Form1->windowTitle().toStdString(), "Velmoran 1.0");
    }
}

TEST_F(Transfers, UploadFailuresAreShownBeforeClosing) {
    struct Case {
        const char* name;
        std::int32_t clear, write;
        std::string calls;
        std::vector<std::string> captions;
        const char* box;
        std::string captionDuringBox, callsBeforeBox;
    } cases[] = {
        {"erase refused",
         0,
         1,
         "InitGBPMode,ClearNVMFile,EndGBPMode",
         {Init, Erasing, Closing},
         "Cannot clear old NVM entry",
         Erasing,
         "InitGBPMode,ClearNVMFile"},
        {"erase returns 2",
         2,
         1,
         "InitGBPMode,ClearNVMFile,EndGBPMode",
         {Init, Erasing, Closing},
         "Cannot clear old NVM entry",
         Erasing,
         "InitGBPMode,ClearNVMFile"},
        {"write refused",
         1,
         0,
         "InitGBPMode,ClearNVMFile,WriteNVMFile,EndGBPMode",
         {Init, Erasing, Writing, Closing},
         "Unable to write NVM entry",
         Writing,
         "InitGBPMode,ClearNVMFile,WriteNVMFile"},
        {"write returns -1",
         1,
         -1,
         "InitGBPMode,ClearNVMFile,WriteNVMFile,EndGBPMode",
         {Init, Erasing, Writing, Closing},
         "Unable to write NVM entry",
         Writing,
         "InitGBPMode,ClearNVMFile,WriteNVMFile"},
        {"success",
         1,
         1,
         "InitGBPMode,ClearNVMFile,WriteNVMFile,EndGBPMode",
         {Init, Erasing, Writing, Closing},
         nullptr,
         "",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeGBP::Reset();
        FakeGBP::script.clearResult = c.clear;
        FakeGBP::script.writeResult = c.write;
        Form1->SetSaveEnabled(1, true);
        const auto before = BufferCopy();
        ModalDriver driver;
        Click(Form1->Button12);
        EXPECT_EQ(FakeGBP::CallNames(), c.calls);
        ExpectCaptions(c.captions);
        if (c.box == nullptr) {
            EXPECT_TRUE(driver.boxes.empty());
        } else {
            ASSERT_EQ(driver.boxes.size(), 1u);
            EXPECT_EQ(driver.boxes[0].text.toStdString(), c.box);
            EXPECT_EQ(driver.boxes[0].caption.toStdString(), "Error");
            EXPECT_EQ(driver.boxes[0].icon, QMessageBox::NoIcon);
            EXPECT_EQ(driver.boxes[0].formCaption.toStdString(), c.captionDuringBox);
            EXPECT_EQ(driver.boxes[0].callsSoFar, c.callsBeforeBox);
        }
        EXPECT_EQ(FakeGBP::calls[1].first, 16);
        EXPECT_EQ(FakeGBP::calls[1].second, 4);
        EXPECT_EQ(BufferCopy(), before);
        EXPECT_TRUE(Form1->Button1->isEnabled());
        EXPECT_FALSE(Form1->Button2->isEnabled());
        EXPECT_EQ(Form1->windowTitle().toStdString(), "Velmoran 1.0");
    }
}

TEST_F(Transfers, UploadRightAfterStartUpWritesTheStartUpEntry) {
    Click(Form1->Button12);
    ASSERT_EQ(FakeGBP::CallNames(), "InitGBPMode,ClearNVMFile,WriteNVMFile,EndGBPMode");
    const FakeGBP::Call& write = FakeGBP::calls[2];
    EXPECT_EQ(write.fourth, 5565);
    ASSERT_EQ(write.data.size(), SectionSize);
    EXPECT_EQ(Hex(write.data, 0, 12), "24 88 8E AD 00 E9 00 00 01 00 00 00 ");
    for (std::size_t i = 12; i < SectionSize; ++i)
        ASSERT_EQ(write.data[i], 0xFF) << "byte " << i;
}

TEST_F(Transfers, DownloadThenUploadWritesBackThePhonesHeader) {
    const auto entry = PhoneEntry(true, false, true);
    FakeGBP::script.readBytes = entry;
    Click(Form1->Button11);
    const auto downloaded = BufferCopy();
    EXPECT_EQ(Hex(downloaded, 0, 12), Hex(entry, 0, 12));
    Click(Form1->Button12);
    ASSERT_EQ(
        FakeGBP::CallNames(),
        "InitGBPMode,ReadNVMFile,EndGBPMode,InitGBPMode,ClearNVMFile,WriteNVMFile,EndGBPMode");
    EXPECT_EQ(FakeGBP::calls[5].data, downloaded);
    EXPECT_TRUE(ShowsSlot(1));
    EXPECT_TRUE(ShowsSlot(3));
}

TEST_F(Transfers, PortIsTheSelectedEntryPlusOne) {
    struct Case {
        int index;
        int port;
    } cases[] = {{3, 4}, {0, 1}, {5, 6}, {1, 2}};
    for (const Case& c : cases) {
        FakeGBP::Reset();
        FakeGBP::script.initResult = 0;
        if (c.index != 3 || Form1->RadioGroup1->ItemIndex() != 3)
            Click(Form1->RadioGroup1->Item(c.index));
        ModalDriver driver;
        Click(Form1->Button11);
        ASSERT_FALSE(FakeGBP::calls.empty());
        EXPECT_EQ(FakeGBP::calls[0].port, c.port) << "COM" << c.index + 1;
    }
}

}  // namespace
