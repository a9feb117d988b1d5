#include "PictureFiles.h"

#include "Picture.h"
#include "SlotCodec.h"

void LoadPictureFile(int Slot, TPicture& Picture, const QString& FileName) {
    Picture.LoadFromFile(FileName);
    CodecHost->SetSaveEnabled(Slot, true);
    StoreSlot(Slot, false);
}

void SavePictureFile(const TPicture& Picture, const QString& FileName) {
    Picture.SaveToFile(FileName);
}
