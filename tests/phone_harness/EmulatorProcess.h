// A phone emulator process for tests: starts phone-emulator with the given
// options, waits for its device path, points GBP_COM<port> of this process
// at it, and stops it in the destructor. The emulator writes its NVM file
// 16-04 to a store file in a private temporary folder, readable after the run.
//
//   phone_harness::EmulatorProcess phone({.initial = bytes, .args = {"--refuse-write"}});
//   ... InitGBPMode(4) ... or drive the window's Download/Upload ...
//   phone.Stop();
//   EXPECT_EQ(phone.Store(), expected);
//
// The binary is the one built with this harness (PHONE_EMULATOR_PATH), or the
// one named by the environment variable PHONE_EMULATOR when set. Failures to
// start throw std::runtime_error. Not thread-safe (it calls setenv).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace phone_harness {

struct EmulatorOptions {
    // Content of 16-04 at start; none: the emulator's blank entry.
    std::optional<std::vector<std::uint8_t>> initial;
    // Further emulator options, e.g. {"--refuse-erase"} or {"--baud", "115200"}
    // (see phone-emulator --help). --sec and --store are added by the harness.
    std::vector<std::string> args;
    // COM port number whose GBP_COM<port> variable is set (1..6).
    int port = 4;
    // Also set GBP_TIMEOUT_MS / GBP_RETRIES for this process (restored after)
    // so failures in tests take milliseconds; 0 / -1 leaves them alone.
    int timeoutMs = 0;
    int retries = -1;
};

struct WireCounts {
    unsigned long long sent = 0;       // bytes the emulator sent
    unsigned long long received = 0;   // bytes it received
    unsigned long long corrupted = 0;  // bytes it damaged on purpose
};

class EmulatorProcess {
public:
    explicit EmulatorProcess(EmulatorOptions options = {});
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // The pseudo-terminal device, e.g. "/dev/pts/7" (also in GBP_COM<port>).
    const std::string& Device() const { return device_; }
    // The store file the emulator writes 16-04 to (after each change, at exit).
    const std::string& StorePath() const { return storePath_; }
    // Current content of the store file: the initial content until the
    // first change; empty when no file is there.
    std::vector<std::uint8_t> Store() const;

    // Counts so far, asked of the running emulator (SIGUSR1); after Stop(),
    // the final counts.
    WireCounts Counts();

    // Ends the emulator (SIGTERM, then SIGKILL after 3 s) and waits for it.
    // Returns its exit status (-1 if killed by a signal). Idempotent.
    int Stop();
    // Waits up to `timeoutMs` for the emulator to end by itself (a dropped
    // line, --exit-on-close); true when it has ended. Stop() then returns
    // its exit status.
    bool WaitForExit(int timeoutMs);
    bool Running() const { return pid_ > 0; }

    // The emulator binary this harness starts.
    static std::string BinaryPath();

private:
    std::string ReadLine(int timeoutMs);
    void Reaped(int status);
    void RestoreEnvironment();

    pid_t pid_ = -1;
    int out_ = -1;  // emulator's stdout
    std::string pending_;
    std::string device_;
    std::string dir_;
    std::string storePath_;
    std::optional<WireCounts> final_;
    int exitStatus_ = 0;
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnv_;
};

}  // namespace phone_harness
