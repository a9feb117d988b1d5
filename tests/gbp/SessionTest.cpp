// The library's protocol logic over a scripted link: retries, stale and
// damaged replies, refusals, a dropped line, and phones whose replies lie.
// No device and no waiting: the scripted link answers at once and reports a
// timeout as soon as it has nothing more to give.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "GBP.h"
#include "Phone.h"
#include "Protocol.h"
#include "Session.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace proto = gbp::proto;

class ScriptedLink : public gbp::Link {
public:
    // Called with each decoded request and how often a request with this
    // sequence number and type came before; returns the bytes to deliver.
    using Responder = std::function<Bytes(const gbp::Frame&, int attempt)>;

    explicit ScriptedLink(Responder r) : respond_(std::move(r)) {}

    Status Send(std::span<const std::uint8_t> bytes, gbp::Clock::time_point) override {
        if (dropped) {
            return Status::Dropped;
        }
        ++sends;
        for (auto b : bytes) {
            if (splitter_.Push(b) != gbp::FrameSplitter::Event::Block) {
                continue;
            }
            auto f = gbp::DecodeFrame(splitter_.Block());
            if (!f) {
                ADD_FAILURE() << "library sent a bad frame";
                continue;
            }
            const int attempt = (last_ && last_->seq == f->seq && last_->type == f->type)
                                    ? ++attempt_
                                    : (attempt_ = 0);
            last_ = *f;
            requests.push_back(*f);
            const Bytes out = respond_(*f, attempt);
            inbox_.insert(inbox_.end(), out.begin(), out.end());
        }
        return Status::Ok;
    }

    Status Receive(std::vector<std::uint8_t>& out, gbp::Clock::time_point) override {
        if (inbox_.empty()) {
            return dropped ? Status::Dropped : Status::Timeout;
        }
        out.insert(out.end(), inbox_.begin(), inbox_.end());
        inbox_.clear();
        return Status::Ok;
    }

    bool dropped = false;
    int sends = 0;
    std::vector<gbp::Frame> requests;

private:
    Responder respond_;
    gbp::FrameSplitter splitter_;
    std::optional<gbp::Frame> last_;
    int attempt_ = 0;
    Bytes inbox_;
};

gbp::Timing FastTiming(int retries = 3, std::size_t chunk = 4096) {
    gbp::Timing t;
    t.timeoutMs = 1;
    t.retries = retries;
    t.chunk = chunk;
    return t;
}

// A responder that answers like the emulator's phone.
ScriptedLink::Responder Honest(emulator::Phone& phone) {
    return [&phone](const gbp::Frame& f, int) {
        bool changed = false;
        return gbp::EncodeFrame(phone.Handle(f, changed));
    };
}

Bytes Pattern(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) {
        v = static_cast<std::uint8_t>(rng());
    }
    return b;
}

// A 5565-byte window inside a larger buffer whose guard bytes must survive.
struct Guarded {
    static constexpr std::size_t Guard = 4096;
    Bytes all = Bytes(Guard + 5565 + Guard, 0xA5);
    std::uint8_t* data() { return all.data() + Guard; }
    bool GuardsIntact() const {
        for (std::size_t i = 0; i < Guard; ++i) {
            if (all[i] != 0xA5 || all[Guard + 5565 + i] != 0xA5) {
                return false;
            }
        }
        return true;
    }
    Bytes Window() const { return Bytes(all.begin() + Guard, all.begin() + Guard + 5565); }
};

TEST(Session, RoundTripThroughThePhoneModel) {
    emulator::Phone phone;
    ScriptedLink link(Honest(phone));
    gbp::Session s(link, FastTiming(3, 1000), 250);  // sequence numbers wrap on the way
    ASSERT_EQ(s.Open(), GBP_OK);
    const Bytes content = Pattern(5565, 1);
    ASSERT_EQ(s.Erase(16, 4), GBP_OK);
    EXPECT_EQ(*phone.File(16, 4), Bytes(5565, 0xFF));
    ASSERT_EQ(s.Write(16, 4, content.data(), content.size()), GBP_OK);
    EXPECT_EQ(*phone.File(16, 4), content);
    Guarded g;
    ASSERT_EQ(s.Read(16, 4, g.data(), 5565), GBP_OK);
    EXPECT_EQ(g.Window(), content);
    EXPECT_TRUE(g.GuardsIntact());
    EXPECT_EQ(s.Close(), GBP_OK);
    // 1000-byte pieces: 6 writes and 6 reads, no retries.
    EXPECT_EQ(link.sends, 1 + 1 + 6 + 6 + 1);
}

