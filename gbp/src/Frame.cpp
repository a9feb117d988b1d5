#include "Frame.h"

namespace gbp {

std::uint16_t Crc16(std::span<const std::uint8_t> data, std::uint16_t crc) {
    for (std::uint8_t byte : data) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 0x8000) {
                crc = static_cast<std::uint16_t>((crc << 1) ^ 0x1021);
            } else {
                crc = static_cast<std::uint16_t>(crc << 1);
            }
        }
    }
    return crc;
}

std::vector<std::uint8_t> CobsEncode(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out;
    out.reserve(data.size() + data.size() / 254 + 2);
    std::size_t codeAt = out.size();
    out.push_back(0);
    std::uint8_t code = 1;
    for (std::uint8_t byte : data) {
        if (byte == 0) {
            out[codeAt] = code;
            codeAt = out.size();
            out.push_back(0);
            code = 1;
            continue;
        }
        out.push_back(byte);
        ++code;
        if (code == 0xFF) {
            out[codeAt] = code;
            codeAt = out.size();
            out.push_back(0);
            code = 1;
        }
    }
    out[codeAt] = code;
    return out;
}

std::optional<std::vector<std::uint8_t>> CobsDecode(std::span<const std::uint8_t> block) {
    if (block.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(block.size());
    std::size_t i = 0;
    while (i < block.size()) {
        const std::uint8_t code = block[i];
        if (code == 0) {
            return std::nullopt;
        }
        if (i + code > block.size()) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k < code; ++k) {
            const std::uint8_t byte = block[i + k];
            if (byte == 0) {
                return std::nullopt;
            }
            out.push_back(byte);
        }
        i += code;
        // A code below 0xFF stands for a zero after its run, except at the
        // very end, where the zero is the implied end of the data.
        if (code != 0xFF && i < block.size()) {
            out.push_back(0);
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeFrame(const Frame& frame, bool leadingDelimiter) {
    std::vector<std::uint8_t> body;
    body.reserve(frame.payload.size() + 4);
    body.push_back(frame.type);
    body.push_back(frame.seq);
    body.insert(body.end(), frame.payload.begin(), frame.payload.end());
    const std::uint16_t crc = Crc16(body);
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));

    std::vector<std::uint8_t> wire;
    wire.reserve(body.size() + body.size() / 254 + 3);
    if (leadingDelimiter) {
        wire.push_back(0);
    }
    const std::vector<std::uint8_t> block = CobsEncode(body);
    wire.insert(wire.end(), block.begin(), block.end());
    wire.push_back(0);
    return wire;
}

std::optional<Frame> DecodeFrame(std::span<const std::uint8_t> block, FrameError* error) {
    auto fail = [error](FrameError e) -> std::optional<Frame> {
        if (error) {
            *error = e;
        }
        return std::nullopt;
    };
    if (block.size() > MaxFrameBlock) {
        return fail(FrameError::TooLong);
    }
    const auto body = CobsDecode(block);
    if (!body) {
        return fail(FrameError::BadStuffing);
    }
    if (body->size() < 4) {
        return fail(FrameError::TooShort);
    }
    if (body->size() > MaxFrameBody) {
        return fail(FrameError::TooLong);
    }
    const std::size_t covered = body->size() - 2;
    const std::uint16_t expected = Crc16(std::span(body->data(), covered));
    const std::uint16_t got =
        static_cast<std::uint16_t>(((*body)[covered] << 8) | (*body)[covered + 1]);
    if (expected != got) {
        return fail(FrameError::BadCrc);
    }
    Frame frame;
    frame.type = (*body)[0];
    frame.seq = (*body)[1];
    frame.payload.assign(body->begin() + 2, body->begin() + static_cast<std::ptrdiff_t>(covered));
    if (error) {
        *error = FrameError::None;
    }
    return frame;
}

FrameSplitter::Event FrameSplitter::Push(std::uint8_t byte) {
    if (byte == 0) {
        const bool was = overflowing_;
        overflowing_ = false;
        if (was || current_.empty()) {
            current_.clear();
            return Event::None;
        }
        block_.swap(current_);
        current_.clear();
        return Event::Block;
    }
    if (overflowing_) {
        // Reported again for every further limit's worth of bytes, so a
        // stream that never ends a frame keeps showing up as damage.
        if (++skipped_ < max_) {
            return Event::None;
        }
        skipped_ = 0;
        return Event::Overflow;
    }
    if (current_.size() >= max_) {
        current_.clear();
        overflowing_ = true;
        skipped_ = 0;
        return Event::Overflow;
    }
    current_.push_back(byte);
    return Event::None;
}

void FrameSplitter::Reset() {
    current_.clear();
    block_.clear();
    overflowing_ = false;
    skipped_ = 0;
}

}  // namespace gbp
