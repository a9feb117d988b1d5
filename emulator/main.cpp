// phone-emulator: a phone on a pseudo-terminal that answers the phone
// library's protocol, with the faults a real line and phone can show. See
// --help and docs/protocol.md.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Frame.h"
#include "Phone.h"
#include "Protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const Usage =
    "Usage: phone-emulator [options]\n"
    "A phone on a pseudo-terminal that answers the GBP library's protocol.\n"
    "Prints the device path (e.g. /dev/pts/7) on the first line of stdout.\n"
    "\n"
    "Store:\n"
    "  --sec FILE        load NVM file 16-04 from FILE (normally 5565 bytes; any\n"
    "                    length up to 65535 is taken as it is). Without it 16-04\n"
    "                    is the blank entry: header 24 88 8E AD 00 E9 00 00 01 00\n"
    "                    00 00 and 5553 bytes 0xFF\n"
    "  --store FILE      write 16-04 to FILE after every change (erase, completed\n"
    "                    write) and at exit; may name the --sec file\n"
    "  --max-chunk N     data bytes per frame the phone announces, 1..4096\n"
    "                    (default 4096)\n"
    "Device:\n"
    "  --link PATH       also make PATH a symlink to the device (an old symlink\n"
    "                    there is replaced; removed at exit)\n"
    "  --exit-on-close   exit when the peer closes the device after a session;\n"
    "                    by default any number of sessions follow each other\n"
    "Line:\n"
    "  --baud N          pace both directions as a line of N baud, 10 bits a\n"
    "                    byte (a pseudo-terminal has no rate of its own);\n"
    "                    0 = as fast as possible (default)\n"
    "  --corrupt RATE    flip one bit in each byte, sent or received, with\n"
    "                    probability RATE (0..1)\n"
    "  --seed N          seed for --corrupt (default 1)\n"
    "  --drop-after N    close the device once N bytes (sent plus received)\n"
    "                    have crossed it, then exit\n"
    "Phone faults:\n"
    "  --mute            never answer\n"
    "  --refuse-erase    refuse every erase\n"
    "  --refuse-write    refuse every write\n"
    "\n"
    "Counts: 'counts sent=N received=N corrupted=N' is printed on stdout on\n"
    "SIGUSR1 and at exit. SIGINT, SIGTERM and SIGHUP end the emulator\n"
    "cleanly (store written, symlink removed). Exit status 0, or 2 on a bad\n"
    "option or set-up failure.\n";

struct Options {
    std::string sec;
    std::string store;
    std::string link;
    long baud = 0;
    double corrupt = 0.0;
    unsigned long long seed = 1;
    std::optional<unsigned long long> dropAfter;
    std::size_t maxChunk = gbp::proto::MaxChunk;
    bool mute = false;
    bool exitOnClose = false;
    emulator::Phone::Faults faults;
};

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t countsRequested = 0;
int wakeWrite = -1;

void OnSignal(int sig) {
    const int saved = errno;
    if (sig == SIGUSR1) {
        countsRequested = 1;
    } else {
        stopRequested = 1;
    }
    if (wakeWrite >= 0) {
        const char c = 'x';
        (void)!write(wakeWrite, &c, 1);
    }
    errno = saved;
}

bool ParseNumber(const char* text, unsigned long long& out) {
    if (text == nullptr || *text == '\0' || *text == '-') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0';
}

bool Parse(int argc, char** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        unsigned long long n = 0;
        if (a == "--sec" || a == "--store" || a == "--link") {
            const char* v = value();
            if (!v) {
                return false;
            }
            (a == "--sec" ? o.sec : a == "--store" ? o.store : o.link) = v;
        } else if (a == "--baud") {
            if (!ParseNumber(value(), n) || n > 10000000) {
                error = error.empty() ? "--baud needs a number 0..10000000" : error;
                return false;
            }
            o.baud = static_cast<long>(n);
        } else if (a == "--corrupt") {
            const char* v = value();
            char* end = nullptr;
            if (!v) {
                return false;
            }
            o.corrupt = std::strtod(v, &end);
            if (*end != '\0' || !(o.corrupt >= 0.0 && o.corrupt <= 1.0)) {
                error = "--corrupt needs a rate 0..1";
                return false;
            }
        } else if (a == "--seed") {
            if (!ParseNumber(value(), o.seed)) {
                error = error.empty() ? "--seed needs a number" : error;
                return false;
            }
        } else if (a == "--drop-after") {
            if (!ParseNumber(value(), n)) {
                error = error.empty() ? "--drop-after needs a number" : error;
                return false;
            }
            o.dropAfter = n;
        } else if (a == "--max-chunk") {
            if (!ParseNumber(value(), n) || n < 1 || n > gbp::proto::MaxChunk) {
                error = error.empty() ? "--max-chunk needs a number 1..4096" : error;
                return false;
            }
            o.maxChunk = static_cast<std::size_t>(n);
        } else if (a == "--mute") {
            o.mute = true;
        } else if (a == "--refuse-erase") {
            o.faults.refuseErase = true;
        } else if (a == "--refuse-write") {
            o.faults.refuseWrite = true;
        } else if (a == "--exit-on-close") {
            o.exitOnClose = true;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

bool LoadFile(const std::string& path, std::vector<std::uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && out.size() <= gbp::proto::MaxFileLength;
}

bool SaveFile(const std::string& path, const std::vector<std::uint8_t>& content) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(content.data()),
                  static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

struct Counts {
    unsigned long long sent = 0;
    unsigned long long received = 0;
    unsigned long long corrupted = 0;
};

void PrintCounts(const Counts& c) {
    std::printf("counts sent=%llu received=%llu corrupted=%llu\n", c.sent, c.received, c.corrupted);
    std::fflush(stdout);
}

// Sleeps on the wake pipe until `until` (at most 50 ms).
void Nap(int wakeRead, Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    pollfd p{wakeRead, POLLIN, 0};
    poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 0, 50)));
}

