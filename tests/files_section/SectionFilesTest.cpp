#include "FileRoutines.h"
#include "FileTestSupport.h"
#include "MemorySurface.h"
#include "SectionBuffer.h"
#include "SectionFiles.h"
#include "SlotCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace filetest;

namespace {

Bytes StartUpImage() {
    Bytes b(SectionSize, 0xFF);
    const std::uint8_t header[12] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9,
                                     0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    std::memcpy(b.data(), header, sizeof header);
    return b;
}

// What a command may change: the buffer, the three pictures and the three
// Save BMP switches.
struct State {
    Bytes buffer;
    std::array<std::vector<TColor>, 3> pictures;
    std::array<bool, 3> saveEnabled{};
    bool operator==(const State&) const = default;
};

State Capture(const WindowDouble& window) {
    State s;
    s.buffer.assign(SectionBuffer, SectionBuffer + SectionSize);
    for (int n = 0; n < 3; ++n) {
        const MemorySurface& surface = window.surfaces[static_cast<std::size_t>(n)];
        for (int y = 0; y < surface.Height(); ++y)
            for (int x = 0; x < surface.Width(); ++x)
                s.pictures[static_cast<std::size_t>(n)].push_back(surface.Pixel(x, y));
    }
    s.saveEnabled = window.saveEnabled;
    return s;
}

// The picture a slot of Buffer shows: its pixels in the palette shades.
std::vector<TColor> DrawnPicture(const Bytes& buffer, int slot) {
    std::vector<TColor> picture;
    const std::uint8_t* pixels = buffer.data() + SlotOffset(slot) + SlotPixelOffset;
    for (int y = 0; y < SlotHeight; ++y)
        for (int x = 0; x < SlotWidth; ++x) {
            const std::uint8_t v = pixels[y * SlotRowBytes + x / 4];
            picture.push_back(SlotPalette[(v >> (6 - 2 * (x % 4))) & 3]);
        }
    return picture;
}

// A file image with the markers of the given slots in place and pixel bytes
// that differ from slot to slot and row to row.
Bytes SectionImage(std::size_t size, std::initializer_list<int> validSlots) {
    Bytes b = Pattern(size, 11);
    for (int slot : validSlots) {
        const std::size_t at = SlotOffset(slot);
        if (at + 2 < size) {
            b[at] = SlotWidthMarker;
            b[at + 1] = SlotHeightMarker;
            b[at + 2] = SlotThirdMarker;
        }
    }
    return b;
}

class SectionFiles : public ::testing::Test {
protected:
    // The state right after start-up.
    void SetUp() override {
        InitSectionBuffer();
        for (int n = 1; n <= 3; ++n)
            StoreSlot(n, true);
    }

    // Something on screen that a failed load must leave alone: a picture put
    // into slot 2 as Load BMP does it.
    void ShowAPicture() {
        MemorySurface& s = window.surfaces[1];
        for (int y = 0; y < s.Height(); ++y)
            for (int x = 0; x < s.Width(); ++x)
                s.SetPixel(x, y, (x * 3 + y * 5) % 4 * 0x404040);
        window.saveEnabled[1] = true;
        StoreSlot(2, false);
    }

