// The slot codec: draws a slot's 2-bit pixels onto its picture, encodes a
// picture into a slot by cutting every colour down to four grey levels, and
// blanks slots. It works on the program-wide SectionBuffer and reaches the
// pictures and the Save BMP switches only through SlotHost.
#pragma once

#include <cstdint>

// A colour value laid out as 0x00BBGGRR (blue in the most significant byte).
// Pixel reads outside a bitmap give InvalidColor, all 32 bits set.
using TColor = std::int32_t;
constexpr TColor InvalidColor = -1;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

// The colour each grey level 0..3 is drawn in.
extern const TColor SlotPalette[4];

// The four-level quantisation: the colour value is compared as a signed
// 32-bit integer, so blue decides first and -1 falls into level 0.
int ColorToLevel(TColor Color);

// The drawing surface on the bitmap of a slot's picture.
class PictureSurface {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Colour of pixel (x, y); InvalidColor outside the bitmap.
    virtual TColor Pixel(int x, int y) const = 0;
    // Sets pixel (x, y); does nothing outside the bitmap.
    virtual void SetPixel(int x, int y, TColor Color) = 0;
    // Covers 0 <= x < w, 0 <= y < h: a one-pixel outline in the pen colour,
    // the inside in the (solid white) brush colour.
    virtual void Rectangle(int w, int h) = 0;
    virtual void SetPenColor(TColor Color) = 0;
    virtual TColor PenColor() const = 0;

protected:
    ~PictureSurface() = default;
};

// What the codec needs of the main window, for slot 1, 2 or 3.
class SlotHost {
public:
    // The surface of the slot's picture. May throw (a picture that holds no
    // bitmap); the codec lets the error pass.
    virtual PictureSurface& SlotSurface(int Slot) = 0;
    // Enables or disables the slot's Save BMP command.
    virtual void SetSaveEnabled(int Slot, bool Enabled) = 0;

protected:
    ~SlotHost() = default;
};

// The window the codec works on; the main window sets it to itself before its
// creation handler runs.
extern SlotHost* CodecHost;

// Paints the slot's pixel data onto its picture. The surface is requested
// first; an invalid slot then leaves the picture unchanged.
void DrawSlot(int Slot);

// Blank: the slot's 1851 bytes become 0xFF, its whole bitmap white, its Save
// BMP disabled. Encode: markers, then the top-left 96 x 77 pixels quantised
// into the slot, then DrawSlot.
void StoreSlot(int Slot, bool Blank);

// Blanks every slot whose markers are wrong, slot 1 first.
void RepairSlots();
