// The phone-emulator program: its options, its device and symlink, sessions
// one after another, clean ends, and its pacing.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "EmulatorProcess.h"
#include "GBP.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using phone_harness::EmulatorOptions;
using phone_harness::EmulatorProcess;

// Runs the emulator binary with `args` to its end; returns exit status and
// standard output.
std::pair<int, std::string> RunToEnd(const std::string& args) {
    const std::string command = EmulatorProcess::BinaryPath() + " " + args + " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    std::string out;
    std::array<char, 512> buffer{};
    while (p && std::fgets(buffer.data(), buffer.size(), p)) {
        out += buffer.data();
    }
    const int status = p ? pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

EmulatorOptions Fast(std::vector<std::string> args = {}) {
    EmulatorOptions o;
    o.args = std::move(args);
    o.timeoutMs = 50;
    o.retries = 2;
    return o;
}

TEST(EmulatorProgram, HelpAndBadOptions) {
    const auto [status, out] = RunToEnd("--help");
    EXPECT_EQ(status, 0);
    for (const char* option :
         {"--sec", "--store", "--link", "--baud", "--mute", "--refuse-erase", "--refuse-write",
          "--drop-after", "--corrupt", "--seed", "--exit-on-close", "SIGUSR1"}) {
        EXPECT_NE(out.find(option), std::string::npos) << option;
    }
    for (const char* bad : {"--bogus", "--baud", "--baud x", "--corrupt 2", "--drop-after -1",
                            "--sec /nonexistent/file.sec", "--max-chunk 0"}) {
        EXPECT_EQ(RunToEnd(bad).first, 2) << bad;
    }
}

TEST(EmulatorProgram, SymlinkNamesTheDeviceAndGoesAtExit) {
    const std::string link =
        (std::filesystem::temp_directory_path() / ("phone-link-" + std::to_string(getpid())))
            .string();
    std::filesystem::remove(link);
    {
        EmulatorProcess phone(Fast({"--link", link}));
        ASSERT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), phone.Device());
        setenv("GBP_COM4", link.c_str(), 1);
        ASSERT_EQ(InitGBPMode(4), GBP_OK);
        EndGBPMode();
        EXPECT_EQ(phone.Stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
    // A path that is not a symlink is never replaced.
    {
        std::FILE* f = std::fopen(link.c_str(), "w");
        std::fclose(f);
    }
    EXPECT_EQ(RunToEnd("--link " + link).first, 2);
    EXPECT_TRUE(std::filesystem::is_regular_file(link));
    std::filesystem::remove(link);
}

TEST(EmulatorProgram, SurvivesPeersThatComeAndGo) {
    EmulatorProcess phone(Fast());
    for (int i = 0; i < 5; ++i) {
        // Someone opens the device and closes it without a word...
        const int fd = open(phone.Device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        close(fd);
        // ...and a session follows.
        ASSERT_EQ(InitGBPMode(4), GBP_OK) << i;
        Bytes buffer(5565, 0);
        EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
        EndGBPMode();
    }
    EXPECT_TRUE(phone.Running());
    EXPECT_FALSE(phone.WaitForExit(50));
    const auto counts = phone.Counts();
    EXPECT_GT(counts.sent, 5u * 5565u);
    EXPECT_EQ(phone.Stop(), 0);
    // The final counts come from the emulator's own report at exit.
    EXPECT_GE(phone.Counts().sent, counts.sent);
}

TEST(EmulatorProgram, ExitOnCloseEndsAfterTheFirstSession) {
    EmulatorProcess phone(Fast({"--exit-on-close"}));
    EXPECT_FALSE(phone.WaitForExit(100));  // no session yet
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    EndGBPMode();
    EXPECT_TRUE(phone.WaitForExit(2000));
    EXPECT_EQ(phone.Stop(), 0);
}

TEST(EmulatorProgram, DropEndsTheEmulatorWithTheStoreWritten) {
    const Bytes initial(5565, 0x12);
    EmulatorOptions o = Fast({"--drop-after", "100"});
    o.initial = initial;
    EmulatorProcess phone(o);
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    Bytes buffer(5565, 0);
    EXPECT_NE(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
    EndGBPMode();
    EXPECT_TRUE(phone.WaitForExit(2000));
    const auto counts = phone.Counts();
    EXPECT_EQ(counts.sent + counts.received, 100u);
    EXPECT_EQ(phone.Store(), initial);
}

TEST(EmulatorProgram, StoreFollowsEveryChangeAndTheSecFileIsKept) {
    EmulatorOptions o = Fast();
    o.initial = Bytes(5565, 0x21);
    EmulatorProcess phone(o);
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    ASSERT_EQ(ClearNVMFile(16, 4), GBP_OK);
    EXPECT_EQ(phone.Store(), Bytes(5565, 0xFF));  // written at once, not only at exit
    Bytes next(5565, 0x43);
    ASSERT_EQ(WriteNVMFile(16, 4, next.data(), 5565), GBP_OK);
    EXPECT_EQ(phone.Store(), next);
    EndGBPMode();
}

TEST(EmulatorProgram, PacingHoldsToTheLineRate) {
    // 5565 bytes at 115200 baud take 0.483 s at the least; unpaced, a few ms.
    EmulatorProcess phone(Fast({"--baud", "115200"}));
    ASSERT_EQ(InitGBPMode(4), GBP_OK);
    Bytes buffer(5565, 0);
    const auto t = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadNVMFile(16, 4, buffer.data(), 0), GBP_OK);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    EndGBPMode();
    EXPECT_GE(s, 5565 * 10 / 115200.0 * 0.98);
}

}  // namespace
