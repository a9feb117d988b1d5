#include "SectionBuffer.h"

#include <cstring>
#include <stdexcept>
#include <string>

std::uint8_t SectionBuffer[SectionSize];

namespace {
constexpr std::uint8_t StartupHeader[9] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9, 0x00, 0x00, 0x01};
}

void InitSectionBuffer() {
    ZeroSectionBuffer();
    std::memcpy(SectionBuffer, StartupHeader, sizeof StartupHeader);
}

void ZeroSectionBuffer() {
    std::memset(SectionBuffer, 0x00, SectionSize);
}

std::size_t SlotOffset(int Slot) {
    switch (Slot) {
        case 1:
            return 12;
        case 2:
            return 1863;
        case 3:
            return 3714;
    }
    // Callers pass 1..3 only; anything else is a programming error, and
    // indexing with it would write outside the buffer.
    throw std::logic_error("slot number out of range: " + std::to_string(Slot));
}

bool SlotIsValid(int Slot) {
    const std::uint8_t* s = SectionBuffer + SlotOffset(Slot);
    return s[0] == SlotWidthMarker && s[1] == SlotHeightMarker && s[2] == SlotThirdMarker;
}
