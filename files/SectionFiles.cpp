#include "SectionFiles.h"

#include "FileRoutines.h"
#include "SectionBuffer.h"
#include "SlotCodec.h"

#include <cstring>
#include <stdexcept>
#include <vector>

std::string SectionFileTooLongText(unsigned long long Size) {
    return "The file is " + std::to_string(Size) + " bytes long; a section file holds at most " +
           std::to_string(SectionLength()) + " bytes.";
}

void SaveSectionFile(const std::string& FileName) {
    ReplaceFileContents(FileName, SectionData(), SectionLength(), FileErrorTexts::Section);
}

void LoadSectionFile(const std::string& FileName) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(FileName, [](std::uint64_t Size) {
        if (Size > SectionLength())
            throw std::runtime_error(SectionFileTooLongText(Size));
    });

    ZeroSectionBuffer();
    if (!bytes.empty())
        std::memcpy(SectionData(), bytes.data(), bytes.size());
    RepairSlots();
    for (int slot = 1; slot <= SlotCount; ++slot) {
        DrawSlot(slot);
        if (SlotIsValid(slot))
            CodecHost->SetSaveEnabled(slot, true);
    }
}
