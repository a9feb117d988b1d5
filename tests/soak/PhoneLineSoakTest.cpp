// Fault soak of the phone line: many Download and Upload commands, clicked on
// the real window with the real phone library, against the phone emulator
// with seeded faults (no answer, refused erase or write, a line dropped after
// a random number of bytes, corrupted bytes, a slow line). Each transfer is
// checked against the transfer rules:
//   - it returns within the library's time bound for the timeouts in force;
//   - it shows the message the rules give for what failed, if anything, and
//     the caption is back to "Velmoran 1.0";
//   - a failed open leaves the buffer untouched; a download leaves the
//     phone's entry, or a prefix of it read in whole pieces, over zeros with
//     invalid slots blanked; an upload leaves the buffer unchanged;
//   - a download that read everything is the phone's entry byte for byte; an
//     upload reported as done left the phone's entry equal to the buffer, and
//     a failed one left it as it was, erased, or (reply lost) written.
//
// SOAK_TRANSFERS (default 80) sets the number of transfers, SOAK_SEED (default
// 1) the seed of every random choice.
#include "EmulatorProcess.h"
#include "GuiTestSupport.h"
#include "SectionBuffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using phone_harness::EmulatorOptions;
using phone_harness::EmulatorProcess;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const std::string InitFailed = "Unable to initialize GBP mode";
const std::string ClearFailed = "Cannot clear old NVM entry";
const std::string WriteFailed = "Unable to write NVM entry";

enum class Kind { Clean, Mute, RefuseErase, RefuseWrite, Drop, Corrupt, Slow };
const char* const KindNames[] = {"clean",      "mute",    "refuse-erase", "refuse-write",
                                 "drop-after", "corrupt", "slow"};

struct Config {
    Kind kind = Kind::Clean;
    int chunk = 4096;     // the emulator's --max-chunk, so the library's chunk
    int baud = 0;         // emulator pacing; 0 = unpaced
    double corrupt = 0;   // --corrupt
    unsigned seed = 1;    // --seed
    long dropAfter = 0;   // --drop-after
    int timeoutMs = 150;  // GBP_TIMEOUT_MS
    int retries = 3;      // GBP_RETRIES
    int transfers = 1;    // transfers against this emulator
};

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v)
        return fallback;
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    return (end && *end == '\0' && n > 0) ? n : fallback;
}

// A section image: random bytes, each slot valid with probability 7/8.
Bytes RandomEntry(std::mt19937& rng) {
    Bytes b(SectionSize);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    for (int n = 1; n <= 3; ++n) {
        if (rng() % 8 == 0)
            continue;
        b[SlotOffset(n)] = 0x60;
        b[SlotOffset(n) + 1] = 0x4D;
        b[SlotOffset(n) + 2] = 0x00;
    }
    return b;
}

// What a download leaves when the first `count` bytes of `entry` were read.
Bytes Repaired(const Bytes& entry, std::size_t count) {
    Bytes out(SectionSize, 0);
    std::copy_n(entry.begin(), std::min({count, entry.size(), SectionSize}), out.begin());
    for (int n = 1; n <= 3; ++n) {
        const std::uint8_t* s = out.data() + SlotOffset(n);
        if (!(s[0] == 0x60 && s[1] == 0x4D && s[2] == 0x00))
            std::fill_n(out.begin() + static_cast<long>(SlotOffset(n)), SlotSize, 0xFF);
    }
    return out;
}

Bytes Erased(const Bytes& entry) {
    return Bytes(entry.size(), 0xFF);
}

// Bytes of a frame with `payload` on the wire: COBS overhead, CRC, type,
// sequence number, leading and trailing delimiter.
double WireBytes(std::size_t payload) {
    const double body = static_cast<double>(payload) + 4;
    return body + std::ceil(body / 254) + 2;
}

// The library's bound for one transfer (docs/protocol.md 1.4): each exchange
// makes at most retries + 1 attempts, each waiting at most the timeout plus
// 1.25 x the time of the request and the longest reply on the wire; taken
// here for the largest frames of the transfer. Seconds.
double TransferBound(const Config& c, bool upload) {
    const int baud = c.baud > 0 ? c.baud : 115200;
    const auto chunk = static_cast<std::size_t>(c.chunk);
    const double wire = WireBytes(chunk + 10) + WireBytes(chunk + 8);
    const double attemptMs = c.timeoutMs + 1.25 * wire * 10.0 * 1000.0 / baud;
    const auto pieces = static_cast<double>((SectionSize + chunk - 1) / chunk);
    const double exchanges = upload ? 3 + pieces : 2 + pieces;  // Open, (Erase), pieces, Close
    return exchanges * (c.retries + 1) * attemptMs / 1000.0;
}

// Allowance beyond the library's bound for the window's own work (drawing
// the slots, the message box answered from a timer) and a loaded machine.
constexpr double SlackSeconds = 1.0;

class PhoneLineSoak : public MainWindowTest {
protected:
    struct Outcome {
        std::string box;  // empty: none shown
        double seconds = 0;
    };

