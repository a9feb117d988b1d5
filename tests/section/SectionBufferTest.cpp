#include "SectionBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void SetMarkers(int slot, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    std::uint8_t* s = SectionBuffer + SlotOffset(slot);
    s[0] = a;
    s[1] = b;
    s[2] = c;
}

TEST(SectionLayout, LayoutOffsets) {
    EXPECT_EQ(SlotOffset(1), 12u);
    EXPECT_EQ(SlotOffset(2), 1863u);
    EXPECT_EQ(SlotOffset(3), 3714u);
    EXPECT_EQ(SlotOffset(3) + SlotSize, SectionSize);
    EXPECT_EQ(sizeof SectionBuffer, 5565u);
    EXPECT_EQ(SectionData(), &SectionBuffer[0]);
    EXPECT_EQ(SectionLength(), 5565u);
    EXPECT_THROW(SlotOffset(0), std::logic_error);
    EXPECT_THROW(SlotOffset(4), std::logic_error);
}

TEST(SectionLayout, InitWritesStartupHeaderOverZeros) {
    std::memset(SectionBuffer, 0xAB, SectionSize);
    InitSectionBuffer();
    const std::uint8_t header[12] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9,
                                     0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(SectionBuffer[i], header[i]) << "byte " << i;
    for (size_t i = 12; i < SectionSize; ++i)
        ASSERT_EQ(SectionBuffer[i], 0) << "byte " << i;
}

TEST(SectionLayout, ZeroClearsEverythingIncludingHeader) {
    InitSectionBuffer();
    std::memset(SectionBuffer + 12, 0xFF, SectionSize - 12);
    ZeroSectionBuffer();
    for (size_t i = 0; i < SectionSize; ++i)
        ASSERT_EQ(SectionBuffer[i], 0) << "byte " << i;
    for (int slot = 1; slot <= 3; ++slot)
        EXPECT_FALSE(SlotIsValid(slot)) << "slot " << slot;
}

TEST(SectionLayout, ValidityDependsOnlyOnTheThreeMarkers) {
    struct Case {
        std::uint8_t a, b, c, fill;
        bool valid;
    } cases[] = {
        {0x60, 0x4D, 0x00, 0x00, true},
        {0x60, 0x4D, 0x00, 0xFF, true},  // valid, all-white picture
        {0x60, 0x4D, 0x01, 0x00, false},
        {0x61, 0x4D, 0x00, 0x00, false},
        {0x60, 0x4C, 0x00, 0x00, false},
        {0xFF, 0xFF, 0xFF, 0xFF, false},  // blank
        {0x00, 0x00, 0x00, 0x00, false},
    };
    for (int slot = 1; slot <= 3; ++slot) {
        for (const Case& c : cases) {
            ZeroSectionBuffer();
            std::memset(SectionBuffer + SlotOffset(slot), c.fill, SlotSize);
            SetMarkers(slot, c.a, c.b, c.c);
            EXPECT_EQ(SlotIsValid(slot), c.valid)
                << "slot " << slot << " markers " << std::hex << int(c.a) << ' ' << int(c.b) << ' '
                << int(c.c) << " fill " << int(c.fill);
            for (int other = 1; other <= 3; ++other)
                if (other != slot) {
                    EXPECT_FALSE(SlotIsValid(other));
                }
        }
    }
}

}  // namespace