    WindowDouble window;
    TempFolder dir;
};

// --- Save section ------------------------------------------------------------

TEST_F(SectionFiles, SaveAfterStartUpWritesTheStartUpImage) {
    SaveSectionFile(dir / "16-04.sec");
    EXPECT_EQ(ReadFile(dir / "16-04.sec"), StartUpImage());
}

TEST_F(SectionFiles, SaveReplacesAnExistingFileKeepingModeAndLinks) {
    ShowAPicture();
    const Bytes expected(SectionBuffer, SectionBuffer + SectionSize);
    WriteFile(dir / "old.sec", Pattern(9000));
    ::chmod((dir / "old.sec").c_str(), 0640);
    ASSERT_EQ(::symlink("old.sec", (dir / "link.sec").c_str()), 0);

    SaveSectionFile(dir / "old.sec");
    EXPECT_EQ(ReadFile(dir / "old.sec"), expected);
    EXPECT_EQ(ModeOf(dir / "old.sec"), 0640u);

    WriteFile(dir / "old.sec", Pattern(100));
    SaveSectionFile(dir / "link.sec");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.sec"));
    EXPECT_EQ(std::filesystem::read_symlink(dir / "link.sec"), "old.sec");
    EXPECT_EQ(ReadFile(dir / "old.sec"), expected);
    EXPECT_EQ(ModeOf(dir / "old.sec"), 0640u);
    EXPECT_EQ(dir.Entries(), (std::set<std::string>{"old.sec", "link.sec"}));
}

TEST_F(SectionFiles, AFailedSaveKeepsTheOldFile) {
    struct Case {
        const char* what;
        std::string name;
        mode_t mode;                  // of the existing old.sec
        std::function<void()> limit;  // applied in the child first
        std::string text;
    };
    const Case cases[] = {
        {"missing folder", "nofolder/16-04.sec", 0644, {}, "Invalid filename"},
        {"read-only file", "old.sec", 0444, {}, "File access denied"},
        {"full disk", "old.sec", 0644, [] { LimitFileSize(2000); }, "Disk full"},
    };
    const Bytes old = Pattern(7000);
    for (const Case& c : cases) {
        WriteFile(dir / "old.sec", old);
        ::chmod((dir / "old.sec").c_str(), c.mode);
        const std::set<std::string> before = dir.Entries();
        const ChildResult r = RunInChild([&] {
            if (c.limit)
                c.limit();
            return ErrorMessage([&] { SaveSectionFile(dir / c.name); });
        });
        EXPECT_EQ(r.output, c.text) << c.what;
        EXPECT_EQ(ReadFile(dir / "old.sec"), old) << c.what;
        EXPECT_EQ(ModeOf(dir / "old.sec"), c.mode) << c.what;
        EXPECT_EQ(dir.Entries(), before) << c.what;
        ::chmod((dir / "old.sec").c_str(), 0644);
    }
}

TEST_F(SectionFiles, ASaveKilledBeforeTheRenameLeavesTheOldFileByteForByte) {
    const Bytes old = Pattern(5565, 77);
    WriteFile(dir / "16-04.sec", old);
    const ChildResult r = RunInChild([&] {
        BeforeReplaceRename = [](const std::string&) { ::_exit(3); };
        SaveSectionFile(dir / "16-04.sec");
        return std::string("saved");
    });
    EXPECT_TRUE(r.exited && r.status == 3) << r.output;
    EXPECT_EQ(ReadFile(dir / "16-04.sec"), old);
}

// --- Load section ------------------------------------------------------------

TEST_F(SectionFiles, SaveThenLoadGivesBackTheSameBufferAndPictures) {
    ShowAPicture();
    // Slot 1 valid with pixel bytes straight from a file pattern, slot 3 blank.
    const Bytes image = SectionImage(SectionSize, {1});
    std::memcpy(SectionBuffer + SlotOffset(1), image.data() + SlotOffset(1), SlotSize);
    DrawSlot(1);
    window.saveEnabled[0] = true;
    const State saved = Capture(window);

    SaveSectionFile(dir / "trip.sec");
    SetUp();
    ASSERT_NE(Capture(window), saved);
    LoadSectionFile(dir / "trip.sec");
    EXPECT_TRUE(Capture(window) == saved);
    EXPECT_EQ(window.saveEnabled, (std::array<bool, 3>{true, true, false}));
}

TEST_F(SectionFiles, LoadFillsFromByteZeroRepairsAndDraws) {
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes wrongMarker = SectionImage(SectionSize, {1, 2, 3});
    wrongMarker[SlotOffset(2) + 2] = 0x01;
    const Case cases[] = {
        {"empty file", {}},
        {"1863 bytes, slot 1 markers", SectionImage(1863, {1})},
        {"255 bytes, slot 1 markers", SectionImage(255, {1})},
        {"whole file, all valid", SectionImage(SectionSize, {1, 2, 3})},
        {"whole file, slot 2 marked 60 4D 01", wrongMarker},
        {"whole file, no markers", SectionImage(SectionSize, {})},
    };
    for (const Case& c : cases) {
        SetUp();
        ShowAPicture();
        window.saveEnabled = {false, true, false};
        WriteFile(dir / "in.sec", c.file);
        LoadSectionFile(dir / "in.sec");

        Bytes expected(SectionSize, 0x00);
        std::copy(c.file.begin(), c.file.end(), expected.begin());
        std::array<bool, 3> valid{};
        for (int n = 1; n <= 3; ++n) {
            const std::size_t at = SlotOffset(n);
            valid[n - 1] =
                expected[at] == 0x60 && expected[at + 1] == 0x4D && expected[at + 2] == 0x00;
            if (!valid[n - 1])
                std::fill_n(expected.begin() + static_cast<long>(at), SlotSize, 0xFF);
        }
        const State s = Capture(window);
        EXPECT_EQ(s.buffer, expected) << c.what;
        EXPECT_EQ(s.saveEnabled, valid) << c.what;
        for (int n = 1; n <= 3; ++n) {
            const std::vector<TColor> picture =
                valid[n - 1] ? DrawnPicture(expected, n) : std::vector<TColor>(96 * 77, clWhite);
            EXPECT_TRUE(s.pictures[n - 1] == picture) << c.what << ", picture " << n;
        }
    }
}

TEST_F(SectionFiles, AnEmptyFileGivesTwelveZerosAndThreeBlankSlots) {
    ShowAPicture();
    WriteFile(dir / "empty.sec", {});
    LoadSectionFile(dir / "empty.sec");
    Bytes expected(SectionSize, 0xFF);
    std::fill_n(expected.begin(), 12, 0x00);
    EXPECT_EQ(Capture(window).buffer, expected);
    for (const MemorySurface& s : window.surfaces)
        EXPECT_TRUE(s.AllAre(clWhite));
    EXPECT_EQ(window.saveEnabled, (std::array<bool, 3>{false, false, false}));
}

TEST_F(SectionFiles, AFileCutShortInSlot1ShowsItsRowsThenBlack) {
    const Bytes file = SectionImage(255, {1});  // markers, then 240 bytes = rows 0 to 9
    WriteFile(dir / "short.sec", file);
    LoadSectionFile(dir / "short.sec");
    const MemorySurface& s = window.surfaces[0];
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 96; ++x) {
            const int level =
                y < 10
                    ? (file[15 + static_cast<std::size_t>(y * 24 + x / 4)] >> (6 - 2 * (x % 4))) & 3
                    : 0;
            ASSERT_EQ(s.Pixel(x, y), SlotPalette[level]) << "pixel " << x << "," << y;
        }
    EXPECT_TRUE(window.surfaces[1].AllAre(clWhite));
    EXPECT_TRUE(window.surfaces[2].AllAre(clWhite));
    EXPECT_EQ(window.saveEnabled, (std::array<bool, 3>{true, false, false}));
}

