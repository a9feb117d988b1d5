// Reading and writing a picture's file.
#include "BitmapFile.h"
#include "FileRoutines.h"
#include "Picture.h"
#include "PictureFormats.h"

#include <QFile>

#include <stdexcept>

void TPicture::LoadFromFile(const QString& fileName) {
    const QString extension = PictureFileExtension(fileName);
    if (!IsReadablePictureExtension(extension))
        throw std::runtime_error(
            QStringLiteral("Unknown picture file extension (.%1)").arg(extension).toStdString());
    // Read whole before anything is replaced.
    QImage image = ReadBitmapFile(fileName);
    Assign(image);
}

void TPicture::SaveToFile(const QString& fileName) const {
    const QByteArray bytes = EncodeBitmap24(image_);
    ReplaceFileContents(QFile::encodeName(fileName).toStdString(), bytes.constData(),
                        static_cast<std::size_t>(bytes.size()), FileErrorTexts::Picture);
}