    Outcome Run(QWidget* button) {
        ModalDriver driver;
        const auto start = Clock::now();
        Click(button);
        Outcome o;
        o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LE(driver.boxes.size(), 1u) << "more than one message box";
        for (const auto& b : driver.boxes) {
            o.box = b.text.toStdString();
            EXPECT_EQ(b.caption.toStdString(), "Error") << "box \"" << o.box << "\"";
        }
        EXPECT_EQ(Form1->windowTitle().toStdString(), "Velmoran 1.0");
        return o;
    }

    Config RandomConfig(std::mt19937& rng) {
        Config c;
        c.kind = static_cast<Kind>(rng() % 7);
        const int chunks[] = {64, 100, 256, 512, 1024, 1851, 4096};
        c.chunk = chunks[rng() % 7];
        c.seed = static_cast<unsigned>(rng() % 100000 + 1);
        switch (c.kind) {
            case Kind::Clean:
            case Kind::RefuseErase:
            case Kind::RefuseWrite:
                c.transfers = 8;
                break;
            case Kind::Mute:
                c.timeoutMs = 20;
                c.retries = static_cast<int>(rng() % 3);
                c.transfers = 6;
                break;
            case Kind::Drop:
                // Anywhere from the Open exchange to past a whole upload, a
                // quarter of them within the first exchanges.
                c.dropAfter = static_cast<long>(1 + rng() % (rng() % 4 == 0 ? 120 : 13000));
                c.timeoutMs = 60;
                c.retries = 1;
                c.transfers = 1;  // the emulator ends with the line
                break;
            case Kind::Corrupt: {
                const double rates[] = {0.00005, 0.0002, 0.001, 0.004};
                c.corrupt = rates[rng() % 4];
                c.timeoutMs = 40;
                c.retries = 4;
                c.transfers = 8;
                break;
            }
            case Kind::Slow: {
                const int bauds[] = {57600, 115200, 230400, 460800};
                c.baud = bauds[rng() % 4];
                c.transfers = 4;
                if (rng() % 3 == 0)
                    c.corrupt = 0.0002;
                c.retries = c.corrupt > 0 ? 4 : 3;
                break;
            }
        }
        return c;
    }

    EmulatorOptions Options(const Config& c, const Bytes& initial) {
        EmulatorOptions o;
        o.initial = initial;
        o.timeoutMs = c.timeoutMs;
        o.retries = c.retries;
        o.args = {"--max-chunk", std::to_string(c.chunk)};
        if (c.kind == Kind::Mute)
            o.args.push_back("--mute");
        if (c.kind == Kind::RefuseErase)
            o.args.push_back("--refuse-erase");
        if (c.kind == Kind::RefuseWrite)
            o.args.push_back("--refuse-write");
        if (c.dropAfter > 0)
            o.args.insert(o.args.end(), {"--drop-after", std::to_string(c.dropAfter)});
        if (c.corrupt > 0) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%.6f", c.corrupt);
            o.args.insert(o.args.end(), {"--corrupt", rate, "--seed", std::to_string(c.seed)});
        }
        if (c.baud > 0)
            o.args.insert(o.args.end(), {"--baud", std::to_string(c.baud)});
        return o;
    }

    // Whether the faults of this configuration may make any exchange fail: a
    // slow line alone does not, as the library's bound follows its rate.
    static bool MayFail(const Config& c) { return c.kind == Kind::Drop || c.corrupt > 0; }

    void Download(const Config& c, EmulatorProcess& phone, const std::string& what) {
        const Bytes before = BufferCopy();
        const Bytes store = phone.Store();
        const Outcome o = Run(Form1->Button11);
        Check(c, false, o, what);
        const Bytes after = BufferCopy();
        EXPECT_EQ(phone.Store(), store) << what << ": a download changed the phone's entry";
        if (o.box == InitFailed) {
            EXPECT_TRUE(c.kind == Kind::Mute || MayFail(c)) << what << ": open failed";
            EXPECT_EQ(after, before) << what << ": a failed open changed the buffer";
            ++counts[c.kind]["download: open failed"];
            return;
        }
        EXPECT_EQ(o.box, "") << what;
        EXPECT_NE(c.kind, Kind::Mute) << what << ": a mute phone was opened";
        for (TButton* b : {Form1->Button1, Form1->Button2, Form1->Button3})
            EXPECT_TRUE(b->isEnabled()) << what << ": Save BMP disabled after a download";
        if (after == Repaired(store, SectionSize)) {
            // Byte for byte the phone's entry, where its slots are all valid.
            ++counts[c.kind][after == store ? "download: complete, identical"
                                            : "download: complete, slots repaired"];
            return;
        }
        bool prefix = false;
        std::size_t got = 0;
        for (std::size_t k = 0; k < SectionSize && !prefix; k += static_cast<std::size_t>(c.chunk))
            if (after == Repaired(store, k))
                prefix = true, got = k;
        EXPECT_TRUE(prefix) << what << ": the buffer is not a repaired prefix of the phone's entry "
                            << Hex(after, 0, 16) << "/ " << Hex(store, 0, 16);
        EXPECT_TRUE(MayFail(c)) << what << ": only " << got << " bytes read";
        ++counts[c.kind]["download: partial"];
    }

    void Upload(const Config& c, EmulatorProcess& phone, std::mt19937& rng,
                const std::string& what) {
        const Bytes buffer = RandomEntry(rng);
        std::memcpy(SectionBuffer, buffer.data(), SectionSize);
        const Bytes store = phone.Store();
        const Outcome o = Run(Form1->Button12);
        Check(c, true, o, what);
        EXPECT_EQ(BufferCopy(), buffer) << what << ": an upload changed the buffer";
        const Bytes now = phone.Store();
        std::string outcome;
        std::vector<Bytes> allowed;
        if (o.box.empty()) {
            outcome = "upload: done";
            allowed = {buffer};
            EXPECT_TRUE(c.kind == Kind::Clean || c.kind == Kind::Slow || MayFail(c))
                << what << ": upload succeeded";
        } else if (o.box == InitFailed) {
            outcome = "upload: open failed";
            allowed = {store};
            EXPECT_TRUE(c.kind == Kind::Mute || MayFail(c)) << what << ": open failed";
        } else if (o.box == ClearFailed) {
            outcome = "upload: erase failed";
            allowed = {store, Erased(store)};  // erased, its reply lost
            if (c.kind == Kind::RefuseErase)
                allowed = {store};
            EXPECT_TRUE(c.kind == Kind::RefuseErase || MayFail(c)) << what << ": erase failed";
        } else if (o.box == WriteFailed) {
            outcome = "upload: write failed";
            allowed = {Erased(store), buffer};  // written, its last reply lost
            if (c.kind == Kind::RefuseWrite)
                allowed = {Erased(store)};
            EXPECT_TRUE(c.kind == Kind::RefuseWrite || MayFail(c)) << what << ": write failed";
        } else {
            ADD_FAILURE() << what << ": unexpected box \"" << o.box << "\"";
        }
        EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), now) != allowed.end())
            << what << " (" << outcome << "): the phone's entry is " << Hex(now, 0, 16) << "("
            << now.size() << " bytes), the buffer " << Hex(buffer, 0, 16);
        if (!outcome.empty())
            ++counts[c.kind][outcome];
    }

    void Check(const Config& c, bool upload, const Outcome& o, const std::string& what) {
        const double bound = TransferBound(c, upload) + SlackSeconds;
        EXPECT_LE(o.seconds, bound) << what << ": took " << o.seconds << " s";
        worstRatio = std::max(worstRatio, o.seconds / bound);
        totalSeconds += o.seconds;
        ++transfers;
    }

    std::map<Kind, std::map<std::string, int>> counts;
    double worstRatio = 0;
    double totalSeconds = 0;
    long transfers = 0;
};