class Emulator {
public:
    Emulator(const Options& o, int master)
        : o_(o),
          master_(master),
          phone_(o.faults, o.maxChunk),
          rxNoise_(o.seed),
          txNoise_(o.seed ^ 0x9E3779B97F4A7C15ULL) {
        if (o.baud > 0) {
            byteTime_ = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(10.0 / static_cast<double>(o.baud)));
        }
    }

    emulator::Phone& phone() { return phone_; }
    const Counts& counts() const { return counts_; }
    int Run(int wakeRead);

private:
    bool Budget(unsigned long long& left) const {
        if (!o_.dropAfter) {
            left = std::numeric_limits<unsigned long long>::max();
            return true;
        }
        const unsigned long long used = counts_.sent + counts_.received;
        left = used >= *o_.dropAfter ? 0 : *o_.dropAfter - used;
        return left > 0;
    }
    std::uint8_t Noise(std::mt19937_64& rng, std::uint8_t byte) {
        if (o_.corrupt <= 0.0) {
            return byte;
        }
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        if (chance(rng) >= o_.corrupt) {
            return byte;
        }
        ++counts_.corrupted;
        return static_cast<std::uint8_t>(byte ^ (1u << (rng() % 8)));
    }
    void Take(const std::uint8_t* bytes, std::size_t n, Clock::time_point now);
    void Answer(Clock::time_point now);
    bool Transmit(Clock::time_point now);
    void SaveStore() {
        const auto* file = phone_.File(16, 4);
        if (!o_.store.empty() && file && !SaveFile(o_.store, *file)) {
            std::fprintf(stderr, "phone-emulator: cannot write %s\n", o_.store.c_str());
        }
    }

    struct Arrival {
        Clock::time_point at;
        gbp::Frame frame;
    };

    const Options& o_;
    int master_;
    emulator::Phone phone_;
    std::mt19937_64 rxNoise_;
    std::mt19937_64 txNoise_;
    Clock::duration byteTime_{0};
    Counts counts_;
    gbp::FrameSplitter splitter_;
    std::deque<Arrival> inbox_;
    std::deque<std::uint8_t> outbox_;
    Clock::time_point rxFree_{};
    Clock::time_point txFree_{};
    bool dropped_ = false;

public:
    void Finish() { SaveStore(); }
    void Hangup() {
        outbox_.clear();
        inbox_.clear();
        splitter_.Reset();
    }
};

// Most reply bytes kept waiting for a peer that does not read.
constexpr std::size_t MaxOutbox = 256 * 1024;

void Emulator::Take(const std::uint8_t* bytes, std::size_t n, Clock::time_point now) {
    for (std::size_t i = 0; i < n; ++i) {
        ++counts_.received;
        // Arrival as on a real line: each byte takes its time after the one
        // before it, starting no earlier than it was written.
        rxFree_ = std::max(rxFree_, now) + byteTime_;
        const std::uint8_t byte = Noise(rxNoise_, bytes[i]);
        if (o_.mute) {
            continue;
        }
        if (splitter_.Push(byte) != gbp::FrameSplitter::Event::Block) {
            continue;
        }
        if (auto frame = gbp::DecodeFrame(splitter_.Block())) {
            inbox_.push_back({rxFree_, std::move(*frame)});
        }
    }
}

void Emulator::Answer(Clock::time_point now) {
    while (!inbox_.empty() && inbox_.front().at <= now) {
        bool changed = false;
        const gbp::Frame reply = phone_.Handle(inbox_.front().frame, changed);
        inbox_.pop_front();
        if (changed) {
            SaveStore();
        }
        const std::vector<std::uint8_t> wire = gbp::EncodeFrame(reply);
        if (outbox_.size() > MaxOutbox) {
            continue;  // a peer that sends but never reads: its replies are dropped
        }
        if (outbox_.empty()) {
            txFree_ = std::max(txFree_, now);
        }
        outbox_.insert(outbox_.end(), wire.begin(), wire.end());
    }
}

