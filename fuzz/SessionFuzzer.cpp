// The library's session over a scripted link whose replies come from the
// input: raw bytes, replies built to pass the CRC with fields the input
// chooses, silences and a dropped line. Checked properties:
//   - Read never writes outside the caller's 5565 bytes (guard bytes on both
//     sides) and writes a prefix of the file: every byte it stored is the
//     phone's byte at that offset, nothing after the first byte left alone;
//     on success the prefix is the whole file or 5565 bytes;
//   - every request on the wire is one valid frame after a leading zero, a
//     retry repeats it byte for byte, a new request takes the next number;
//   - Write sends the caller's bytes in order, no piece above the chunk size,
//     with the total it was given;
//   - results are GBP.h values only, and a dropped line fails every later call.
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "GBP.h"
#include "Protocol.h"
#include "Session.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

using namespace gbp;

namespace {

constexpr std::size_t Capacity = 5565;
constexpr std::size_t Guard = 64;
constexpr std::uint8_t GuardByte = 0xA7;

// The phone's file as the scripted replies tell it: never 0, so a byte the
// library left alone (0) is told apart from one it stored.
std::uint8_t FileByte(std::size_t at) {
    return static_cast<std::uint8_t>(1 + (at * 7 + 3) % 255);
}

class ScriptedLink final : public Link {
public:
    explicit ScriptedLink(FuzzInput& in) : in_(in) {}

    Status Send(std::span<const std::uint8_t> bytes, Clock::time_point) override {
        if (dropped_)
            return Status::Dropped;
        FUZZ_CHECK(bytes.size() >= 2 && bytes.front() == 0 && bytes.back() == 0,
                   "request not framed by delimiters");
        const auto block = bytes.subspan(1, bytes.size() - 2);
        FUZZ_CHECK(std::find(block.begin(), block.end(), 0) == block.end(), "zero in a request");
        const auto frame = DecodeFrame(block);
        FUZZ_CHECK(frame.has_value(), "request does not decode");
        const std::vector<std::uint8_t> wire(bytes.begin(), bytes.end());
        if (request_ && frame->seq == request_->seq) {
            FUZZ_CHECK(wire == lastWire_, "a retry differs from its first attempt");
        } else if (request_) {
            FUZZ_CHECK(frame->seq == static_cast<std::uint8_t>(request_->seq + 1),
                       "request seq %u after %u", frame->seq, request_->seq);
        }
        if (!request_ || frame->seq != request_->seq)
            splitter_.Reset();
        request_ = *frame;
        lastWire_ = wire;
        sent.push_back(*frame);
        attemptOver_ = false;
        if (in_.Byte() == 0xFD) {  // the line drops while sending
            dropped_ = true;
            return Status::Dropped;
        }
        return Status::Ok;
    }

    Status Receive(std::vector<std::uint8_t>& out, Clock::time_point) override {
        if (dropped_)
            return Status::Dropped;
        if (!held_.empty()) {  // the rest of a reply cut in two
            Deliver(held_, out);
            held_.clear();
            return Status::Ok;
        }
        if (attemptOver_ || in_.empty())
            return Status::Timeout;
        const std::uint8_t tag = in_.Byte();
        if (tag < 40) {  // raw bytes
            Deliver(in_.Bytes(1 + tag * 4), out);
        } else if (tag < 240) {
            const Frame reply = BuildReply(tag);
            std::vector<std::uint8_t> wire = EncodeFrame(reply, tag & 1);
            if (tag >= 230)  // damaged on the way
                wire[in_.U16() % wire.size()] ^= static_cast<std::uint8_t>(1 + in_.Byte() % 255);
            // Delivered in two reads where the input says so.
            const std::size_t cut = (tag & 2) ? in_.U16() % (wire.size() + 1) : wire.size();
            Deliver(std::vector<std::uint8_t>(wire.begin(), wire.begin() + static_cast<long>(cut)),
                    out);
            held_.assign(wire.begin() + static_cast<long>(cut), wire.end());
        } else if (tag < 252) {
            attemptOver_ = true;
            return Status::Timeout;
        } else {
            dropped_ = true;
            return Status::Dropped;
        }
        return Status::Ok;
    }

