// transfer-bench: Download (Init, Read, End) and Upload (Init, Clear, Write,
// End) of the 5565-byte entry through libGBP, with the phone emulator pacing
// both directions at the line rate. Prints the wall time against the line's
// limit for the payload alone, 5565 x 10 / baud seconds, and the bytes on the
// wire (both directions) per payload byte.
//
//   transfer-bench [--reps N] [--baud N] [--chunk N]
//
// Targets: time ratio <= 1.15, wire ratio <= 1.05. Exits 1 when a transfer
// fails or brings wrong bytes, 0 otherwise (the ratios are reported, not
// enforced).
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "EmulatorProcess.h"
#include "GBP.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t Size = 5565;

struct Sample {
    double seconds;
    unsigned long long wire;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    int baud = 115200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--reps") == 0) {
            reps = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--baud") == 0) {
            baud = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--chunk") == 0) {
            setenv("GBP_CHUNK", argv[i + 1], 1);
        }
    }
    setenv("GBP_BAUD", std::to_string(baud).c_str(), 1);

    std::vector<std::uint8_t> entry(Size);
    std::mt19937 rng(5565);
    for (auto& b : entry) {
        b = static_cast<std::uint8_t>(rng());
    }
    phone_harness::EmulatorOptions options;
    options.initial = entry;
    options.args = {"--baud", std::to_string(baud)};
    phone_harness::EmulatorProcess phone(options);

    const double limit = Size * 10.0 / baud;
    std::vector<double> downTimes, upTimes;
    unsigned long long downWire = 0, upWire = 0;
    bool ok = true;
    for (int r = 0; r < reps; ++r) {
        auto before = phone.Counts();
        auto t = Clock::now();
        std::vector<std::uint8_t> buffer(Size, 0);
        ok &= InitGBPMode(4) == GBP_OK;
        ok &= ReadNVMFile(16, 4, buffer.data(), 0) == GBP_OK;
        EndGBPMode();
        downTimes.push_back(std::chrono::duration<double>(Clock::now() - t).count());
        auto after = phone.Counts();
        downWire = after.sent + after.received - before.sent - before.received;
        ok &= buffer == entry;

        buffer[12 + static_cast<std::size_t>(r)] ^= 0xFF;
        before = after;
        t = Clock::now();
        ok &= InitGBPMode(4) == GBP_OK;
        ok &= ClearNVMFile(16, 4) == GBP_OK;
        ok &= WriteNVMFile(16, 4, buffer.data(), static_cast<std::int32_t>(Size)) == GBP_OK;
        EndGBPMode();
        upTimes.push_back(std::chrono::duration<double>(Clock::now() - t).count());
        after = phone.Counts();
        upWire = after.sent + after.received - before.sent - before.received;
        ok &= phone.Store() == buffer;
        entry = buffer;
    }
    phone.Stop();

    const char* chunk = getenv("GBP_CHUNK");
    std::printf(
        "line %d baud, 8N1; payload %zu bytes; line limit %.3f s; %d runs (median); chunk %s\n",
        baud, Size, limit, reps, chunk ? chunk : "default");
    auto report = [&](const char* name, double seconds, unsigned long long wire) {
        const double timeRatio = seconds / limit;
        const double wireRatio = static_cast<double>(wire) / Size;
        std::printf(
            "%-8s %.3f s  time ratio %.3f (target <= 1.15 %s)  wire %llu bytes, ratio %.3f "
            "(target <= 1.05 %s)\n",
            name, seconds, timeRatio, timeRatio <= 1.15 ? "met" : "MISSED", wire, wireRatio,
            wireRatio <= 1.05 ? "met" : "MISSED");
    };
    report("Download", Median(downTimes), downWire);
    report("Upload", Median(upTimes), upWire);
    if (!ok) {
        std::printf("a transfer failed or brought wrong bytes\n");
        return 1;
    }
    return 0;
}
