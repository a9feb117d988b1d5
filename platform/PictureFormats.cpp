#include "PictureFormats.h"

#include <QImageReader>
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

QImage LoadPreviewImage(const QString& fileName) {
    QImageReader reader(fileName);
    return reader.read();
}
