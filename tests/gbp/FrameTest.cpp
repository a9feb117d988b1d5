// The frame codec alone: CRC, COBS stuffing, frame decode and the splitter.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Frame.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (auto v : b) {
        std::snprintf(buf, sizeof buf, "%02X ", v);
        s += buf;
    }
    return s;
}

TEST(Crc16, CheckValueAndContinuation) {
    const std::string text = "123456789";
    const Bytes data(text.begin(), text.end());
    EXPECT_EQ(gbp::Crc16(data), 0x29B1);
    const std::uint16_t half = gbp::Crc16(std::span(data.data(), 4));
    EXPECT_EQ(gbp::Crc16(std::span(data.data() + 4, 5), half), 0x29B1);
    EXPECT_EQ(gbp::Crc16({}), 0xFFFF);
}

struct CobsCase {
    Bytes raw;
    Bytes encoded;
};

Bytes NonZeroRun(std::size_t n, std::uint8_t first) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(first + i % 255);
        if (b[i] == 0) {
            b[i] = 1;
        }
    }
    return b;
}

TEST(Cobs, TableOfCases) {
    std::vector<CobsCase> cases = {
        {{}, {0x01}},
        {{0x00}, {0x01, 0x01}},
        {{0x00, 0x00}, {0x01, 0x01, 0x01}},
        {{0x11, 0x22, 0x00, 0x33}, {0x03, 0x11, 0x22, 0x02, 0x33}},
        {{0x11, 0x22, 0x33, 0x44}, {0x05, 0x11, 0x22, 0x33, 0x44}},
        {{0x11, 0x00, 0x00, 0x00}, {0x02, 0x11, 0x01, 0x01, 0x01}},
        {{0x7E, 0x7D, 0xFF}, {0x04, 0x7E, 0x7D, 0xFF}},
    };
    // 254 non-zero bytes fill one block exactly; 255 spill into a second.
    {
        Bytes raw = NonZeroRun(254, 1);
        Bytes enc{0xFF};
        enc.insert(enc.end(), raw.begin(), raw.end());
        enc.push_back(0x01);
        cases.push_back({raw, enc});
    }
    {
        Bytes raw = NonZeroRun(255, 1);
        Bytes enc{0xFF};
        enc.insert(enc.end(), raw.begin(), raw.begin() + 254);
        enc.push_back(0x02);
        enc.push_back(raw[254]);
        cases.push_back({raw, enc});
    }
    {
        Bytes raw = NonZeroRun(253, 1);
        raw.push_back(0);
        Bytes enc{0xFE};
        enc.insert(enc.end(), raw.begin(), raw.begin() + 253);
        enc.push_back(0x01);
        cases.push_back({raw, enc});
    }
    for (const auto& c : cases) {
        const Bytes enc = gbp::CobsEncode(c.raw);
        EXPECT_EQ(enc, c.encoded) << "raw " << Hex(c.raw) << "\n got " << Hex(enc);
        for (auto b : enc) {
            ASSERT_NE(b, 0) << Hex(enc);
        }
        const auto dec = gbp::CobsDecode(enc);
        ASSERT_TRUE(dec) << Hex(enc);
        EXPECT_EQ(*dec, c.raw) << Hex(enc);
    }
}

TEST(Cobs, MalformedBlocksRefused) {
    const std::vector<Bytes> bad = {
        {},                  // empty
        {0x05, 0x11, 0x22},  // code past the end
        {0x03, 0x11, 0x00},  // zero inside
        {0x00},
        {0xFF, 0x01},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(gbp::CobsDecode(b)) << Hex(b);
    }
}

