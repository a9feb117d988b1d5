// The one in-memory image of NVM file 16-04 ("Backgrounds"), which is also the
// byte-for-byte content of a section file (".sec"): a 12-byte header followed by
// three picture slots of 1851 bytes each.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t SectionSize = 5565;
constexpr std::size_t SectionHeaderSize = 12;
constexpr std::size_t SlotSize = 1851;
constexpr int SlotCount = 3;

// A slot starts with three marker bytes, then 77 rows of 24 bytes, four
// 2-bit pixels per byte, the leftmost pixel in bits 7-6.
constexpr std::uint8_t SlotWidthMarker = 0x60;   // 96
constexpr std::uint8_t SlotHeightMarker = 0x4D;  // 77
constexpr std::uint8_t SlotThirdMarker = 0x00;
constexpr std::size_t SlotPixelOffset = 3;
constexpr int SlotWidth = 96;
constexpr int SlotHeight = 77;
constexpr int SlotRowBytes = 24;
constexpr std::uint8_t BlankByte = 0xFF;

static_assert(SectionHeaderSize + SlotCount * SlotSize == SectionSize);
static_assert(SlotPixelOffset + SlotHeight * SlotRowBytes == SlotSize);
static_assert(SlotRowBytes * 4 == SlotWidth);

// The program-wide buffer. Nothing writes past byte 5564.
extern std::uint8_t SectionBuffer[SectionSize];

// Start-up content: all zero, then the nine start-up header bytes. The caller
// blanks the three slots afterwards.
void InitSectionBuffer();

// All 5565 bytes zero, header included.
void ZeroSectionBuffer();

// Offset of slot 1, 2 or 3 within the buffer: 12, 1863 or 3714.
std::size_t SlotOffset(int Slot);

// True exactly when the slot's first three bytes are 0x60 0x4D 0x00.
bool SlotIsValid(int Slot);

// Raw access for whole-buffer transfer (phone and section files).
inline std::uint8_t* SectionData() {
    return SectionBuffer;
}
constexpr std::size_t SectionLength() {
    return SectionSize;
}
