#include "BitmapFile.h"

#include "BitmapSource.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

// A file read through one buffer. The decoder asks for headers, palettes and pieces of rows of
// at most 64 KiB, so the buffer stays at its chunk size; a longer read would grow it.
class FileBitmapSource final : public BitmapSource {
public:
    explicit FileBitmapSource(QFile& file)
        : file_(file), size_(static_cast<std::uint64_t>(std::max<qint64>(file.size(), 0))) {}

    std::uint64_t Size() const override { return size_; }
    std::uint64_t Position() const override { return position_; }

    const unsigned char* Read(std::size_t n) override {
        if (n > size_ - position_) {
            ThrowStreamReadError();
        }
        if (end_ - begin_ < n) {
            Fill(n);
        }
        const unsigned char* p = buffer_.get() + begin_;
        begin_ += n;
        position_ += n;
        return p;
    }

    void Skip(std::uint64_t n) override {
        if (n > size_ - position_) {
            ThrowStreamReadError();
        }
        const std::size_t buffered = end_ - begin_;
        if (n <= buffered) {
            begin_ += static_cast<std::size_t>(n);
        } else {
            filePosition_ += n - buffered;
            if (!file_.seek(static_cast<qint64>(filePosition_))) {
                ThrowStreamReadError();
            }
            begin_ = end_ = 0;
        }
        position_ += n;
    }

private:
    static constexpr std::size_t kChunk = 256 * 1024;

    // Makes at least n bytes available from begin_ on.
    void Fill(std::size_t n) {
        const std::size_t have = end_ - begin_;
        const std::size_t wanted = std::max(n, kChunk);
        if (capacity_ < wanted) {
            auto bigger = std::make_unique_for_overwrite<unsigned char[]>(wanted);
            if (have > 0) {
                std::memcpy(bigger.get(), buffer_.get() + begin_, have);
            }
            buffer_ = std::move(bigger);
            capacity_ = wanted;
        } else if (have > 0 && begin_ > 0) {
            std::memmove(buffer_.get(), buffer_.get() + begin_, have);
        }
        begin_ = 0;
        end_ = have;
        while (end_ < n) {
            const qint64 got = file_.read(reinterpret_cast<char*>(buffer_.get() + end_),
                                          static_cast<qint64>(capacity_ - end_));
            if (got <= 0) {
                ThrowStreamReadError();
            }
            end_ += static_cast<std::size_t>(got);
            filePosition_ += static_cast<std::uint64_t>(got);
        }
    }

    QFile& file_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;      // bytes handed out or skipped
    std::uint64_t filePosition_ = 0;  // bytes taken from the file
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

void Put16(unsigned char*& p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p += 2;
}

void Put32(unsigned char*& p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
    p += 4;
}

}  // namespace

QImage DecodeBitmap(const unsigned char* data, std::size_t size, std::uint64_t maxPixels) {
    MemoryBitmapSource source(data, size);
    return DecodeBitmapSource(source, maxPixels);
}

QImage ReadBitmapFile(const QString& fileName, std::uint64_t maxPixels) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        throw std::runtime_error("Cannot open file " + fileName.toStdString());
    }
    FileBitmapSource source(file);
    return DecodeBitmapSource(source, maxPixels);
}

QByteArray EncodeBitmap24(const QImage& image) {
    if (image.isNull()) {
        throw std::invalid_argument("EncodeBitmap24: null image");
    }
    // Colours are taken as 0xAARRGGBB words; alpha is ignored.
    const QImage pixels =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_ARGB32);
    const auto width = static_cast<std::uint64_t>(pixels.width());
    const auto height = static_cast<std::uint64_t>(pixels.height());
    const std::uint64_t stride = (width * 3 + 3) / 4 * 4;
    constexpr std::uint32_t kHeaders = 14 + 40;
    const std::uint64_t fileSize = kHeaders + stride * height;
    if (fileSize > 0xFFFFFFFFu) {
        throw std::invalid_argument("EncodeBitmap24: image too big for a bitmap file");
    }

    QByteArray bytes(static_cast<qsizetype>(fileSize), Qt::Uninitialized);
    auto* p = reinterpret_cast<unsigned char*>(bytes.data());
    p[0] = 0x42;
    p[1] = 0x4D;
    p += 2;
    Put32(p, static_cast<std::uint32_t>(fileSize));
    Put32(p, 0);  // reserved
    Put32(p, kHeaders);
    Put32(p, 40);
    Put32(p, static_cast<std::uint32_t>(width));
    Put32(p, static_cast<std::uint32_t>(height));  // positive: bottom-up
    Put16(p, 1);                                   // planes
    Put16(p, 24);                                  // bits per pixel
    Put32(p, 0);                                   // BI_RGB
    Put32(p, static_cast<std::uint32_t>(stride * height));
    Put32(p, 3780);  // 96 dots per inch, in pixels per metre
    Put32(p, 3780);
    Put32(p, 0);  // colours used
    Put32(p, 0);  // important colours

    const int w = pixels.width();
    const std::size_t padding = static_cast<std::size_t>(stride - width * 3);
    for (int y = pixels.height() - 1; y >= 0; --y) {
        const auto* src = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = src[x];
            p[0] = static_cast<unsigned char>(c);
            p[1] = static_cast<unsigned char>(c >> 8);
            p[2] = static_cast<unsigned char>(c >> 16);
            p += 3;
        }
        std::memset(p, 0, padding);
        p += padding;
    }
    return bytes;
}
