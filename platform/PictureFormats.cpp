#include "PictureFormats.h"

#include "BitmapFile.h"

#include <QFileInfo>
#include <QStringList>

const std::vector<PictureFormat>& ReadablePictureFormats() {
    static const std::vector<PictureFormat> formats = {
        {QStringLiteral("bmp"), QStringLiteral("Bitmaps")},
    };
    return formats;
}

QString GraphicFilter() {
    QStringList patterns;
    for (const PictureFormat& f : ReadablePictureFormats())
        patterns << QStringLiteral("*.") + f.extension;
    const QString all = patterns.join(QLatin1Char(';'));
    QStringList parts;
    parts << QStringLiteral("All (%1)").arg(all) << all;
    for (const PictureFormat& f : ReadablePictureFormats()) {
        const QString pattern = QStringLiteral("*.") + f.extension;
        parts << QStringLiteral("%1 (%2)").arg(f.name, pattern) << pattern;
    }
    return parts.join(QLatin1Char('|'));
}

QString PictureFileExtension(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

bool IsReadablePictureExtension(const QString& extension) {
    for (const PictureFormat& format : ReadablePictureFormats())
        if (extension.compare(format.extension, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QImage LoadPreviewImage(const QString& fileName) {
    // Only what Load BMP would read; anything else shows no preview.
    if (!IsReadablePictureExtension(PictureFileExtension(fileName)))
        return QImage();
    try {
        return ReadBitmapFile(fileName);
    } catch (const std::exception&) {
        return QImage();
    }
}
