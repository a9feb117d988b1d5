#include "MemorySurface.h"
#include "SectionBuffer.h"
#include "SlotCodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::uint8_t* Slot(int n) {
    return SectionBuffer + SlotOffset(n);
}
std::uint8_t* Pixels(int n) {
    return Slot(n) + SlotPixelOffset;
}

std::vector<std::uint8_t> Snapshot() {
    return {SectionBuffer, SectionBuffer + SectionSize};
}

class Codec : public ::testing::Test {
protected:
    void SetUp() override {
        InitSectionBuffer();
        std::memset(SectionBuffer + 12, 0xFF, SectionSize - 12);
    }
    WindowDouble window;
};

TEST(Quantisation, ThresholdsCompareTheSignedColourValue) {
    struct Case {
        TColor colour;
        int level;
    } cases[] = {
        {0x000000, 0},   {0x3F3F3F, 0},
        {0x40403F, 0},   {0x404040, 1},
        {0x404041, 1},   {0x808080, 1},
        {0xAFAFAF, 1},   {0xB0B0AF, 1},
        {0xB0B0B0, 2},   {0xC0C0C0, 2},
        {0xCFCFCF, 2},   {0xD0D0CF, 2},
        {0xD0D0D0, 3},   {0xFFFFFF, 3},
        {0xFF0000, 3},                   // pure blue
        {0xD00000, 2},   {0x0000FF, 0},  // red
        {0x00FF00, 0},                   // green
        {0x00FFFF, 0},                   // yellow
        {-1, 0},                         // the invalid colour
        {0x7FFFFFFF, 3}, {static_cast<TColor>(0x80000000u), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorToLevel(c.colour), c.level) << std::hex << "colour 0x" << c.colour;
    for (int level = 0; level < 4; ++level)
        EXPECT_EQ(ColorToLevel(SlotPalette[level]), level) << "palette entry " << level;
}

TEST_F(Codec, UniformPictureEncodesToTheExpectedByte) {
    struct Case {
        TColor colour;
        std::uint8_t byte;
    } cases[] = {{0x3F3F3F, 0x00}, {0x404040, 0x55}, {0xAFAFAF, 0x55}, {0xB0B0B0, 0xAA},
                 {0xCFCFCF, 0xAA}, {0xD0D0D0, 0xFF}, {0xFFFFFF, 0xFF}, {0xFF0000, 0xFF}};
    for (const Case& c : cases) {
        window.surfaces[1].Fill(c.colour);
        StoreSlot(2, false);
        for (int i = 0; i < SlotHeight * SlotRowBytes; ++i)
            ASSERT_EQ(Pixels(2)[i], c.byte) << std::hex << "colour 0x" << c.colour << " byte " << i;
    }
}

TEST_F(Codec, PacksLeftmostPixelIntoTheHighBits) {
    MemorySurface& s = window.surfaces[0];
    s.Fill(clBlack);
    s.SetPixel(1, 0, 0x808080);
    s.SetPixel(2, 0, 0xC0C0C0);
    s.SetPixel(3, 0, 0xFFFFFF);
    StoreSlot(1, false);
    EXPECT_EQ(Slot(1)[0], 0x60);
    EXPECT_EQ(Slot(1)[1], 0x4D);
    EXPECT_EQ(Slot(1)[2], 0x00);
    EXPECT_EQ(Slot(1)[3], 0x1B);
    EXPECT_EQ(Slot(1)[4], 0x00);
}

TEST_F(Codec, FirstAndLastPixelOfEachSlotLandAtTheirBytes) {
    for (int n = 1; n <= 3; ++n) {
        MemorySurface& s = window.surfaces[n - 1];
        s.Fill(clBlack);
        s.SetPixel(0, 0, clWhite);
        s.SetPixel(95, 76, clWhite);
        StoreSlot(n, false);
        const size_t first = SlotOffset(n) + 3, last = SlotOffset(n) + SlotSize - 1;
        EXPECT_EQ(SectionBuffer[first], 0xC0) << "slot " << n << " byte " << first;
        EXPECT_EQ(SectionBuffer[last], 0x03) << "slot " << n << " byte " << last;
    }
    EXPECT_EQ(SlotOffset(2) + 3, 1866u);
    EXPECT_EQ(SlotOffset(3) + SlotSize - 1, 5564u);
}

TEST_F(Codec, DrawThenEncodeReproducesAnyValidSlot) {
    std::mt19937 rng(20261211);
    for (int round = 0; round < 20; ++round) {
        const int n = 1 + round % 3;
        Slot(n)[0] = 0x60;
        Slot(n)[1] = 0x4D;
        Slot(n)[2] = 0x00;
        for (int i = 0; i < SlotHeight * SlotRowBytes; ++i)
            Pixels(n)[i] = static_cast<std::uint8_t>(rng());
        const auto before = Snapshot();
        window.surfaces[n - 1] = MemorySurface(96, 77, 0x00FF00);
        DrawSlot(n);
        for (int y = 0; y < 77; ++y)
            for (int x = 0; x < 96; ++x) {
                const int level = (Pixels(n)[y * 24 + x / 4] >> (6 - 2 * (x % 4))) & 3;
                ASSERT_EQ(window.surfaces[n - 1].Pixel(x, y), SlotPalette[level])
                    << "round " << round << " pixel " << x << ',' << y;
            }
        StoreSlot(n, false);
        ASSERT_EQ(Snapshot(), before) << "round " << round << " slot " << n;
    }
}

TEST_F(Codec, SmallBitmapEncodesBlackOutsideAndKeepsItsSize) {
    window.surfaces[2] = MemorySurface(50, 50, clWhite);
    StoreSlot(3, false);
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 96; ++x) {
            const int level = (Pixels(3)[y * 24 + x / 4] >> (6 - 2 * (x % 4))) & 3;
            ASSERT_EQ(level, (x < 50 && y < 50) ? 3 : 0) << "pixel " << x << ',' << y;
        }
    EXPECT_EQ(window.surfaces[2].Width(), 50);
    EXPECT_EQ(window.surfaces[2].Height(), 50);
    EXPECT_TRUE(window.surfaces[2].AllAre(clWhite));
}

