// The emulator's phone model fed what a peer may send: raw wire bytes and
// frames built from the input (so requests pass the CRC and reach every
// branch), split and decoded as the emulator does. Checked for every request:
//   - exactly one reply, with the request's number, of the request's type
//     | 0x80 or a refusal naming the request type with a known reason;
//   - the reply fits in a frame and survives its own encoding;
//   - a repeat of the last request (not Open) gets the same reply again;
//   - a Read reply carries the file's bytes at the asked offset, no more than
//     asked or the phone's chunk, and the file's true length;
//   - the store changes only when `changed` is set, and no file grows past
//     65535 bytes.
#include "Frame.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "Phone.h"
#include "Protocol.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

using namespace gbp;

namespace {

// The files a request may name: 16-04, one more that exists, one that does not.
constexpr std::uint8_t Files[3][2] = {{16, 4}, {1, 2}, {7, 7}};

std::vector<std::uint8_t> FileKey(FuzzInput& in) {
    const std::uint8_t pick = in.Byte();
    if (pick < 240)
        return {Files[pick % 3][0], Files[pick % 3][1]};
    return {in.Byte(), in.Byte()};
}

// A request built from the input: mostly well-formed, with its numbers and
// lengths chosen by the input.
Frame BuildRequest(FuzzInput& in, std::uint8_t lastSeq) {
    Frame f;
    const std::uint8_t kind = in.Byte();
    f.type = kind < 250 ? static_cast<std::uint8_t>(1 + kind % 5) : in.Byte();
    const std::uint8_t seqMode = in.Byte();
    f.seq = seqMode < 128 ? static_cast<std::uint8_t>(lastSeq + 1)
                          : (seqMode < 200 ? lastSeq : in.Byte());
    const std::uint8_t shape = in.Byte();
    if (shape >= 240) {  // any payload
        f.payload = in.Bytes(in.U16() % (MaxFramePayload + 8));
        return f;
    }
    switch (f.type) {
        case proto::Open:
            f.payload = {'G', 'B', 'P', proto::Version};
            if (shape >= 200)
                f.payload[shape % 4] = in.Byte();
            break;
        case proto::Erase:
            f.payload = FileKey(in);
            break;
        case proto::Read: {
            f.payload = FileKey(in);
            const std::uint32_t offset = shape < 100 ? in.U16() % 6000 : in.U32();
            proto::PutU32(f.payload, offset);
            proto::PutU16(f.payload, in.U16());
            break;
        }
        case proto::Write: {
            f.payload = FileKey(in);
            const std::uint32_t total = shape < 150 ? in.U16() % 6000 : in.U32();
            const std::uint32_t offset = shape < 100 ? in.U16() % 6000 : in.U32();
            proto::PutU32(f.payload, total);
            proto::PutU32(f.payload, offset);
            const std::size_t n = in.U16() % 4200;
            // Recognisable data that costs the input little.
            const std::uint8_t fill = in.Byte();
            for (std::size_t i = 0; i < n; ++i)
                f.payload.push_back(static_cast<std::uint8_t>(fill + i));
            break;
        }
        default:
            break;
    }
    return f;
}

struct Model {
    explicit Model(FuzzInput& in) {
        const std::uint8_t config = in.Byte();
        emulator::PhoneFaults faults;
        faults.refuseErase = config & 1;
        faults.refuseWrite = config & 2;
        const std::size_t chunk = (config & 4) ? 1 + in.U16() % 4200 : 4096;
        phone.emplace(faults, chunk);
        maxChunk = std::clamp<std::size_t>(chunk, 1, proto::MaxChunk);
        phone->SetFile(1, 2, in.Bytes(in.Byte()));
    }

    std::vector<std::vector<std::uint8_t>> Snapshot() const {
        std::vector<std::vector<std::uint8_t>> s;
        for (const auto& k : Files) {
            const auto* f = phone->File(k[0], k[1]);
            s.push_back(f ? *f : std::vector<std::uint8_t>{0xEE, 0xEE, 0xEE});
        }
        return s;
    }