TEST(Session, PhoneAnnouncingSmallerChunksIsFollowed) {
    emulator::Phone phone({}, 700);
    ScriptedLink link(Honest(phone));
    gbp::Session s(link, FastTiming(), 0);
    ASSERT_EQ(s.Open(), GBP_OK);
    EXPECT_EQ(s.chunk(), 700u);
    Guarded g;
    ASSERT_EQ(s.Read(16, 4, g.data(), 5565), GBP_OK);
    EXPECT_EQ(g.Window(), emulator::BlankBackgrounds());
}

TEST(Session, LostAndDamagedRepliesAreRetriedAndNotRepeatedByThePhone) {
    emulator::Phone phone;
    const Bytes content = Pattern(5565, 2);
    int erases = 0;
    ScriptedLink link([&](const gbp::Frame& f, int attempt) -> Bytes {
        bool changed = false;
        gbp::Frame reply = phone.Handle(f, changed);
        if (f.type == proto::Erase && changed) {
            ++erases;
        }
        Bytes wire = gbp::EncodeFrame(reply);
        if (attempt == 0 && f.type == proto::Write) {
            return {};  // the reply is lost
        }
        if (attempt == 0 && f.type == proto::Erase) {
            wire[wire.size() / 2] ^= 0x10;  // the reply is damaged
        }
        return wire;
    });
    gbp::Session s(link, FastTiming(), 9);
    ASSERT_EQ(s.Open(), GBP_OK);
    EXPECT_EQ(s.Erase(16, 4), GBP_OK);
    EXPECT_EQ(erases, 1);
    EXPECT_EQ(s.Write(16, 4, content.data(), content.size()), GBP_OK);
    EXPECT_EQ(*phone.File(16, 4), content);
}

TEST(Session, ResultsWhenRetriesRunOut) {
    struct Case {
        const char* name;
        std::function<Bytes(const gbp::Frame&)> reply;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"silence", [](const gbp::Frame&) { return Bytes{}; }, GBP_NO_ANSWER},
        {"only damaged frames",
         [](const gbp::Frame& f) {
             Bytes w = gbp::EncodeFrame({static_cast<std::uint8_t>(f.type | 0x80), f.seq, {1, 2}});
             w[1] ^= 0x01;
             return w;
         },
         GBP_LINE_ERROR},
        {"replies to another sequence number",
         [](const gbp::Frame& f) {
             return gbp::EncodeFrame({static_cast<std::uint8_t>(f.type | 0x80),
                                      static_cast<std::uint8_t>(f.seq + 1),
                                      {}});
         },
         GBP_NO_ANSWER},
        {"reply of another request type",
         [](const gbp::Frame& f) {
             return gbp::EncodeFrame({proto::Close | 0x80, f.seq, {}});
         },
         GBP_NO_ANSWER},
        {"refusal",
         [](const gbp::Frame& f) {
             return gbp::EncodeFrame({proto::Refused, f.seq, {f.type, proto::EraseRefused}});
         },
         GBP_REFUSED},
        {"endless bytes without a delimiter",
         [](const gbp::Frame&) { return Bytes(3 * gbp::MaxFrameBlock, 0x42); }, GBP_LINE_ERROR},
    };
    for (const auto& c : cases) {
        emulator::Phone phone;
        bool opened = false;
        ScriptedLink link([&](const gbp::Frame& f, int) {
            if (!opened) {
                opened = true;
                bool changed = false;
                return gbp::EncodeFrame(phone.Handle(f, changed));
            }
            return c.reply(f);
        });
        gbp::Session s(link, FastTiming(2), 0);
        ASSERT_EQ(s.Open(), GBP_OK) << c.name;
        EXPECT_EQ(s.Erase(16, 4), c.expected) << c.name;
        const int attempts = link.sends - 1;
        EXPECT_EQ(attempts, c.expected == GBP_REFUSED ? 1 : 3) << c.name;
    }
}

TEST(Session, DroppedLineFailsAtOnceFromThenOn) {
    emulator::Phone phone;
    ScriptedLink link(Honest(phone));
    gbp::Session s(link, FastTiming(), 0);
    ASSERT_EQ(s.Open(), GBP_OK);
    link.dropped = true;
    EXPECT_EQ(s.Erase(16, 4), GBP_LINE_ERROR);
    EXPECT_TRUE(s.dropped());
    link.dropped = false;
    const int before = link.sends;
    Guarded g;
    EXPECT_EQ(s.Read(16, 4, g.data(), 5565), GBP_LINE_ERROR);
    EXPECT_EQ(link.sends, before);
}

