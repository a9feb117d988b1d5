#include "Session.h"

#include <algorithm>
#include <cstring>

#include "GBP.h"
#include "Protocol.h"

namespace gbp {

namespace {

// Reply payload beyond the data: total and offset of a Read reply.
constexpr std::size_t ReadReplyHeader = 8;
// Allowance for replies without data.
constexpr std::size_t SmallReply = 16;

std::size_t WireSize(std::size_t payload) {
    const std::size_t body = payload + 4;
    return body + body / 254 + 3;
}

}  // namespace

double WireMs(std::size_t bytes, int baud) {
    return static_cast<double>(bytes) * 10000.0 / static_cast<double>(baud);
}

ReplyMatcher::ReplyMatcher(std::uint8_t requestType, std::uint8_t seq)
    : type_(requestType), seq_(seq) {}

ReplyMatcher::Outcome ReplyMatcher::Feed(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) {
        if (outcome_ != Outcome::Pending) {
            break;
        }
        const FrameSplitter::Event event = splitter_.Push(byte);
        if (event == FrameSplitter::Event::Overflow) {
            ++damaged_;
            continue;
        }
        if (event != FrameSplitter::Event::Block) {
            continue;
        }
        auto frame = DecodeFrame(splitter_.Block());
        if (!frame) {
            ++damaged_;
            continue;
        }
        if (frame->seq != seq_) {
            continue;
        }
        if (frame->type == static_cast<std::uint8_t>(type_ | proto::ReplyFlag)) {
            reply_ = std::move(*frame);
            outcome_ = Outcome::Reply;
        } else if (frame->type == proto::Refused && !frame->payload.empty() &&
                   frame->payload[0] == type_) {
            reply_ = std::move(*frame);
            outcome_ = Outcome::Refused;
        }
    }
    return outcome_;
}

Session::Session(Link& link, Timing timing, std::uint8_t firstSeq)
    : link_(link),
      timing_(timing),
      seq_(firstSeq),
      chunk_(std::clamp<std::size_t>(timing.chunk, MinChunk, proto::MaxChunk)) {}

std::int32_t Session::Exchange(std::uint8_t type, std::vector<std::uint8_t> payload,
                               std::size_t maxReplyPayload, Frame& reply) {
    if (dropped_) {
        return GBP_LINE_ERROR;
    }
    Frame request{type, seq_++, std::move(payload)};
    const std::vector<std::uint8_t> wire = EncodeFrame(request, true);
    // Both frames' time on the wire, with a quarter to spare, plus the
    // phone's allowed turnaround.
    const double wireMs = WireMs(wire.size() + WireSize(maxReplyPayload), timing_.baud) * 1.25;
    const auto perAttempt =
        std::chrono::microseconds(static_cast<long long>((wireMs + timing_.timeoutMs) * 1000.0));

    ReplyMatcher matcher(type, request.seq);
    std::vector<std::uint8_t> received;
    int damagedBefore = 0;
    std::int32_t failure = GBP_NO_ANSWER;
    for (int attempt = 0; attempt <= timing_.retries; ++attempt) {
        const Clock::time_point deadline = Clock::now() + perAttempt;
        const Link::Status sent = link_.Send(wire, deadline);
        if (sent == Link::Status::Dropped) {
            dropped_ = true;
            return GBP_LINE_ERROR;
        }
        while (sent == Link::Status::Ok) {
            received.clear();
            const Link::Status got = link_.Receive(received, deadline);
            if (got == Link::Status::Dropped) {
                dropped_ = true;
                return GBP_LINE_ERROR;
            }
            if (got == Link::Status::Timeout) {
                break;
            }
            switch (matcher.Feed(received)) {
                case ReplyMatcher::Outcome::Reply:
                    reply = matcher.reply();
                    return GBP_OK;
                case ReplyMatcher::Outcome::Refused:
                    reply = matcher.reply();
                    return GBP_REFUSED;
                case ReplyMatcher::Outcome::Pending:
                    break;
            }
        }
        // Damaged frames in this attempt make it a line error; silence, a
        // no-answer. The last attempt decides.
        failure = matcher.damaged() > damagedBefore ? GBP_LINE_ERROR : GBP_NO_ANSWER;
        damagedBefore = matcher.damaged();
    }
    return failure;
}

