// The picture formats a picture can read, chosen by the file name's extension.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

struct PictureFormat {
    QString extension;  // without the dot, lower case
    QString name;       // as the file dialogs list it
};

// Only bitmaps: they are the one kind the slots can encode.
const std::vector<PictureFormat>& ReadablePictureFormats();

// What follows the last dot of the file's own name (a dot in a folder name
// does not count), as typed; empty for a name without one.
QString PictureFileExtension(const QString& fileName);

// Whether a file of that extension can be read (letter case ignored).
bool IsReadablePictureExtension(const QString& extension);

// The open dialog's filter built from the readable formats: "All" with every
// pattern, then one choice per format, e.g.
// "All (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp".
QString GraphicFilter();

// The image a preview shows for a file; a null image when it cannot be read.
QImage LoadPreviewImage(const QString& fileName);