    void Request(const Frame& request) {
        const bool repeat = request.type != proto::Open && last && *last == request;
        const auto before = Snapshot();
        bool changed = true;
        const Frame reply = phone->Handle(request, changed);
        const auto after = Snapshot();

        FUZZ_CHECK(reply.seq == request.seq, "reply seq %u for %u", reply.seq, request.seq);
        FUZZ_CHECK(reply.payload.size() <= MaxFramePayload, "reply payload of %zu bytes",
                   reply.payload.size());
        const auto wire = EncodeFrame(reply);
        const auto back = DecodeFrame(std::span(wire.data(), wire.size() - 1));
        FUZZ_CHECK(back && *back == reply, "reply does not survive its encoding");
        if (reply.type == proto::Refused) {
            FUZZ_CHECK(reply.payload.size() == 2 && reply.payload[0] == request.type &&
                           reply.payload[1] >= 1 && reply.payload[1] <= 8,
                       "malformed refusal");
        } else {
            FUZZ_CHECK(reply.type == (request.type | proto::ReplyFlag), "reply type %02X for %02X",
                       reply.type, request.type);
        }
        if (repeat) {
            FUZZ_CHECK(reply == lastReply, "a repeated request got another reply");
            FUZZ_CHECK(!changed && before == after, "a repeated request was carried out again");
        }
        if (!changed)
            FUZZ_CHECK(before == after, "store changed without `changed`");
        for (const auto& k : Files) {
            const auto* f = phone->File(k[0], k[1]);
            FUZZ_CHECK(!f || f->size() <= proto::MaxFileLength, "file of %zu bytes", f->size());
        }
        if (request.type == proto::Read && reply.type == (proto::Read | proto::ReplyFlag)) {
            FUZZ_CHECK(request.payload.size() == 8 && reply.payload.size() >= 8, "read shapes");
            const auto* f = phone->File(request.payload[0], request.payload[1]);
            FUZZ_CHECK(f != nullptr, "read of a missing file answered");
            const std::uint32_t total = proto::GetU32(reply.payload, 0);
            const std::uint32_t offset = proto::GetU32(reply.payload, 4);
            const std::size_t n = reply.payload.size() - 8;
            FUZZ_CHECK(total == f->size() && offset == proto::GetU32(request.payload, 2),
                       "read reply total %u offset %u", total, offset);
            FUZZ_CHECK(
                n <= proto::GetU16(request.payload, 6) && n <= maxChunk && offset + n <= f->size(),
                "read reply of %zu bytes", n);
            FUZZ_CHECK(
                std::equal(reply.payload.begin() + 8, reply.payload.end(), f->begin() + offset),
                "read reply data differs from the file");
        }
        last = request;
        lastReply = reply;
    }

    std::optional<emulator::Phone> phone;
    std::size_t maxChunk = 4096;
    std::optional<Frame> last;
    Frame lastReply;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    Model model(in);
    FrameSplitter splitter;
    std::uint8_t lastSeq = 0;
    int steps = 0;
    while (!in.empty() && ++steps < 200) {
        std::vector<std::uint8_t> wire;
        const std::uint8_t tag = in.Byte();
        if (tag < 64) {
            wire = in.Bytes(1 + tag);  // raw bytes, delimiters included as given
        } else {
            const Frame request = BuildRequest(in, lastSeq);
            lastSeq = request.seq;
            wire = EncodeFrame(request, tag & 1);
            if (tag >= 250 && !wire.empty())
                wire[in.U16() % wire.size()] ^= in.Byte();
        }
        for (std::uint8_t byte : wire) {
            if (splitter.Push(byte) != FrameSplitter::Event::Block)
                continue;
            if (auto frame = DecodeFrame(splitter.Block()))
                model.Request(*frame);
        }
    }
    return 0;
}
