#include "Transfers.h"

#include "Application.h"
#include "GBPCtrl.h"
#include "SectionBuffer.h"
#include "SlotCodec.h"

namespace {

constexpr std::uint8_t NvmFirst = 16;
constexpr std::uint8_t NvmSecond = 4;

void ShowPhoneError(const char* text) {
    Application->MessageBox(QString::fromLatin1(text), QStringLiteral("Error"));
}

std::uint8_t SelectedPort(const TransferWindow& Window) {
    return static_cast<std::uint8_t>(Window.SelectedPortIndex() + 1);
}

}  // namespace

void Download(TransferWindow& Window) {
    Window.SetStatusCaption("Initializing GBP mode ...");
    if (GBP.InitGBPMode(SelectedPort(Window)) != 1) {
        ShowPhoneError("Unable to initialize GBP mode");
    } else {
        ZeroSectionBuffer();
        Window.SetStatusCaption("Reading NVM entry ...");
        GBP.ReadNVMFile(NvmFirst, NvmSecond, SectionData(), 0);
        RepairSlots();
        Window.SetStatusCaption("Closing GBP mode ...");
        GBP.EndGBPMode();
        DrawSlot(1);
        DrawSlot(2);
        DrawSlot(3);
        for (int Slot = 1; Slot <= SlotCount; ++Slot)
            CodecHost->SetSaveEnabled(Slot, true);
    }
    Window.SetStatusCaption(Window.StandardCaptionText());
}

void Upload(TransferWindow& Window) {
    Window.SetStatusCaption("Initializing GBP mode ...");
    if (GBP.InitGBPMode(SelectedPort(Window)) != 1) {
        ShowPhoneError("Unable to initialize GBP mode");
    } else {
        Window.SetStatusCaption("Erasing NVM entry ...");
        if (GBP.ClearNVMFile(NvmFirst, NvmSecond) == 1) {
            Window.SetStatusCaption("Writing NVM entry ...");
            if (GBP.WriteNVMFile(NvmFirst, NvmSecond, SectionData(),
                                 static_cast<std::int32_t>(SectionLength())) != 1)
                ShowPhoneError("Unable to write NVM entry");
        } else {
            ShowPhoneError("Cannot clear old NVM entry");
        }
        Window.SetStatusCaption("Closing GBP mode ...");
        GBP.EndGBPMode();
        DrawSlot(1);
        DrawSlot(2);
        DrawSlot(3);
    }
    Window.SetStatusCaption(Window.StandardCaptionText());
}
