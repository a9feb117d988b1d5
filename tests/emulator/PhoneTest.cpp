// The emulator's phone model: service mode, the store, repeated requests,
// pieces of a write, and refusals of what a phone would not do.
#include <gtest/gtest.h>

#include <vector>

#include "Phone.h"
#include "Protocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace proto = gbp::proto;

class PhoneModel : public ::testing::Test {
protected:
    gbp::Frame Ask(std::uint8_t type, Bytes payload) {
        bool changed = false;
        last = phone.Handle({type, seq++, std::move(payload)}, changed);
        lastChanged = changed;
        return last;
    }
    void Open() { ASSERT_EQ(Ask(proto::Open, {'G', 'B', 'P', 1}).type, proto::Open | 0x80); }
    static Bytes Write(std::uint32_t total, std::uint32_t offset, Bytes data) {
        Bytes p{16, 4};
        proto::PutU32(p, total);
        proto::PutU32(p, offset);
        p.insert(p.end(), data.begin(), data.end());
        return p;
    }
    static Bytes Read(std::uint32_t offset, std::uint16_t count) {
        Bytes p{16, 4};
        proto::PutU32(p, offset);
        proto::PutU16(p, count);
        return p;
    }
    // The reason of a refusal, or 0 when the reply is not one.
    int Reason() const {
        return last.type == proto::Refused && last.payload.size() == 2 ? last.payload[1] : 0;
    }

    emulator::Phone phone;
    std::uint8_t seq = 0;
    gbp::Frame last;
    bool lastChanged = false;
};

