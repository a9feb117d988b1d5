#include "SlotCodec.h"

#include "SectionBuffer.h"

#include <cstring>

const TColor SlotPalette[4] = {0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF};

SlotHost* CodecHost = nullptr;

int ColorToLevel(TColor Color) {
    if (Color < 0x404040)
        return 0;
    if (Color < 0xB0B0B0)
        return 1;
    if (Color < 0xD0D0D0)
        return 2;
    return 3;
}

void DrawSlot(int Slot) {
    PictureSurface& surface = CodecHost->SlotSurface(Slot);
    if (!SlotIsValid(Slot))
        return;
    const std::uint8_t* pixels = SectionBuffer + SlotOffset(Slot) + SlotPixelOffset;
    for (int y = 0; y < SlotHeight; ++y) {
        for (int b = 0; b < SlotRowBytes; ++b) {
            const std::uint8_t v = pixels[y * SlotRowBytes + b];
            for (int k = 0; k < 4; ++k) {
                const int level = (v >> (6 - 2 * k)) & 3;
                surface.SetPixel(4 * b + k, y, SlotPalette[level]);
            }
        }
    }
}

void StoreSlot(int Slot, bool Blank) {
    std::uint8_t* slot = SectionBuffer + SlotOffset(Slot);
    if (Blank) {
        std::memset(slot, BlankByte, SlotSize);
        PictureSurface& surface = CodecHost->SlotSurface(Slot);
        surface.SetPenColor(clWhite);
        surface.Rectangle(surface.Width(), surface.Height());
        CodecHost->SetSaveEnabled(Slot, false);
        return;
    }
    slot[0] = SlotWidthMarker;
    slot[1] = SlotHeightMarker;
    slot[2] = SlotThirdMarker;
    PictureSurface& surface = CodecHost->SlotSurface(Slot);
    std::uint8_t* pixels = slot + SlotPixelOffset;
    for (int y = 0; y < SlotHeight; ++y) {
        for (int b = 0; b < SlotRowBytes; ++b) {
            int packed = 0;
            for (int k = 0; k < 4; ++k) {
                packed = packed * 4 + ColorToLevel(surface.Pixel(4 * b + k, y));
            }
            pixels[y * SlotRowBytes + b] = static_cast<std::uint8_t>(packed);
        }
    }
    DrawSlot(Slot);
}

void RepairSlots() {
    for (int Slot = 1; Slot <= SlotCount; ++Slot) {
        if (!SlotIsValid(Slot))
            StoreSlot(Slot, true);
    }
}