std::int32_t Session::Open() {
    std::vector<std::uint8_t> payload(std::begin(proto::Magic), std::end(proto::Magic));
    payload.push_back(proto::Version);
    Frame reply;
    const std::int32_t r = Exchange(proto::Open, std::move(payload), SmallReply, reply);
    if (r != GBP_OK) {
        return r;
    }
    if (reply.payload.size() < 3 || reply.payload[0] != proto::Version) {
        return GBP_LINE_ERROR;
    }
    const std::size_t phoneChunk = proto::GetU16(reply.payload, 1);
    if (phoneChunk < MinChunk) {
        return GBP_LINE_ERROR;
    }
    chunk_ = std::min(chunk_, phoneChunk);
    return GBP_OK;
}

std::int32_t Session::Close() {
    Frame reply;
    return Exchange(proto::Close, {}, SmallReply, reply);
}

std::int32_t Session::Erase(std::uint8_t first, std::uint8_t second) {
    Frame reply;
    return Exchange(proto::Erase, {first, second}, SmallReply, reply);
}

std::int32_t Session::Read(std::uint8_t first, std::uint8_t second, std::uint8_t* data,
                           std::size_t capacity) {
    std::size_t offset = 0;
    bool totalKnown = false;
    std::uint32_t total = 0;
    for (;;) {
        const std::size_t limit = totalKnown ? std::min<std::size_t>(total, capacity) : capacity;
        if (totalKnown && offset >= limit) {
            return total > capacity ? GBP_TRUNCATED : GBP_OK;
        }
        if (offset >= capacity) {
            // Only reached before the total is known, with capacity 0.
            return GBP_BAD_ARGUMENT;
        }
        const std::size_t count = std::min(chunk_, limit - offset);
        std::vector<std::uint8_t> payload{first, second};
        proto::PutU32(payload, static_cast<std::uint32_t>(offset));
        proto::PutU16(payload, static_cast<std::uint16_t>(count));
        Frame reply;
        const std::int32_t r =
            Exchange(proto::Read, std::move(payload), ReadReplyHeader + count, reply);
        if (r != GBP_OK) {
            return r;
        }
        // A reply that contradicts the request or an earlier reply is a
        // broken line or phone: nothing of it is stored.
        if (reply.payload.size() < ReadReplyHeader) {
            return GBP_LINE_ERROR;
        }
        const std::uint32_t replyTotal = proto::GetU32(reply.payload, 0);
        const std::uint32_t replyOffset = proto::GetU32(reply.payload, 4);
        const std::size_t length = reply.payload.size() - ReadReplyHeader;
        if (replyOffset != offset || length > count || (totalKnown && replyTotal != total) ||
            offset + length > replyTotal) {
            return GBP_LINE_ERROR;
        }
        // Every reply but the one at the file's end is as long as asked for,
        // which keeps the number of exchanges of one call bounded.
        if (length != std::min<std::size_t>(count, replyTotal - offset)) {
            return GBP_LINE_ERROR;
        }
        total = replyTotal;
        totalKnown = true;
        std::memcpy(data + offset, reply.payload.data() + ReadReplyHeader, length);
        offset += length;
    }
}

std::int32_t Session::Write(std::uint8_t first, std::uint8_t second, const std::uint8_t* data,
                            std::size_t length) {
    if (length > proto::MaxFileLength) {
        return GBP_BAD_ARGUMENT;
    }
    std::size_t offset = 0;
    do {
        const std::size_t count = std::min(chunk_, length - offset);
        std::vector<std::uint8_t> payload{first, second};
        payload.reserve(10 + count);
        proto::PutU32(payload, static_cast<std::uint32_t>(length));
        proto::PutU32(payload, static_cast<std::uint32_t>(offset));
        if (count > 0) {
            payload.insert(payload.end(), data + offset, data + offset + count);
        }
        Frame reply;
        const std::int32_t r = Exchange(proto::Write, std::move(payload), SmallReply, reply);
        if (r != GBP_OK) {
            return r;
        }
        if (reply.payload.size() < 4 || proto::GetU32(reply.payload, 0) != offset + count) {
            return GBP_LINE_ERROR;
        }
        offset += count;
    } while (offset < length);
    return GBP_OK;
}

}  // namespace gbp