TEST_F(PhoneModel, StartsWithTheBlankEntry) {
    const Bytes blank = emulator::BlankBackgrounds();
    ASSERT_EQ(blank.size(), 5565u);
    EXPECT_EQ(Bytes(blank.begin(), blank.begin() + 12),
              (Bytes{0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(blank.begin() + 12, blank.end()), Bytes(5553, 0xFF));
    EXPECT_EQ(*phone.File(16, 4), blank);
}

TEST_F(PhoneModel, FileRequestsNeedServiceMode) {
    for (auto [type, payload] :
         std::vector<std::pair<std::uint8_t, Bytes>>{{proto::Erase, {16, 4}},
                                                     {proto::Read, Read(0, 10)},
                                                     {proto::Write, Write(1, 0, {1})}}) {
        Ask(type, payload);
        EXPECT_EQ(Reason(), proto::NotInServiceMode) << int(type);
    }
    Open();
    Ask(proto::Close, {});
    EXPECT_EQ(last.type, proto::Close | 0x80);
    Ask(proto::Erase, {16, 4});
    EXPECT_EQ(Reason(), proto::NotInServiceMode);
    EXPECT_EQ(*phone.File(16, 4), emulator::BlankBackgrounds());
}

TEST_F(PhoneModel, MalformedAndUnknownRequestsAreRefused) {
    Ask(proto::Open, {'G', 'B', 'X', 1});
    EXPECT_EQ(Reason(), proto::Malformed);
    Ask(proto::Open, {'G', 'B', 'P', 2});
    EXPECT_EQ(Reason(), proto::Malformed);
    Open();
    const std::vector<std::pair<std::uint8_t, Bytes>> bad = {
        {proto::Erase, {16}},
        {proto::Erase, {16, 4, 0}},
        {proto::Read, {16, 4, 0}},
        {proto::Read, Read(6000, 10)},
        {proto::Write, {16, 4, 0}},
        {proto::Write, Write(10, 5, Bytes(6, 1))},
        {proto::Write, Write(10, 11, {})},
    };
    for (const auto& [type, payload] : bad) {
        Ask(type, payload);
        EXPECT_EQ(Reason(), proto::Malformed)
            << int(type) << " with " << payload.size() << " bytes";
    }
    Ask(proto::Write, Write(70000, 0, {1}));
    EXPECT_EQ(Reason(), proto::TooLarge);
    Ask(0x42, {});
    EXPECT_EQ(Reason(), proto::UnknownRequest);
    Ask(proto::Read, Bytes{9, 9, 0, 0, 0, 0, 1, 0});
    EXPECT_EQ(Reason(), proto::NoSuchFile);
    EXPECT_EQ(*phone.File(16, 4), emulator::BlankBackgrounds());
}

TEST_F(PhoneModel, WriteTakesEffectOnlyWithItsLastPiece) {
    Open();
    Ask(proto::Write, Write(6, 0, {1, 2, 3}));
    EXPECT_EQ(proto::GetU32(last.payload, 0), 3u);
    EXPECT_FALSE(lastChanged);
    EXPECT_EQ(*phone.File(16, 4), emulator::BlankBackgrounds());
    // A gap is refused and leaves the pending content as it was.
    Ask(proto::Write, Write(6, 4, {5, 6}));
    EXPECT_EQ(Reason(), proto::OutOfOrder);
    Ask(proto::Write, Write(7, 3, {4, 5, 6}));
    EXPECT_EQ(Reason(), proto::OutOfOrder);
    Ask(proto::Write, Write(6, 3, {4, 5, 6}));
    EXPECT_TRUE(lastChanged);
    EXPECT_EQ(*phone.File(16, 4), (Bytes{1, 2, 3, 4, 5, 6}));
    // A piece that does not start a write and follows none is refused.
    Ask(proto::Write, Write(6, 3, {4, 5, 6}));
    EXPECT_EQ(Reason(), proto::OutOfOrder);
    // A zero-length file is one empty piece.
    Ask(proto::Write, Write(0, 0, {}));
    EXPECT_TRUE(lastChanged);
    EXPECT_TRUE(phone.File(16, 4)->empty());
}

TEST_F(PhoneModel, RepeatedRequestIsAnsweredAgainNotDoneAgain) {
    Open();
    bool changed = false;
    const gbp::Frame write{proto::Write, 40, Write(4, 0, {9, 9, 9, 9})};
    const gbp::Frame first = phone.Handle(write, changed);
    EXPECT_TRUE(changed);
    const gbp::Frame again = phone.Handle(write, changed);
    EXPECT_FALSE(changed);
    EXPECT_EQ(again, first);
    // The same number with other content is a new request.
    const gbp::Frame other{proto::Write, 40, Write(2, 0, {7, 7})};
    phone.Handle(other, changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ(*phone.File(16, 4), (Bytes{7, 7}));
}

TEST_F(PhoneModel, ReadPiecesAndErase) {
    emulator::Phone small({}, 100);
    bool changed = false;
    small.Handle({proto::Open, 1, {'G', 'B', 'P', 1}}, changed);
    const gbp::Frame r = small.Handle({proto::Read, 2, Read(5500, 4096)}, changed);
    ASSERT_EQ(r.type, proto::Read | 0x80);
    EXPECT_EQ(proto::GetU32(r.payload, 0), 5565u);
    EXPECT_EQ(proto::GetU32(r.payload, 4), 5500u);
    EXPECT_EQ(r.payload.size(), 8u + 65u);  // to the end, within the 100-byte limit
    const gbp::Frame head = small.Handle({proto::Read, 3, Read(0, 4096)}, changed);
    EXPECT_EQ(head.payload.size(), 8u + 100u);

    Open();
    Ask(proto::Erase, {16, 4});
    EXPECT_TRUE(lastChanged);
    EXPECT_EQ(*phone.File(16, 4), Bytes(5565, 0xFF));

    emulator::Phone refusing({true, true});
    refusing.Handle({proto::Open, 1, {'G', 'B', 'P', 1}}, changed);
    EXPECT_EQ(refusing.Handle({proto::Erase, 2, {16, 4}}, changed).payload,
              (Bytes{proto::Erase, proto::EraseRefused}));
    EXPECT_EQ(refusing.Handle({proto::Write, 3, Write(1, 0, {1})}, changed).payload,
              (Bytes{proto::Write, proto::WriteRefused}));
    EXPECT_EQ(*refusing.File(16, 4), emulator::BlankBackgrounds());
}

}  // namespace