TEST_F(Codec, LargeBitmapOnlyTopLeftIsRedrawn) {
    window.surfaces[0] = MemorySurface(200, 150, 0x00FFFF);  // yellow: level 0
    StoreSlot(1, false);
    EXPECT_EQ(window.surfaces[0].Pixel(95, 76), clBlack);
    EXPECT_EQ(window.surfaces[0].Pixel(96, 76), 0x00FFFF);
    EXPECT_EQ(window.surfaces[0].Pixel(95, 77), 0x00FFFF);
    EXPECT_EQ(window.surfaces[0].Pixel(199, 149), 0x00FFFF);
}

TEST_F(Codec, BlankWhitensTheWholeBitmapAndDisablesSave) {
    window.surfaces[1] = MemorySurface(200, 150, 0x336699);
    window.surfaces[1].SetPenColor(clBlack);
    std::memset(Slot(2), 0x12, SlotSize);
    const auto before = Snapshot();
    StoreSlot(2, true);
    EXPECT_TRUE(window.surfaces[1].AllAre(clWhite));
    EXPECT_EQ(window.surfaces[1].Width(), 200);
    EXPECT_EQ(window.surfaces[1].Height(), 150);
    EXPECT_FALSE(window.saveEnabled[1]);
    EXPECT_TRUE(window.saveEnabled[0]);
    EXPECT_TRUE(window.saveEnabled[2]);
    const auto after = Snapshot();
    for (size_t i = 0; i < SectionSize; ++i) {
        const bool inSlot2 = i >= SlotOffset(2) && i < SlotOffset(2) + SlotSize;
        ASSERT_EQ(after[i], inSlot2 ? 0xFF : before[i]) << "byte " << i;
    }
}

