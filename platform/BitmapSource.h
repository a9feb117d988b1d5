// The byte input the bitmap decoder reads from, and the decoder over it. A file is streamed
// through a small buffer (BitmapFile.cpp); bytes already in memory are read in place.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

// A forward-only byte source of known size.
class BitmapSource {
public:
    virtual ~BitmapSource() = default;

    // Total number of bytes the source holds.
    virtual std::uint64_t Size() const = 0;
    // Number of bytes consumed so far.
    virtual std::uint64_t Position() const = 0;
    // Consumes the next n bytes and returns them; the pointer stays valid until the next call.
    // Throws std::runtime_error("Stream read error") when fewer than n bytes remain.
    virtual const unsigned char* Read(std::size_t n) = 0;
    // Consumes n bytes without looking at them; "Stream read error" when fewer remain.
    virtual void Skip(std::uint64_t n) = 0;

    std::uint64_t Remaining() const { return Size() - Position(); }
};

// Bytes held by the caller, read in place.
class MemoryBitmapSource final : public BitmapSource {
public:
    MemoryBitmapSource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::uint64_t Size() const override { return size_; }
    std::uint64_t Position() const override { return position_; }
    const unsigned char* Read(std::size_t n) override;
    void Skip(std::uint64_t n) override;

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

[[noreturn]] void ThrowBitmapNotValid();
[[noreturn]] void ThrowStreamReadError();

// Decodes a whole bitmap file from the source into a QImage::Format_RGB32 image.
// Throws std::runtime_error with "Bitmap image is not valid" or "Stream read error", and
// std::bad_alloc when memory for an image within maxPixels cannot be had.
QImage DecodeBitmapSource(BitmapSource& source, std::uint64_t maxPixels);
