// The section file commands: SectionBuffer kept on disk byte for byte. The
// window's click handlers show the dialogs and call these with the chosen name.
// Failures are exceptions carrying the text the error box shows.
#pragma once

#include <string>

// Writes the 5565 bytes of SectionBuffer, unchanged, to the file, replacing an
// existing file only once the new content is complete on disk; a failed save
// leaves an existing file as it was.
void SaveSectionFile(const std::string& FileName);

// Reads the whole file; only when it has been read without error does it
// replace SectionBuffer (zero, copy from byte 0, RepairSlots), draw the three
// slots and enable the Save BMP command of every valid slot. A file longer than
// a section is refused. A failed load changes nothing.
void LoadSectionFile(const std::string& FileName);

// The refusal of a file longer than 5565 bytes.
std::string SectionFileTooLongText(unsigned long long Size);