TEST_F(SectionFiles, AFailedLoadChangesNothing) {
    WriteFile(dir / "long.sec", SectionImage(5566, {1, 2, 3}));
    WriteFile(dir / "huge.sec", Pattern(100000));
    ::mkdir((dir / "folder.sec").c_str(), 0755);
    WriteFile(dir / "fine.sec", SectionImage(SectionSize, {1, 2, 3}));
    struct Case {
        std::string name;
        std::string text;
        bool noDescriptors;  // in a child without free file descriptors
    } cases[] = {
        {"long.sec", "The file is 5566 bytes long; a section file holds at most 5565 bytes.",
         false},
        {"huge.sec", "The file is 100000 bytes long; a section file holds at most 5565 bytes.",
         false},
        {"absent.sec", "File not found", false},
        {"nofolder/16-04.sec", "Invalid filename", false},
        {"folder.sec", "File access denied", false},
        {"fine.sec", "Too many open files", true},
    };
    ShowAPicture();
    window.saveEnabled = {true, false, true};
    const State before = Capture(window);
    for (const Case& c : cases) {
        const ChildResult r = RunInChild([&] {
            const auto step = [&] { LoadSectionFile(dir / c.name); };
            const std::string text =
                c.noDescriptors ? ErrorMessageWithoutFreeDescriptors(step) : ErrorMessage(step);
            return text + (Capture(window) == before ? "" : " (and the state changed)");
        });
        EXPECT_EQ(r.output, c.text) << c.name;
    }
    // The refusals in this process too, so nothing is hidden by the fork.
    EXPECT_EQ(ErrorMessage([&] { LoadSectionFile(dir / "absent.sec"); }), "File not found");
    EXPECT_EQ(ErrorMessage([&] { LoadSectionFile(dir / "long.sec"); }),
              SectionFileTooLongText(5566));
    EXPECT_TRUE(Capture(window) == before);
}

TEST_F(SectionFiles, AReadOnlyFileLoads) {
    const Bytes file = SectionImage(SectionSize, {1, 3});
    WriteFile(dir / "ro.sec", file);
    ::chmod((dir / "ro.sec").c_str(), 0444);
    ::chmod(dir.path().c_str(), 0755);
    const ChildResult r = RunInChild([&] {
        // Without the power to override permissions, as a plain user has it.
        if (::geteuid() == 0 && ::setresuid(65534, 65534, 65534) != 0)
            return std::string("setuid");
        LoadSectionFile(dir / "ro.sec");
        return std::string(SlotIsValid(1) && !SlotIsValid(2) && SlotIsValid(3) &&
                                   std::equal(file.begin(), file.begin() + 1863, SectionBuffer)
                               ? "loaded"
                               : "wrong content");
    });
    EXPECT_EQ(r.output, "loaded");
}

// The codec's error stops the load at the slot it cannot draw; the slots shown
// before it have their Save BMP enabled.
TEST_F(SectionFiles, APictureWithoutBitmapStopsTheLoadAtItsSlot) {
    WriteFile(dir / "all.sec", SectionImage(SectionSize, {1, 2, 3}));
    window.notBitmap[1] = true;
    EXPECT_EQ(ErrorMessage([&] { LoadSectionFile(dir / "all.sec"); }),
              "Can only modify an image if it contains a bitmap");
    EXPECT_EQ(window.saveEnabled, (std::array<bool, 3>{true, false, false}));
    const Bytes file = SectionImage(SectionSize, {1, 2, 3});
    EXPECT_TRUE(window.surfaces[0].Pixel(5, 5) == DrawnPicture(file, 1)[5 * 96 + 5]);
    EXPECT_TRUE(window.surfaces[2].AllAre(clWhite));
}

}  // namespace
