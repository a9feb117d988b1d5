// libGBP against the real phone emulator on a pseudo-terminal: what the
// program relies on (result 1 exactly on success, bytes exact, at most 5565
// written) and how the library fails: no device, no answer, refusals, a line
// that drops, a noisy line, calls out of order. Timeouts are shortened
// through the library's environment variables.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "EmulatorProcess.h"
#include "GBP.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using phone_harness::EmulatorOptions;
using phone_harness::EmulatorProcess;
using Clock = std::chrono::steady_clock;

constexpr std::size_t Size = 5565;

Bytes Pattern(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) {
        v = static_cast<std::uint8_t>(rng());
    }
    return b;
}

// Sets an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) {
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Short timeouts for everything that is expected to fail.
EmulatorOptions Fast(std::vector<std::string> args = {},
                     std::optional<Bytes> initial = std::nullopt) {
    EmulatorOptions o;
    o.args = std::move(args);
    o.initial = std::move(initial);
    o.timeoutMs = 40;
    o.retries = 2;
    return o;
}

class Library : public ::testing::Test {
protected:
    void TearDown() override { EndGBPMode(); }
};

TEST_F(Library, DownloadAndUploadRoundTripOverManySessions) {
    const Bytes original = Pattern(Size, 1);
    EmulatorProcess phone(Fast({}, original));
    Bytes expected = original;
    for (int round = 0; round < 4; ++round) {
        // Download, as the program does it.
        ASSERT_EQ(InitGBPMode(4), GBP_OK) << "round " << round;
        Bytes buffer(Size, 0);
        EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
        EndGBPMode();
        ASSERT_EQ(buffer, expected) << "round " << round;

        // Upload a changed entry.
        buffer[12 + static_cast<std::size_t>(round)] ^= 0x5A;
        buffer[Size - 1] = static_cast<std::uint8_t>(round);
        ASSERT_EQ(InitGBPMode(4), GBP_OK);
        EXPECT_EQ(ClearNVMFile(16, 4), GBP_OK);
        EXPECT_EQ(WriteNVMFile(16, 4, buffer.data(), static_cast<std::int32_t>(Size)), GBP_OK);
        EndGBPMode();
        expected = buffer;
        EXPECT_EQ(phone.Store(), expected) << "round " << round;
    }
    EXPECT_EQ(phone.Stop(), 0);
    EXPECT_EQ(phone.Store(), expected);
}

TEST_F(Library, BlankEntryWithoutSectionFile) {
    EmulatorProcess phone(Fast());
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    Bytes buffer(Size, 0);
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
    const Bytes header = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 12), header);
    EXPECT_EQ(Bytes(buffer.begin() + 12, buffer.end()), Bytes(Size - 12, 0xFF));
}

TEST_F(Library, NoDeviceFailsAtOnce) {
    EnvVar com("GBP_COM4", "/nonexistent/tty");
    const auto t = Clock::now();
    const std::int32_t r = InitGBPMode(4);
    EXPECT_NE(r, GBP_OK);
    EXPECT_EQ(r, GBP_PORT_ERROR);
    EXPECT_LT(MsSince(t), 200.0);
    // A file that is not a serial line is not used either.
    EnvVar notTty("GBP_COM4", "/dev/null");
    EXPECT_EQ(InitGBPMode(4), GBP_PORT_ERROR);
}

TEST_F(Library, NoAnswerOnAPseudoTerminalNobodyServes) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    EnvVar com("GBP_COM4", ptsname(master));
    {
        // With the library's defaults: about 1 s, well under 3 s.
        const auto t = Clock::now();
        EXPECT_EQ(InitGBPMode(4), GBP_NO_ANSWER);
        const double ms = MsSince(t);
        EXPECT_GT(ms, 900.0);
        EXPECT_LT(ms, 2500.0);
    }
    {
        EnvVar timeout("GBP_TIMEOUT_MS", "30");
        EnvVar retries("GBP_RETRIES", "1");
        const auto t = Clock::now();
        EXPECT_EQ(InitGBPMode(4), GBP_NO_ANSWER);
        EXPECT_LT(MsSince(t), 500.0);
    }
    close(master);
}

