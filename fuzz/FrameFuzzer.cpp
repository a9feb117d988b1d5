// The library's frame layer over arbitrary bytes: COBS, the frame decoder,
// the splitter and ReplyMatcher. Checked properties:
//   - COBS encoding holds no zero, stays within its overhead and decodes back;
//     a block that decodes re-encodes to a block decoding to the same bytes;
//   - a frame that decodes re-encodes to the same frame, and a frame built from
//     the input decodes back unless its payload is too long;
//   - the splitter's blocks are the non-empty zero-free pieces of the stream
//     that a delimiter ends, never longer than its limit;
//   - ReplyMatcher's outcome does not depend on how the stream is cut into
//     reads, and a reply it takes has the awaited number and type.
#include "Frame.h"
#include "FuzzCheck.h"
#include "Protocol.h"
#include "Session.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

using namespace gbp;

namespace {

void CheckCobs(std::span<const std::uint8_t> in) {
    const std::vector<std::uint8_t> enc = CobsEncode(in);
    FUZZ_CHECK(std::find(enc.begin(), enc.end(), 0) == enc.end(), "COBS output holds a zero");
    FUZZ_CHECK(enc.size() >= in.size() + 1 && enc.size() <= in.size() + in.size() / 254 + 1,
               "COBS of %zu bytes is %zu bytes", in.size(), enc.size());
    const auto back = CobsDecode(enc);
    FUZZ_CHECK(back && std::equal(back->begin(), back->end(), in.begin(), in.end()),
               "COBS round trip of %zu bytes fails", in.size());

    if (const auto dec = CobsDecode(in)) {
        FUZZ_CHECK(dec->size() <= in.size(), "decoded %zu bytes from %zu", dec->size(), in.size());
        const auto again = CobsDecode(CobsEncode(*dec));
        FUZZ_CHECK(again && *again == *dec, "re-encoding a decoded block changes it");
    }
}

void CheckFrame(std::span<const std::uint8_t> in) {
    FrameError error = FrameError::None;
    if (const auto frame = DecodeFrame(in, &error)) {
        FUZZ_CHECK(error == FrameError::None, "decoded frame with error %d", int(error));
        FUZZ_CHECK(frame->payload.size() <= MaxFramePayload, "payload of %zu bytes",
                   frame->payload.size());
        const std::vector<std::uint8_t> wire = EncodeFrame(*frame);
        FUZZ_CHECK(wire.back() == 0, "frame not delimited");
        const auto again = DecodeFrame(std::span(wire.data(), wire.size() - 1));
        FUZZ_CHECK(again && *again == *frame, "frame round trip fails");
    } else {
        FUZZ_CHECK(error != FrameError::None, "refused frame without a reason");
    }

    if (in.size() >= 2) {
        Frame built{in[0], in[1], std::vector<std::uint8_t>(in.begin() + 2, in.end())};
        const std::vector<std::uint8_t> wire = EncodeFrame(built, true);
        FUZZ_CHECK(wire.front() == 0 && wire.back() == 0, "frame not delimited");
        const auto block = std::span(wire.data() + 1, wire.size() - 2);
        FUZZ_CHECK(std::find(block.begin(), block.end(), 0) == block.end(), "zero inside a block");
        const auto decoded = DecodeFrame(block, &error);
        if (built.payload.size() <= MaxFramePayload)
            FUZZ_CHECK(decoded && *decoded == built, "built frame (%zu bytes) does not decode",
                       built.payload.size());
        else
            FUZZ_CHECK(!decoded && error == FrameError::TooLong, "over-long frame accepted");
    }
}

void CheckSplitter(std::span<const std::uint8_t> in, std::size_t limit) {
    FrameSplitter splitter(limit);
    std::vector<std::uint8_t> piece;  // bytes since the last delimiter
    bool overflowed = false;
    for (std::uint8_t byte : in) {
        const auto event = splitter.Push(byte);
        if (byte != 0) {
            piece.push_back(byte);
            if (piece.size() > limit)
                overflowed = true;
            FUZZ_CHECK(event != FrameSplitter::Event::Block, "block without a delimiter");
            continue;
        }
        if (event == FrameSplitter::Event::Block) {
            FUZZ_CHECK(!overflowed && !piece.empty(), "block from an empty or over-long piece");
            const auto block = splitter.Block();
            FUZZ_CHECK(block.size() <= limit, "block of %zu bytes over the limit %zu", block.size(),
                       limit);
            FUZZ_CHECK(std::equal(block.begin(), block.end(), piece.begin(), piece.end()),
                       "block differs from the stream's piece");
        } else {
            FUZZ_CHECK(event != FrameSplitter::Event::Overflow, "overflow at a delimiter");
            FUZZ_CHECK(overflowed || piece.empty(), "piece of %zu bytes dropped", piece.size());
        }
        piece.clear();
        overflowed = false;
    }
}

void CheckMatcher(std::span<const std::uint8_t> in, std::uint8_t type, std::uint8_t seq,
                  std::span<const std::uint8_t> cuts) {
    ReplyMatcher whole(type, seq);
    const auto outcome = whole.Feed(in);

    ReplyMatcher pieces(type, seq);
    std::size_t at = 0;
    std::size_t cut = 0;
    auto stepwise = ReplyMatcher::Outcome::Pending;
    while (at < in.size()) {
        const std::size_t n =
            std::min<std::size_t>(in.size() - at, cuts.empty() ? 1 : 1 + cuts[cut++ % cuts.size()]);
        stepwise = pieces.Feed(in.subspan(at, n));
        at += n;
    }
    FUZZ_CHECK(stepwise == outcome, "outcome %d in one read, %d in pieces", int(outcome),
               int(stepwise));
    if (outcome != ReplyMatcher::Outcome::Pending) {
        FUZZ_CHECK(whole.reply() == pieces.reply(), "reply depends on the reads");
        const Frame& reply = whole.reply();
        FUZZ_CHECK(reply.seq == seq, "reply seq %u for request seq %u", reply.seq, seq);
        if (outcome == ReplyMatcher::Outcome::Reply)
            FUZZ_CHECK(reply.type == (type | proto::ReplyFlag), "reply type %02X for %02X",
                       reply.type, type);
        else
            FUZZ_CHECK(
                reply.type == proto::Refused && !reply.payload.empty() && reply.payload[0] == type,
                "refusal that names another request");
    } else {
        FUZZ_CHECK(whole.damaged() == pieces.damaged(), "damage count depends on the reads");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> in(data, size);
    CheckCobs(in);
    CheckFrame(in);
    CheckSplitter(in, MaxFrameBlock);
    if (size >= 1)
        CheckSplitter(in.subspan(1), 1 + data[0] % 64);
    if (size >= 3)
        CheckMatcher(in.subspan(3), data[0], data[1], in.subspan(2, 1));
    return 0;
}
