#include "EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#ifndef PHONE_EMULATOR_PATH
#define PHONE_EMULATOR_PATH "phone-emulator"
#endif

namespace phone_harness {

namespace {

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool ParseCounts(const std::string& line, WireCounts& c) {
    return std::sscanf(line.c_str(), "counts sent=%llu received=%llu corrupted=%llu", &c.sent,
                       &c.received, &c.corrupted) == 3;
}

}  // namespace

std::string EmulatorProcess::BinaryPath() {
    const char* env = std::getenv("PHONE_EMULATOR");
    return env != nullptr && *env != '\0' ? env : PHONE_EMULATOR_PATH;
}

EmulatorProcess::EmulatorProcess(EmulatorOptions options) {
    if (options.port < 1 || options.port > 6) {
        throw std::runtime_error("port must be 1..6");
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "phone-emulator-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    dir_ = pattern;
    storePath_ = dir_ + "/store.sec";

    std::vector<std::string> args{BinaryPath()};
    if (options.initial) {
        const std::string sec = dir_ + "/initial.sec";
        WriteBytes(sec, *options.initial);
        // The store starts as the initial content, so Store() is meaningful
        // before the first change too.
        WriteBytes(storePath_, *options.initial);
        args.insert(args.end(), {"--sec", sec});
    }
    args.insert(args.end(), {"--store", storePath_});
    args.insert(args.end(), options.args.begin(), options.args.end());

    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(pipefd[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    close(pipefd[1]);
    pid_ = pid;
    out_ = pipefd[0];

    device_ = ReadLine(5000);
    if (device_.rfind("/dev/", 0) != 0) {
        Stop();
        std::filesystem::remove_all(dir_);
        throw std::runtime_error("phone-emulator did not start (" + args[0] + ")");
    }

    auto set = [this](const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        savedEnv_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    };
    set("GBP_COM" + std::to_string(options.port), device_);
    if (options.timeoutMs > 0) {
        set("GBP_TIMEOUT_MS", std::to_string(options.timeoutMs));
    }
    if (options.retries >= 0) {
        set("GBP_RETRIES", std::to_string(options.retries));
    }
}

EmulatorProcess::~EmulatorProcess() {
    Stop();
    RestoreEnvironment();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void EmulatorProcess::RestoreEnvironment() {
    for (auto it = savedEnv_.rbegin(); it != savedEnv_.rend(); ++it) {
        if (it->second) {
            setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            unsetenv(it->first.c_str());
        }
    }
    savedEnv_.clear();
}

std::string EmulatorProcess::ReadLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        if (out_ < 0) {
            return {};
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return {};
        }
        pollfd p{out_, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return {};
        }
        char buffer[512];
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            close(out_);
            out_ = -1;
            continue;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::vector<std::uint8_t> EmulatorProcess::Store() const {
    std::ifstream in(storePath_, std::ios::binary);
    if (!in) {
        return {};
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

WireCounts EmulatorProcess::Counts() {
    if (WaitForExit(0)) {
        return final_.value_or(WireCounts{});
    }
    kill(pid_, SIGUSR1);
    for (;;) {
        const std::string line = ReadLine(3000);
        if (line.empty()) {
            throw std::runtime_error("phone-emulator did not report its counts");
        }
        WireCounts c;
        if (ParseCounts(line, c)) {
            return c;
        }
    }
}

void EmulatorProcess::Reaped(int status) {
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The last counts line the emulator printed, if any (it prints no empty
    // lines, so an empty one means the output has ended).
    for (std::string line = ReadLine(500); !line.empty(); line = ReadLine(500)) {
        WireCounts c;
        if (ParseCounts(line, c)) {
            final_ = c;
        }
    }
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
}

bool EmulatorProcess::WaitForExit(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            Reaped(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int EmulatorProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!WaitForExit(3000)) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            Reaped(status);
        }
    }
    return exitStatus_;
}

}  // namespace phone_harness
