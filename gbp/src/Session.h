// The library's side of the phone protocol, apart from the serial device: a
// Session runs the stop-and-wait exchanges over any Link, and ReplyMatcher
// turns received bytes into the one reply an exchange waits for. Tests and
// fuzzers drive both with scripted or arbitrary bytes, no device needed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Frame.h"

namespace gbp {

using Clock = std::chrono::steady_clock;

// A byte line with deadlines. Implementations never block past the deadline.
class Link {
public:
    enum class Status { Ok, Timeout, Dropped };

    virtual ~Link() = default;
    // Sends all of `bytes`, or stops at the deadline (Timeout) or when the
    // line is gone (Dropped).
    virtual Status Send(std::span<const std::uint8_t> bytes, Clock::time_point deadline) = 0;
    // Waits for at least one byte until the deadline and appends what has
    // arrived (at most a few kilobytes) to `out`.
    virtual Status Receive(std::vector<std::uint8_t>& out, Clock::time_point deadline) = 0;
};

// Fewest data bytes per frame the library works with; a phone that announces
// less is not used.
constexpr std::size_t MinChunk = 64;

// Timing of the exchanges. Defaults are the library's; the environment
// variables of GBP.h override them.
struct Timing {
    int timeoutMs = 250;       // wait for a reply beyond its time on the wire
    int retries = 3;           // further attempts after the first
    int baud = 115200;         // line rate, for the time a frame takes on the wire
    std::size_t chunk = 4096;  // data bytes per Read reply / Write request
};

// Feeds the bytes of one exchange and tells when the awaited reply is in.
// Frames with another sequence number, or of a type that answers another
// request, are stale and skipped; frames that fail to decode are counted.
class ReplyMatcher {
public:
    enum class Outcome { Pending, Reply, Refused };

    ReplyMatcher(std::uint8_t requestType, std::uint8_t seq);

    // Takes bytes until an outcome is reached; bytes after it are ignored.
    Outcome Feed(std::span<const std::uint8_t> bytes);
    Outcome outcome() const { return outcome_; }
    // The reply frame (Reply) or the refusal (Refused: payload = type, reason).
    const Frame& reply() const { return reply_; }
    // Frames seen damaged (bad stuffing, CRC, length) so far.
    int damaged() const { return damaged_; }

private:
    std::uint8_t type_;
    std::uint8_t seq_;
    FrameSplitter splitter_;
    Outcome outcome_ = Outcome::Pending;
    Frame reply_;
    int damaged_ = 0;
};

// Time a number of bytes takes on a line of `baud` (10 bits a byte), in ms.
double WireMs(std::size_t bytes, int baud);

// One service-mode session over a link. Every method returns a GBP.h result
// and gives up after timing.retries further attempts of one exchange; a link
// that dropped makes every later call fail at once.
class Session {
public:
    Session(Link& link, Timing timing, std::uint8_t firstSeq);

    std::int32_t Open();
    std::int32_t Close();
    std::int32_t Erase(std::uint8_t first, std::uint8_t second);
    // Puts the file's bytes into data[0..), at most min(file length, capacity).
    std::int32_t Read(std::uint8_t first, std::uint8_t second, std::uint8_t* data,
                      std::size_t capacity);
    std::int32_t Write(std::uint8_t first, std::uint8_t second, const std::uint8_t* data,
                       std::size_t length);

    bool dropped() const { return dropped_; }
    std::size_t chunk() const { return chunk_; }

private:
    // One request and its reply, with retries. On GBP_OK `reply` is the
    // success reply; GBP_REFUSED when the phone refused.
    std::int32_t Exchange(std::uint8_t type, std::vector<std::uint8_t> payload,
                          std::size_t maxReplyPayload, Frame& reply);

    Link& link_;
    Timing timing_;
    std::uint8_t seq_;
    std::size_t chunk_;
    bool dropped_ = false;
};

}  // namespace gbp