TEST_F(Library, MutePhoneIsNoAnswer) {
    EmulatorProcess phone(Fast({"--mute"}));
    const auto t = Clock::now();
    EXPECT_EQ(InitGBPMode(4), GBP_NO_ANSWER);
    EXPECT_LT(MsSince(t), 1000.0);
    // Three attempts of one open request reached the phone.
    EXPECT_GT(phone.Counts().received, 0u);
}

TEST_F(Library, RefusedEraseLeavesTheFile) {
    const Bytes original = Pattern(Size, 2);
    EmulatorProcess phone(Fast({"--refuse-erase"}, original));
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    EXPECT_EQ(ClearNVMFile(16, 4), GBP_REFUSED);
    EndGBPMode();
    phone.Stop();
    EXPECT_EQ(phone.Store(), original);
}

TEST_F(Library, RefusedWriteLeavesTheErasedFile) {
    EmulatorProcess phone(Fast({"--refuse-write"}, Pattern(Size, 3)));
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    ASSERT_EQ(ClearNVMFile(16, 4), GBP_OK);
    Bytes buffer = Pattern(Size, 4);
    EXPECT_EQ(WriteNVMFile(16, 4, buffer.data(), static_cast<std::int32_t>(Size)), GBP_REFUSED);
    EndGBPMode();
    phone.Stop();
    EXPECT_EQ(phone.Store(), Bytes(Size, 0xFF));
}

TEST_F(Library, LineDroppedDuringRead) {
    const Bytes original = Pattern(Size, 5);
    // The open takes a few dozen bytes; the drop comes inside the first piece.
    EmulatorProcess phone(Fast({"--drop-after", "2000"}, original));
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    Bytes buffer(Size + 64, 0xEE);
    const auto t = Clock::now();
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_LINE_ERROR);
    EXPECT_LT(MsSince(t), 1000.0);
    // Nothing of a damaged piece is kept, and nothing past 5565 is touched.
    EXPECT_EQ(buffer, Bytes(Size + 64, 0xEE));
    EndGBPMode();
    EXPECT_EQ(ClearNVMFile(16, 4), GBP_NOT_OPEN);
}

TEST_F(Library, LineDroppedDuringWriteCommitsNothing) {
    const Bytes original = Pattern(Size, 6);
    EmulatorProcess phone(Fast({"--drop-after", "3000"}, original));
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    ASSERT_EQ(ClearNVMFile(16, 4), GBP_OK);
    Bytes buffer = Pattern(Size, 7);
    const auto t = Clock::now();
    EXPECT_EQ(WriteNVMFile(16, 4, buffer.data(), static_cast<std::int32_t>(Size)), GBP_LINE_ERROR);
    EXPECT_LT(MsSince(t), 1000.0);
    EndGBPMode();
    phone.Stop();
    EXPECT_EQ(phone.Store(), Bytes(Size, 0xFF));
}

TEST_F(Library, NoisyLineIsAbsorbedByRetries) {
    const Bytes original = Pattern(Size, 8);
    EmulatorOptions o = Fast({"--corrupt", "0.0005", "--seed", "11"}, original);
    o.retries = 10;
    o.timeoutMs = 30;
    EnvVar chunk("GBP_CHUNK", "256");
    EmulatorProcess phone(o);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(InitGBPMode(4), GBP_OK) << "round " << round;
        Bytes buffer(Size, 0);
        ASSERT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK) << "round " << round;
        ASSERT_EQ(buffer, original);
        ASSERT_EQ(ClearNVMFile(16, 4), GBP_OK);
        ASSERT_EQ(WriteNVMFile(16, 4, buffer.data(), static_cast<std::int32_t>(Size)), GBP_OK);
        EndGBPMode();
        EXPECT_EQ(phone.Store(), original) << "round " << round;
    }
    const auto counts = phone.Counts();
    EXPECT_GT(counts.corrupted, 5u) << "the line was not noisy enough to test anything";
    std::printf("bytes on the wire %llu, damaged on purpose %llu\n", counts.sent + counts.received,
                counts.corrupted);
}

