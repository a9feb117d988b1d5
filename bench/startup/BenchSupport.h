// Small helpers the benchmark drivers share: a monotonic clock that parent and
// child processes read alike, spawning a program with its output captured,
// its peak memory, and medians.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// Nanoseconds of CLOCK_MONOTONIC: one clock for the whole machine, so a time
// a child prints can be set against the time its parent spawned it.
inline std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// A field of /proc/self/status in kB (VmHWM, VmRSS), or -1.
inline long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return std::stol(line.substr(key.size()));
    }
    return -1;
}

struct RunResult {
    std::int64_t spawnNs = 0;  // when the child was spawned
    std::int64_t exitNs = 0;   // when it had ended
    long maxRssKb = 0;         // its peak resident memory (VmHWM), from wait4
    int status = 0;
    std::string output;                         // its standard output
    std::map<std::string, std::string> values;  // key=value lines of its output

    double Ms(const std::string& key) const {
        auto it = values.find(key);
        if (it == values.end())
            throw std::runtime_error("the child did not report " + key);
        return static_cast<double>(std::stoll(it->second) - spawnNs) / 1e6;
    }
    double WallMs() const { return static_cast<double>(exitNs - spawnNs) / 1e6; }
};

// Runs argv[0] (looked up in PATH) with the given extra environment entries,
// its standard output captured and its standard error passed through.
inline RunResult Run(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extraEnv = {}) {
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The extra entries replace the parent's of the same name.
    auto overridden = [&](const char* entry) {
        for (const std::string& e : extraEnv) {
            const std::size_t n = e.find('=') + 1;
            if (std::strncmp(entry, e.c_str(), n) == 0)
                return true;
        }
        return false;
    };
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e)
        if (!overridden(*e))
            envStrings.emplace_back(*e);
    for (const std::string& e : extraEnv)
        envStrings.push_back(e);
    std::vector<char*> env;
    for (std::string& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);

    RunResult result;
    pid_t pid = 0;
    result.spawnNs = NowNs();
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fds[0]);
    rusage usage{};
    while (wait4(pid, &result.status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.exitNs = NowNs();
    result.maxRssKb = usage.ru_maxrss;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            result.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (!WIFEXITED(result.status) || WEXITSTATUS(result.status) != 0)
        throw std::runtime_error(argv[0] + " failed:\n" + result.output);
    return result;
}

inline double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The folder of the running program, so a driver finds the programs built
// beside it.
inline std::string OwnFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string s(path, static_cast<std::size_t>(n));
    return s.substr(0, s.rfind('/'));
}

}  // namespace bench
