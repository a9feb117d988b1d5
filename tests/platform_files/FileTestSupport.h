// Scratch folders, whole-file helpers and a way to run a step in a child
// process (for resource limits, lowered privileges or a simulated kill) for the
// file routine tests.
#pragma once

#include "FileRoutines.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace filetest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with all it
// holds when the test ends.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmoran-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // The names in the folder, hidden ones included.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.insert(e.path().filename().string());
        return names;
    }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that differ from anything the code under test writes.
inline Bytes Pattern(std::size_t size, std::uint8_t seed = 7) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 31 + i / 7);
    return b;
}

inline mode_t ModeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error("cannot stat " + path);
    return st.st_mode & 07777;
}

// Descriptors this process has open.
inline int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// The message of the error Step raises, "(no error)" when it raises none.
inline std::string ErrorMessage(const std::function<void()>& Step) {
    try {
        Step();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

// In a child process only: files may grow to MaxBytes at most, and a write past
// that fails instead of ending the process.
inline void LimitFileSize(rlim_t MaxBytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{MaxBytes, MaxBytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("setrlimit failed");
}

// In a child process only: runs Step with no free file descriptor and returns
// the message of its error. A sanitizer runtime needs a descriptor to check an
// object of a type it has not met before, so the error type is met once first
// and the limit is lifted before the error is looked at.
inline std::string ErrorMessageWithoutFreeDescriptors(const std::function<void()>& Step) {
    ErrorMessage([] { throw EInOutError("", 0); });
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit none = saved;
    none.rlim_cur = 0;
    if (::setrlimit(RLIMIT_NOFILE, &none) != 0)
        throw std::runtime_error("setrlimit failed");
    std::exception_ptr error;
    try {
        Step();
    } catch (...) {
        error = std::current_exception();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    return ErrorMessage([&] {
        if (error)
            std::rethrow_exception(error);
    });
}

struct ChildResult {
    bool exited = false;  // ended through _exit, not by a signal
    int status = -1;      // its exit status
    std::string output;   // what the step returned
};

// Runs Step in a child process and hands back the string it returns; an
// exception escaping Step is returned as its message. The child never returns
// into the test framework.
inline ChildResult RunInChild(const std::function<std::string()>& Step) {
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        try {
            out = Step();
        } catch (const std::exception& e) {
            out = e.what();
        } catch (...) {
            out = "unknown exception";
        }
        const char* p = out.data();
        std::size_t left = out.size();
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    ChildResult result;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.output.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace filetest
