// Reading and writing a picture's file.
#include "BitmapFile.h"
#include "FileRoutines.h"
#include "Picture.h"
#include "PictureFormats.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// What follows the last dot of the file's own name; a dot in a folder name
// does not count. Empty for a name without one.
QString ExtensionOf(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

}  // namespace

void TPicture::LoadFromFile(const QString& fileName) {
    const QString extension = ExtensionOf(fileName);
    bool known = false;
    for (const PictureFormat& format : ReadablePictureFormats())
        if (extension.compare(format.extension, Qt::CaseInsensitive) == 0)
            known = true;
    if (!known)
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
