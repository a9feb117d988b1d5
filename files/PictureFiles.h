// The picture file commands of one slot: Load BMP puts a bitmap file into the
// slot's picture and cuts the slot down to four grey levels at once; Save BMP
// writes the slot's picture (never SectionBuffer) to a bitmap file.
#pragma once

#include <QString>

class TPicture;

// Loads the file into the slot's picture (nothing changes when it cannot be
// read), enables the slot's Save BMP and encodes the picture into the slot.
void LoadPictureFile(int Slot, TPicture& Picture, const QString& FileName);

// Writes the whole picture as a bitmap file.
void SavePictureFile(const TPicture& Picture, const QString& FileName);