TEST_F(Codec, DrawOnInvalidSlotRequestsTheSurfaceButChangesNothing) {
    for (const std::uint8_t third : {std::uint8_t{0xFF}, std::uint8_t{0x01}}) {
        std::memset(Slot(1), 0x00, SlotSize);
        Slot(1)[0] = 0x60;
        Slot(1)[1] = 0x4D;
        Slot(1)[2] = third;
        if (third == 0xFF)
            std::memset(Slot(1), 0xFF, SlotSize);
        window.surfaces[0].Fill(0x00FF00);
        const int requests = window.requests[0];
        DrawSlot(1);
        EXPECT_EQ(window.requests[0], requests + 1);
        EXPECT_TRUE(window.surfaces[0].AllAre(0x00FF00)) << "third marker " << int(third);
    }
}

TEST_F(Codec, RepairBlanksOnlyInvalidSlots) {
    std::memset(Slot(1), 0x11, SlotSize);
    std::memset(Slot(2), 0x22, SlotSize);
    std::memset(Slot(3), 0x33, SlotSize);
    Slot(2)[0] = 0x60;
    Slot(2)[1] = 0x4D;
    Slot(2)[2] = 0x00;
    Slot(1)[0] = 0x60;
    Slot(1)[1] = 0x4D;
    Slot(1)[2] = 0x01;
    for (auto& s : window.surfaces)
        s.Fill(0x00FF00);
    const auto before = Snapshot();
    RepairSlots();
    const auto after = Snapshot();
    for (size_t i = 0; i < SectionSize; ++i) {
        const bool blanked = (i >= SlotOffset(1) && i < SlotOffset(2)) || i >= SlotOffset(3);
        ASSERT_EQ(after[i], blanked ? 0xFF : before[i]) << "byte " << i;
    }
    EXPECT_TRUE(window.surfaces[0].AllAre(clWhite));
    EXPECT_TRUE(window.surfaces[1].AllAre(0x00FF00));
    EXPECT_TRUE(window.surfaces[2].AllAre(clWhite));
    EXPECT_FALSE(window.saveEnabled[0]);
    EXPECT_TRUE(window.saveEnabled[1]);
    EXPECT_FALSE(window.saveEnabled[2]);
}

// A picture that holds no bitmap: what each operation has done before the
// surface request stays done, and nothing after it happens.
TEST_F(Codec, FailedSurfaceRequestStopsEachOperationAtItsPlace) {
    window.notBitmap[1] = true;
    const char* message = "Can only modify an image if it contains a bitmap";

    std::memset(Slot(2), 0x00, SlotSize);
    Slot(2)[0] = 0x60;
    Slot(2)[1] = 0x4D;
    auto before = Snapshot();
    try {
        DrawSlot(2);
        FAIL() << "DrawSlot did not fail";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), message);
    }
    EXPECT_EQ(Snapshot(), before);

    window.saveEnabled[1] = true;
    EXPECT_THROW(StoreSlot(2, true), std::runtime_error);
    for (size_t i = 0; i < SlotSize; ++i)
        ASSERT_EQ(Slot(2)[i], 0xFF) << "slot byte " << i;
    EXPECT_TRUE(window.saveEnabled[1]) << "Save BMP must keep its state";

    // Encoding into the blank slot leaves the markers over the old 0xFF bytes.
    EXPECT_THROW(StoreSlot(2, false), std::runtime_error);
    EXPECT_EQ(Slot(2)[0], 0x60);
    EXPECT_EQ(Slot(2)[1], 0x4D);
    EXPECT_EQ(Slot(2)[2], 0x00);
    for (size_t i = 3; i < SlotSize; ++i)
        ASSERT_EQ(Slot(2)[i], 0xFF) << "slot byte " << i;
    EXPECT_TRUE(SlotIsValid(2));

    // Repair stops at the failing slot: slot 1 is blanked, slot 3 never reached.
    window.notBitmap[1] = false;
    window.notBitmap[0] = false;
    std::memset(Slot(1), 0x01, SlotSize);
    std::memset(Slot(2), 0x02, SlotSize);
    std::memset(Slot(3), 0x03, SlotSize);
    window.notBitmap[1] = true;
    EXPECT_THROW(RepairSlots(), std::runtime_error);
    EXPECT_EQ(Slot(1)[0], 0xFF);
    EXPECT_EQ(Slot(2)[3], 0xFF);
    EXPECT_EQ(Slot(3)[0], 0x03);
}

}  // namespace
