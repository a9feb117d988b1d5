// Message set of the phone line, shared by the phone library and the phone
// emulator. Every request is answered by exactly one reply with the same
// sequence number: type | ReplyFlag on success, or Refused. All multi-byte
// numbers are little-endian. docs/protocol.md describes the whole exchange.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gbp::proto {

constexpr std::uint8_t Version = 1;
constexpr std::uint8_t Magic[3] = {'G', 'B', 'P'};

// Requests (library to phone).
constexpr std::uint8_t Open = 0x01;   // 'G' 'B' 'P' version
constexpr std::uint8_t Close = 0x02;  // (empty)
constexpr std::uint8_t Erase = 0x03;  // first second
constexpr std::uint8_t Read = 0x04;   // first second offset:u32 count:u16
constexpr std::uint8_t Write = 0x05;  // first second total:u32 offset:u32 data...

// Replies (phone to library).
constexpr std::uint8_t ReplyFlag = 0x80;  // success: request type | 0x80
constexpr std::uint8_t Refused = 0xFF;    // request-type reason

// Success payloads:
//   Open|0x80:  version maxChunk:u16
//   Close|0x80, Erase|0x80: (empty)
//   Read|0x80:  total:u32 offset:u32 data... (at most count bytes)
//   Write|0x80: held:u32 (bytes of the new content received so far)

// Reasons carried by Refused.
enum Reason : std::uint8_t {
    NotInServiceMode = 1,
    NoSuchFile = 2,
    EraseRefused = 3,
    WriteRefused = 4,
    Malformed = 5,
    UnknownRequest = 6,
    OutOfOrder = 7,
    TooLarge = 8,
};

// Most data bytes one Read reply or Write request carries.
constexpr std::size_t MaxChunk = 4096;
// Longest NVM file the protocol moves (its lengths and offsets are 32-bit,
// the phone keeps files far below this).
constexpr std::uint32_t MaxFileLength = 65535;

inline void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
    }
}

inline std::uint16_t GetU16(std::span<const std::uint8_t> in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

inline std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
    }
    return v;
}

}  // namespace gbp::proto
