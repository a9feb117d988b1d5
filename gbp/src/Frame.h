// Frame codec of the phone line: CRC-16/CCITT-FALSE, COBS byte stuffing and
// the split of a byte stream into frames at the 0x00 delimiter. Pure functions
// and one small state machine, no I/O, so the phone library and the phone
// emulator share them and they can be tested and fuzzed on their own.
//
// On the wire a frame is COBS(type, seq, payload..., crc_hi, crc_lo) followed
// by one 0x00. The CRC covers type, seq and payload. See docs/protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gbp {

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection,
// no final XOR. Crc16 of "123456789" is 0x29B1. Pass the previous result as
// `crc` to continue over several pieces.
std::uint16_t Crc16(std::span<const std::uint8_t> data, std::uint16_t crc = 0xFFFF);

// Consistent Overhead Byte Stuffing. The encoded block holds no 0x00 and is at
// most one byte per 254 (rounded up, at least one) longer than the input.
std::vector<std::uint8_t> CobsEncode(std::span<const std::uint8_t> data);

// Decodes one block (the bytes between two delimiters, without them). Refuses
// (nullopt) an empty block, a block holding 0x00, and a block whose last code
// byte points past its end.
std::optional<std::vector<std::uint8_t>> CobsDecode(std::span<const std::uint8_t> block);

// Largest payload a frame may carry; larger frames are refused by the decoder.
constexpr std::size_t MaxFramePayload = 4160;
// Largest decoded frame: type, seq, payload, two CRC bytes.
constexpr std::size_t MaxFrameBody = 2 + MaxFramePayload + 2;
// Largest block the splitter keeps (COBS adds at most one byte per 254).
constexpr std::size_t MaxFrameBlock = MaxFrameBody + MaxFrameBody / 254 + 1;

struct Frame {
    std::uint8_t type = 0;
    std::uint8_t seq = 0;
    std::vector<std::uint8_t> payload;

    bool operator==(const Frame&) const = default;
};

enum class FrameError {
    None,
    BadStuffing,  // COBS decoding failed
    TooShort,     // fewer than four bytes once decoded
    TooLong,      // payload above MaxFramePayload
    BadCrc,       // CRC does not match
};

// Wire bytes of one frame: optionally a leading 0x00 (lets the receiver drop a
// partial frame left by noise), the COBS block, the trailing 0x00 delimiter.
// A payload above MaxFramePayload is the caller's error; it is encoded anyway
// and the receiver refuses it.
std::vector<std::uint8_t> EncodeFrame(const Frame& frame, bool leadingDelimiter = false);

// Decodes one block (without delimiters). On failure returns nullopt and, when
// `error` is given, stores the reason there.
std::optional<Frame> DecodeFrame(std::span<const std::uint8_t> block, FrameError* error = nullptr);

// Splits a byte stream into blocks at 0x00. Empty blocks (several delimiters in
// a row) are skipped. A block longer than the limit is reported as Overflow
// (and again for every further limit's worth of bytes) and the bytes up to the
// next delimiter are dropped, so memory stays bounded whatever arrives.
class FrameSplitter {
public:
    enum class Event { None, Block, Overflow };

    explicit FrameSplitter(std::size_t maxBlock = MaxFrameBlock) : max_(maxBlock) {}

    // Takes one byte. After Event::Block, Block() holds the finished block
    // until the next call.
    Event Push(std::uint8_t byte);
    std::span<const std::uint8_t> Block() const { return block_; }
    void Reset();

private:
    std::size_t max_;
    std::vector<std::uint8_t> current_;
    std::vector<std::uint8_t> block_;
    bool overflowing_ = false;
    std::size_t skipped_ = 0;
};

}  // namespace gbp