TEST_F(Library, FileCallsWithoutSessionDoNotTouchTheLine) {
    EmulatorProcess phone(Fast());
    EndGBPMode();
    Bytes buffer(Size, 0x33);
    EXPECT_EQ(ClearNVMFile(16, 4), GBP_NOT_OPEN);
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_NOT_OPEN);
    EXPECT_EQ(WriteNVMFile(16, 4, buffer.data(), static_cast<std::int32_t>(Size)), GBP_NOT_OPEN);
    EXPECT_EQ(buffer, Bytes(Size, 0x33));
    const auto counts = phone.Counts();
    EXPECT_EQ(counts.received, 0u);
    EXPECT_EQ(counts.sent, 0u);
}

TEST_F(Library, BadArguments) {
    EmulatorProcess phone(Fast());
    EXPECT_EQ(InitGBPMode(0), GBP_BAD_ARGUMENT);
    EXPECT_EQ(InitGBPMode(7), GBP_BAD_ARGUMENT);
    EXPECT_EQ(InitGBPMode(255), GBP_BAD_ARGUMENT);
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    const auto before = phone.Counts();
    EXPECT_EQ(ReadNVMFile(16, 4, nullptr, 0), GBP_BAD_ARGUMENT);
    EXPECT_EQ(WriteNVMFile(16, 4, nullptr, 10), GBP_BAD_ARGUMENT);
    std::uint8_t byte = 0;
    EXPECT_EQ(WriteNVMFile(16, 4, &byte, -1), GBP_BAD_ARGUMENT);
    EXPECT_EQ(WriteNVMFile(16, 4, &byte, 70000), GBP_BAD_ARGUMENT);
    // Refused before anything went on the line; the session is still usable.
    EXPECT_EQ(phone.Counts().received, before.received);
    Bytes buffer(Size, 0);
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
}

TEST_F(Library, InitWhileOpenClosesTheOldSession) {
    EmulatorProcess first(Fast({}, Pattern(Size, 9)));
    EmulatorOptions o = Fast({}, Pattern(Size, 10));
    o.port = 5;
    EmulatorProcess second(o);
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    const auto before = first.Counts();
    ASSERT_EQ(InitGBPMode(5), GBP_OK);
    const auto after = first.Counts();
    // The old phone got a close request and answered it.
    EXPECT_GT(after.received, before.received);
    EXPECT_GT(after.sent, before.sent);
    Bytes buffer(Size, 0);
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
    EXPECT_EQ(buffer, Pattern(Size, 10));
    // A refused port still closes what was open.
    EXPECT_EQ(InitGBPMode(9), GBP_BAD_ARGUMENT);
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_NOT_OPEN);
}

TEST_F(Library, FilesOfOtherLengths) {
    struct Case {
        std::size_t length;
        std::int32_t expected;
    };
    for (const Case c : {Case{8000, GBP_TRUNCATED}, Case{100, GBP_OK}, Case{0, GBP_OK}}) {
        const Bytes file = Pattern(c.length, 12);
        EmulatorProcess phone(Fast({}, file));
        ASSERT_EQ(InitGBPMode(4), GBP_OK);
        Bytes buffer(Size + 4096, 0xC3);
        EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), c.expected) << c.length;
        EndGBPMode();
        const std::size_t written = std::min(c.length, Size);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], i < written ? file[i] : 0xC3) << c.length << " byte " << i;
        }
    }
}

}  // namespace