    bool dropped() const { return dropped_; }
    // Set once a frame the script did not build reached the library.
    bool unscripted = false;
    std::vector<std::uint32_t> totals;  // totals announced in built Read replies so far
    std::vector<Frame> sent;

private:
    // Follows the bytes as the library's matcher sees them (one splitter per
    // request): a frame that passes the CRC but is not one the script built
    // carries content that is not the scripted file's.
    void Deliver(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& out) {
        for (std::uint8_t b : bytes) {
            if (splitter_.Push(b) != FrameSplitter::Event::Block)
                continue;
            if (const auto f = DecodeFrame(splitter_.Block()))
                if (std::find(scripted_.begin(), scripted_.end(), *f) == scripted_.end())
                    unscripted = true;
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
    }

    Frame BuildReply(std::uint8_t tag) {
        const Frame req = request_.value_or(Frame{});
        Frame reply;
        const std::uint8_t mode = in_.Byte();
        reply.seq = mode < 200 ? req.seq : static_cast<std::uint8_t>(req.seq + in_.Byte());
        if (mode % 16 == 15) {  // a refusal
            reply.type = proto::Refused;
            reply.payload = {mode % 32 == 31 ? in_.Byte() : req.type, in_.Byte()};
            scripted_.push_back(reply);
            return reply;
        }
        reply.type =
            mode % 16 == 14 ? in_.Byte() : static_cast<std::uint8_t>(req.type | proto::ReplyFlag);
        if (mode % 16 == 13) {  // any payload
            reply.payload = in_.Bytes(in_.U16() % 4300);
            return reply;
        }
        switch (req.type) {
            case proto::Open:
                reply.payload = {static_cast<std::uint8_t>(tag & 4 ? in_.Byte() : proto::Version)};
                proto::PutU16(reply.payload,
                              tag & 8 ? in_.U16() : static_cast<std::uint16_t>(4096));
                break;
            case proto::Read: {
                const std::uint32_t offset =
                    req.payload.size() >= 8 ? proto::GetU32(req.payload, 2) : 0;
                const std::uint16_t count =
                    req.payload.size() >= 8 ? proto::GetU16(req.payload, 6) : 0;
                const std::uint8_t shape = in_.Byte();
                const std::uint32_t total = shape < 128   ? 5565
                                            : shape < 200 ? in_.U16()
                                                          : in_.U32();
                const std::uint32_t at = (shape & 7) == 7 ? in_.U32() : offset;
                std::size_t n = (shape & 24) == 24 ? in_.U16() % 4200
                                : total > at       ? std::min<std::size_t>(count, total - at)
                                                   : 0;
                reply.payload.clear();
                proto::PutU32(reply.payload, total);
                proto::PutU32(reply.payload, at);
                n = std::min<std::size_t>(n, MaxFramePayload - 8);
                for (std::size_t i = 0; i < n; ++i)
                    reply.payload.push_back(FileByte(at + i));
                totals.push_back(total);
                break;
            }
            case proto::Write: {
                std::uint32_t held = 0;
                if (req.payload.size() >= 10)
                    held = proto::GetU32(req.payload, 6) +
                           static_cast<std::uint32_t>(req.payload.size() - 10);
                if (mode & 64)
                    held = in_.U32();
                proto::PutU32(reply.payload, held);
                break;
            }
            default:
                if (mode & 64)
                    reply.payload = in_.Bytes(in_.Byte() % 8);
                break;
        }
        scripted_.push_back(reply);
        return reply;
    }

    FuzzInput& in_;
    std::optional<Frame> request_;
    std::vector<std::uint8_t> lastWire_;
    std::vector<std::uint8_t> held_;
    FrameSplitter splitter_;
    std::vector<Frame> scripted_;  // built replies whose data is the scripted file's
    bool attemptOver_ = false;
    bool dropped_ = false;
};

bool KnownResult(std::int32_t r) {
    return r >= GBP_TRUNCATED && r <= GBP_OK;
}

void CheckRead(Session& session, ScriptedLink& link, bool droppedBefore) {
    std::vector<std::uint8_t> buffer(Guard + Capacity + Guard, GuardByte);
    std::fill_n(buffer.begin() + Guard, Capacity, 0);
    std::uint8_t* data = buffer.data() + Guard;
    const std::size_t sentBefore = link.sent.size();
    const std::int32_t r = session.Read(16, 4, data, Capacity);
    FUZZ_CHECK(KnownResult(r), "Read gave %d", r);
    for (std::size_t i = 0; i < Guard; ++i) {
        FUZZ_CHECK(buffer[i] == GuardByte, "Read wrote %zu bytes before the buffer", Guard - i);
        FUZZ_CHECK(buffer[Guard + Capacity + i] == GuardByte, "Read wrote past byte 5565 (at +%zu)",
                   i);
    }
    if (droppedBefore) {
        FUZZ_CHECK(r == GBP_LINE_ERROR && link.sent.size() == sentBefore,
                   "a call after a drop touched the line or gave %d", r);
    }
    for (std::size_t i = sentBefore; i < link.sent.size(); ++i) {
        const Frame& f = link.sent[i];
        FUZZ_CHECK(f.type == proto::Read && f.payload.size() == 8, "Read sent type %02X", f.type);
        const std::uint32_t offset = proto::GetU32(f.payload, 2);
        const std::uint16_t count = proto::GetU16(f.payload, 6);
        FUZZ_CHECK(count >= 1 && count <= session.chunk() && offset + count <= Capacity,
                   "Read asked for %u bytes at %u (chunk %zu)", count, offset, session.chunk());
    }
    if (link.unscripted)
        return;
    std::size_t prefix = 0;
    while (prefix < Capacity && data[prefix] != 0)
        ++prefix;
    for (std::size_t i = 0; i < prefix; ++i)
        FUZZ_CHECK(data[i] == FileByte(i), "byte %zu is %02X, the phone's is %02X", i, data[i],
                   FileByte(i));
    for (std::size_t i = prefix; i < Capacity; ++i)
        FUZZ_CHECK(data[i] == 0, "byte %zu stored after a gap at %zu", i, prefix);
    const std::uint32_t maxTotal =
        link.totals.empty() ? 0 : *std::max_element(link.totals.begin(), link.totals.end());
    FUZZ_CHECK(prefix <= maxTotal, "%zu bytes stored, the phone announced at most %u", prefix,
               maxTotal);
    if (r == GBP_OK || r == GBP_TRUNCATED) {
        bool matches = false;
        for (std::uint32_t t : link.totals)
            matches = matches || (prefix == std::min<std::size_t>(t, Capacity) &&
                                  (r == GBP_TRUNCATED) == (t > Capacity));
        FUZZ_CHECK(matches, "result %d with %zu bytes stored", r, prefix);
    }
}

void CheckWrite(Session& session, ScriptedLink& link, std::size_t length, bool droppedBefore) {
    std::vector<std::uint8_t> source(std::max<std::size_t>(length, 1));
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<std::uint8_t>(i * 13 + 5);
    const std::vector<std::uint8_t> copy = source;
    const std::size_t sentBefore = link.sent.size();
    const std::int32_t r = session.Write(16, 4, source.data(), length);
    FUZZ_CHECK(KnownResult(r), "Write gave %d", r);
    FUZZ_CHECK(source == copy, "Write changed the caller's bytes");
    if (length > proto::MaxFileLength)
        FUZZ_CHECK(r == GBP_BAD_ARGUMENT && link.sent.size() == sentBefore,
                   "Write of %zu bytes gave %d", length, r);
    else if (droppedBefore)
        FUZZ_CHECK(r == GBP_LINE_ERROR && link.sent.size() == sentBefore,
                   "a call after a drop touched the line or gave %d", r);
    std::uint32_t expectOffset = 0;
    std::optional<std::uint8_t> seq;
    for (std::size_t i = sentBefore; i < link.sent.size(); ++i) {
        const Frame& f = link.sent[i];
        FUZZ_CHECK(f.type == proto::Write && f.payload.size() >= 10, "Write sent type %02X",
                   f.type);
        const std::uint32_t total = proto::GetU32(f.payload, 2);
        const std::uint32_t offset = proto::GetU32(f.payload, 6);
        const std::size_t n = f.payload.size() - 10;
        FUZZ_CHECK(total == length, "total %u for %zu bytes", total, length);
        if (seq && *seq == f.seq)
            continue;  // a retry, checked by the link
        seq = f.seq;
        FUZZ_CHECK(offset == expectOffset, "piece at %u, expected %u", offset, expectOffset);
        FUZZ_CHECK(n <= session.chunk() && offset + n <= length, "piece of %zu at %u", n, offset);
        FUZZ_CHECK(std::equal(f.payload.begin() + 10, f.payload.end(), source.begin() + offset),
                   "piece at %u is not the caller's bytes", offset);
        expectOffset = static_cast<std::uint32_t>(offset + n);
    }
    if (r == GBP_OK)
        FUZZ_CHECK(expectOffset == length, "Write succeeded after %u of %zu bytes", expectOffset,
                   length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    Timing timing;
    const std::uint8_t config = in.Byte();
    timing.retries = config % 4;
    timing.chunk = (config & 4) ? 64 + in.U16() % 4100 : 4096;
    timing.timeoutMs = 1;
    ScriptedLink link(in);
    Session session(link, timing, in.Byte());

    int calls = 0;
    while (!in.empty() && ++calls < 40) {
        const bool droppedBefore = session.dropped();
        const std::uint8_t op = in.Byte();
        std::int32_t r = GBP_OK;
        const std::size_t sentBefore = link.sent.size();
        switch (op % 6) {
            case 0:
                r = session.Open();
                break;
            case 1:
                r = session.Close();
                break;
            case 2:
                r = session.Erase(16, 4);
                break;
            case 3:
            case 4:
                CheckRead(session, link, droppedBefore);
                continue;
            default: {
                const std::uint8_t l = in.Byte();
                const std::size_t length =
                    l < 200 ? 5565 : (l < 250 ? in.U16() % 6000 : in.U32() % 70000);
                CheckWrite(session, link, length, droppedBefore);
                continue;
            }
        }
        FUZZ_CHECK(KnownResult(r), "call %u gave %d", op % 6, r);
        if (droppedBefore)
            FUZZ_CHECK(r == GBP_LINE_ERROR && link.sent.size() == sentBefore,
                       "a call after a drop touched the line or gave %d", r);
        if (op % 6 == 0 && r == GBP_OK)
            FUZZ_CHECK(session.chunk() >= MinChunk && session.chunk() <= proto::MaxChunk,
                       "chunk %zu after Open", session.chunk());
    }
    return 0;
}