// Writes what the pacing allows; false once the link is dropped.
bool Emulator::Transmit(Clock::time_point now) {
    if (outbox_.empty()) {
        return true;
    }
    std::size_t allowed = outbox_.size();
    if (byteTime_.count() > 0) {
        const auto ready = now >= txFree_ ? (now - txFree_) / byteTime_ : 0;
        allowed = std::min<std::size_t>(allowed, static_cast<std::size_t>(ready));
    }
    unsigned long long left = 0;
    const bool more = Budget(left);
    allowed = static_cast<std::size_t>(std::min<unsigned long long>(allowed, left));
    if (allowed > 0) {
        std::vector<std::uint8_t> chunk(outbox_.begin(),
                                        outbox_.begin() + static_cast<std::ptrdiff_t>(allowed));
        for (auto& b : chunk) {
            b = Noise(txNoise_, b);
        }
        const ssize_t n = write(master_, chunk.data(), chunk.size());
        if (n > 0) {
            outbox_.erase(outbox_.begin(), outbox_.begin() + n);
            counts_.sent += static_cast<unsigned long long>(n);
            txFree_ += byteTime_ * n;
        }
    }
    return more && Budget(left);
}

int Emulator::Run(int wakeRead) {
    bool sawPeer = false;
    while (!stopRequested) {
        if (countsRequested) {
            countsRequested = 0;
            PrintCounts(counts_);
        }
        Clock::time_point now = Clock::now();
        Answer(now);
        if (!Transmit(now)) {
            return 0;
        }
        // Next moment something is due: a paced byte or a request's arrival.
        Clock::time_point due = now + std::chrono::milliseconds(200);
        if (!outbox_.empty()) {
            due = std::min(due, std::max(txFree_ + byteTime_, now + std::chrono::milliseconds(1)));
        }
        if (!inbox_.empty()) {
            due = std::min(due, inbox_.front().at);
        }
        pollfd p[2] = {{master_, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
        const int r = poll(p, 2, static_cast<int>(std::clamp<long long>(wait, 0, 200)));
        if (r < 0 && errno != EINTR) {
            std::perror("phone-emulator: poll");
            return 2;
        }
        if (r <= 0) {
            continue;
        }
        if (p[1].revents & POLLIN) {
            char drain[64];
            while (read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (p[0].revents & POLLIN) {
            std::uint8_t buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                sawPeer = true;
                unsigned long long left = 0;
                Budget(left);
                const std::size_t take = static_cast<std::size_t>(
                    std::min<unsigned long long>(left, static_cast<unsigned long long>(n)));
                Take(buffer, take, Clock::now());
                if (!Budget(left)) {
                    return 0;
                }
            }
        } else if (p[0].revents & (POLLHUP | POLLERR)) {
            // No one has the device open (between sessions). What was on its
            // way to the last peer is lost with it, as on a real cable.
            if (o_.exitOnClose && sawPeer) {
                return 0;
            }
            Hangup();
            Nap(wakeRead, std::min(due, Clock::now() + std::chrono::milliseconds(5)));
        }
    }
    return 0;
}

int OpenPty(std::string& path) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        return -1;
    }
    char name[256];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return -1;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Raw mode on the device side from the start; the library sets it again.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        termios tio{};
        if (tcgetattr(slave, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(slave, TCSANOW, &tio);
        }
        close(slave);
    }
    path = name;
    return master;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        std::fprintf(stderr, "phone-emulator: %s\n%s", error.c_str(), Usage);
        return 2;
    }
    std::vector<std::uint8_t> initial;
    if (!o.sec.empty() && !LoadFile(o.sec, initial)) {
        std::fprintf(stderr, "phone-emulator: cannot read %s (or longer than 65535 bytes)\n",
                     o.sec.c_str());
        return 2;
    }

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("phone-emulator: pipe");
        return 2;
    }
    wakeWrite = wake[1];
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        sigaction(sig, &sa, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);

    std::string device;
    const int master = OpenPty(device);
    if (master < 0) {
        std::perror("phone-emulator: pseudo-terminal");
        return 2;
    }
    if (!o.link.empty()) {
        struct stat st {};
        if (lstat(o.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "phone-emulator: %s exists and is not a symlink\n",
                             o.link.c_str());
                close(master);
                return 2;
            }
            unlink(o.link.c_str());
        }
        if (symlink(device.c_str(), o.link.c_str()) != 0) {
            std::perror("phone-emulator: symlink");
            close(master);
            return 2;
        }
    }

    Emulator emu(o, master);
    if (!o.sec.empty()) {
        emu.phone().SetFile(16, 4, std::move(initial));
    }
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);

    const int status = emu.Run(wake[0]);

    close(master);
    if (!o.link.empty()) {
        char target[512];
        const ssize_t n = readlink(o.link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == device) {
            unlink(o.link.c_str());
        }
    }
    emu.Finish();
    PrintCounts(emu.counts());
    close(wake[0]);
    close(wake[1]);
    return status;
}