TEST_F(PhoneLineSoak, TransfersUnderRandomFaults) {
    const long wanted = EnvNumber("SOAK_TRANSFERS", 80);
    const auto seed = static_cast<unsigned>(EnvNumber("SOAK_SEED", 1));
    std::mt19937 rng(seed);
    // GBP_BAUD follows the emulator's pacing; restored at the end.
    const char* savedBaud = std::getenv("GBP_BAUD");
    const std::optional<std::string> baudBefore =
        savedBaud ? std::optional<std::string>(savedBaud) : std::nullopt;
    const auto start = Clock::now();
    int emulators = 0;
    int config = 0;
    while (transfers < wanted && !HasFailure()) {
        const Config c = RandomConfig(rng);
        ::setenv("GBP_BAUD", std::to_string(c.baud > 0 ? c.baud : 115200).c_str(), 1);
        EmulatorProcess phone(Options(c, RandomEntry(rng)));
        ++emulators;
        ++config;
        for (int i = 0; i < c.transfers && transfers < wanted && !HasFailure(); ++i) {
            const bool upload = rng() % 2 == 0;
            char what[160];
            std::snprintf(what, sizeof what,
                          "transfer %ld (%s, config %d: %s chunk %d baud %d corrupt %g seed %u "
                          "drop %ld)",
                          transfers + 1, upload ? "upload" : "download", config,
                          KindNames[static_cast<int>(c.kind)], c.chunk, c.baud, c.corrupt, c.seed,
                          c.dropAfter);
            if (upload)
                Upload(c, phone, rng, what);
            else
                Download(c, phone, what);
        }
    }
    if (baudBefore)
        ::setenv("GBP_BAUD", baudBefore->c_str(), 1);
    else
        ::unsetenv("GBP_BAUD");
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf(
        "soak: %ld transfers, %d emulators, seed %u, %.1f s (%.1f s in transfers), "
        "slowest transfer at %.0f%% of its bound\n",
        transfers, emulators, seed, wall, totalSeconds, worstRatio * 100);
    for (const auto& [kind, outcomes] : counts) {
        std::printf("  %-13s", KindNames[static_cast<int>(kind)]);
        for (const auto& [name, n] : outcomes)
            std::printf("  %s %d;", name.c_str(), n);
        std::printf("\n");
    }
    EXPECT_GE(transfers, wanted);
}

}  // namespace