TEST(Frame, RoundTripsSeededRandomPayloads) {
    std::mt19937 rng(20261211);
    for (int i = 0; i < 300; ++i) {
        gbp::Frame f;
        f.type = static_cast<std::uint8_t>(rng());
        f.seq = static_cast<std::uint8_t>(rng());
        const std::size_t n =
            i < 10 ? static_cast<std::size_t>(i) : rng() % (gbp::MaxFramePayload + 1);
        const int zeroShare = static_cast<int>(rng() % 4);  // some payloads full of zeros
        for (std::size_t k = 0; k < n; ++k) {
            f.payload.push_back(
                static_cast<int>(rng() % 4) < zeroShare ? 0 : static_cast<std::uint8_t>(rng()));
        }
        const Bytes wire = gbp::EncodeFrame(f, i % 2 == 0);
        // Delimiters only at the ends; overhead one code byte per 254.
        ASSERT_EQ(wire.back(), 0);
        const std::size_t lead = i % 2 == 0 ? 1 : 0;
        for (std::size_t k = lead; k + 1 < wire.size(); ++k) {
            ASSERT_NE(wire[k], 0) << "case " << i << " at " << k;
        }
        const std::size_t body = n + 4;
        EXPECT_LE(wire.size(), lead + body + body / 254 + 2) << "case " << i;

        gbp::FrameSplitter splitter;
        int blocks = 0;
        for (auto b : wire) {
            if (splitter.Push(b) == gbp::FrameSplitter::Event::Block) {
                ++blocks;
                gbp::FrameError error = gbp::FrameError::BadCrc;
                const auto back = gbp::DecodeFrame(splitter.Block(), &error);
                ASSERT_TRUE(back) << "case " << i << " error " << static_cast<int>(error);
                EXPECT_EQ(*back, f) << "case " << i;
                EXPECT_EQ(error, gbp::FrameError::None);
            }
        }
        EXPECT_EQ(blocks, 1) << "case " << i;
    }
}

Bytes BlockOf(const gbp::Frame& f) {
    Bytes wire = gbp::EncodeFrame(f);
    wire.pop_back();
    return wire;
}

TEST(Frame, TruncatedAndGarbledFramesRefused) {
    const gbp::Frame f{0x84, 7, {0x10, 0x00, 0x20, 0x30, 0x00, 0x00, 0x40}};
    const Bytes block = BlockOf(f);
    // Every truncation is refused.
    for (std::size_t n = 0; n < block.size(); ++n) {
        EXPECT_FALSE(gbp::DecodeFrame(std::span(block.data(), n))) << "first " << n << " bytes";
    }
    // No single-bit change of this frame gets through.
    for (std::size_t k = 0; k < block.size(); ++k) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = block;
            bad[k] = static_cast<std::uint8_t>(bad[k] ^ (1 << bit));
            if (bad[k] == 0) {
                continue;  // would be a delimiter, i.e. a split, not a frame
            }
            EXPECT_FALSE(gbp::DecodeFrame(bad)) << "byte " << k << " bit " << bit;
        }
    }
    // Too short once decoded, and too long.
    gbp::FrameError error = gbp::FrameError::None;
    EXPECT_FALSE(gbp::DecodeFrame(gbp::CobsEncode(Bytes{0x01, 0x02, 0x03}), &error));
    EXPECT_EQ(error, gbp::FrameError::TooShort);
    gbp::Frame big{1, 1, Bytes(gbp::MaxFramePayload + 1, 0x55)};
    EXPECT_FALSE(gbp::DecodeFrame(BlockOf(big), &error));
    EXPECT_EQ(error, gbp::FrameError::TooLong);
    Bytes wrongCrc = gbp::CobsEncode(Bytes{0x01, 0x02, 0xAA, 0xBB});
    EXPECT_FALSE(gbp::DecodeFrame(wrongCrc, &error));
    EXPECT_EQ(error, gbp::FrameError::BadCrc);
}

TEST(FrameSplitter, SkipsEmptyBlocksAndBoundsOverlongOnes) {
    gbp::FrameSplitter splitter(8);
    using E = gbp::FrameSplitter::Event;
    std::vector<E> events;
    const Bytes stream = {0, 0, 1, 2, 3, 0, 0,                 // block {1,2,3}
                          9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 0,  // too long: one overflow
                          4, 0};                               // block {4}
    std::vector<Bytes> blocks;
    for (auto b : stream) {
        const E e = splitter.Push(b);
        if (e != E::None) {
            events.push_back(e);
        }
        if (e == E::Block) {
            blocks.emplace_back(splitter.Block().begin(), splitter.Block().end());
        }
    }
    EXPECT_EQ(events, (std::vector<E>{E::Block, E::Overflow, E::Block}));
    EXPECT_EQ(blocks, (std::vector<Bytes>{{1, 2, 3}, {4}}));
}

}  // namespace