// Read replies that a phone could send: whatever they claim, nothing lands
// outside the 5565 bytes, and only a consistent file gives GBP_OK.
TEST(Session, ReadNeverWritesPastCapacityWhateverThePhoneClaims) {
    struct Case {
        const char* name;
        // total, offset, number of data bytes, given the request's offset and count
        std::function<std::array<std::uint32_t, 3>(std::uint32_t offset, std::uint32_t count)>
            shape;
        std::int32_t expected;
        std::size_t written;  // bytes of the window that hold the file afterwards
    };
    const std::vector<Case> cases = {
        {"long file",
         [](auto o, auto c) {
             return std::array<std::uint32_t, 3>{20000, o, c};
         },
         GBP_TRUNCATED, 5565},
        {"short file",
         [](auto o, auto c) {
             return std::array<std::uint32_t, 3>{100, o, std::min<std::uint32_t>(c, 100 - o)};
         },
         GBP_OK, 100},
        {"empty file",
         [](auto o, auto) {
             return std::array<std::uint32_t, 3>{0, o, 0};
         },
         GBP_OK, 0},
        {"more data than asked",
         [](auto o, auto c) {
             return std::array<std::uint32_t, 3>{20000, o, c + 50};
         },
         GBP_LINE_ERROR, 0},
        {"data past the announced end",
         [](auto o, auto c) {
             return std::array<std::uint32_t, 3>{10, o, c};
         },
         GBP_LINE_ERROR, 0},
        {"wrong offset",
         [](auto o, auto c) {
             return std::array<std::uint32_t, 3>{5565, o + 1, c};
         },
         GBP_LINE_ERROR, 0},
        {"shorter piece than asked",
         [](auto o, auto) {
             return std::array<std::uint32_t, 3>{5565, o, 10};
         },
         GBP_LINE_ERROR, 0},
        {"total changes between pieces",
         [](auto o, auto c) {
             return std::array<std::uint32_t, 3>{o == 0 ? 5565u : 6000u, o, c};
         },
         GBP_LINE_ERROR, 1000},
    };
    for (const auto& c : cases) {
        const Bytes file = Pattern(20000, 3);
        bool opened = false;
        emulator::Phone phone;
        ScriptedLink link([&](const gbp::Frame& f, int) {
            bool changed = false;
            if (!opened) {
                opened = true;
                return gbp::EncodeFrame(phone.Handle(f, changed));
            }
            const std::uint32_t offset = proto::GetU32(f.payload, 2);
            const std::uint32_t count = proto::GetU16(f.payload, 6);
            const auto [total, off, n] = c.shape(offset, count);
            Bytes payload;
            proto::PutU32(payload, total);
            proto::PutU32(payload, off);
            payload.insert(payload.end(), file.begin() + off, file.begin() + off + n);
            return gbp::EncodeFrame({proto::Read | 0x80, f.seq, payload});
        });
        gbp::Session s(link, FastTiming(1, 1000), 0);
        ASSERT_EQ(s.Open(), GBP_OK) << c.name;
        Guarded g;
        EXPECT_EQ(s.Read(16, 4, g.data(), 5565), c.expected) << c.name;
        EXPECT_TRUE(g.GuardsIntact()) << c.name;
        const Bytes window = g.Window();
        for (std::size_t i = 0; i < 5565; ++i) {
            const std::uint8_t want = i < c.written ? file[i] : 0xA5;
            ASSERT_EQ(window[i], want) << c.name << " byte " << i;
        }
    }
}

// Seeded random bytes and mangled real replies after the open: the session
// neither crashes nor writes outside the window.
TEST(Session, ArbitraryBytesOnTheLineAreSafe) {
    std::mt19937 rng(77);
    for (int round = 0; round < 200; ++round) {
        emulator::Phone phone;
        bool opened = false;
        ScriptedLink link([&](const gbp::Frame& f, int) -> Bytes {
            bool changed = false;
            Bytes real = gbp::EncodeFrame(phone.Handle(f, changed));
            if (!opened) {
                opened = true;
                return real;
            }
            Bytes out;
            switch (rng() % 3) {
                case 0:  // noise
                    out.resize(rng() % 9000);
                    for (auto& b : out) {
                        b = static_cast<std::uint8_t>(rng() % 8 == 0 ? 0 : rng());
                    }
                    return out;
                case 1:  // a valid frame with a random payload
                {
                    Bytes p(rng() % 5000);
                    for (auto& b : p) {
                        b = static_cast<std::uint8_t>(rng());
                    }
                    return gbp::EncodeFrame({static_cast<std::uint8_t>(f.type | 0x80), f.seq, p});
                }
                default:  // the real reply with a few bytes changed
                    for (int k = 0; k < 3; ++k) {
                        real[rng() % real.size()] = static_cast<std::uint8_t>(rng());
                    }
                    return real;
            }
        });
        gbp::Session s(link, FastTiming(1, 64 + rng() % 4033), static_cast<std::uint8_t>(rng()));
        ASSERT_EQ(s.Open(), GBP_OK);
        Guarded g;
        s.Read(16, 4, g.data(), 5565);
        ASSERT_TRUE(g.GuardsIntact()) << "round " << round;
        const Bytes content = Pattern(5565, static_cast<unsigned>(round));
        s.Write(16, 4, content.data(), content.size());
        s.Erase(16, 4);
        s.Close();
    }
}

}  // namespace
