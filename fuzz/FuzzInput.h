// Reads typed values off a fuzz input, giving zeros once it is used up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t remaining() const { return size_ - at_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(U16() | (std::uint32_t{U16()} << 16)); }
    // Up to n bytes (fewer at the end of the input).
    std::vector<std::uint8_t> Bytes(std::size_t n) {
        const std::size_t take = n < remaining() ? n : remaining();
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + take);
        at_ += take;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
