#include "SerialLink.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace gbp {

namespace {

speed_t SpeedOf(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B115200;
    }
}

// Milliseconds left until the deadline, for poll(): rounded up so a wait
// never ends just before it, and 0 once it has passed.
int MsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

// write() with SIGPIPE held back for this thread, so a device whose far end
// vanished gives an error code and never a signal to the host program.
ssize_t WriteQuietly(int fd, const std::uint8_t* data, std::size_t n) {
    sigset_t pipeSet;
    sigset_t old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    const ssize_t written = write(fd, data, n);
    const int savedErrno = errno;
    if (written < 0 && savedErrno == EPIPE && !wasPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = savedErrno;
    return written;
}

}  // namespace

std::unique_ptr<SerialLink> SerialLink::Open(const std::string& path, int baud) {
    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return nullptr;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        close(fd);
        return nullptr;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= static_cast<tcflag_t>(~(PARENB | CSTOPB | CSIZE | CRTSCTS));
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= static_cast<tcflag_t>(~(IXON | IXOFF | IXANY));
    // VMIN 1: with O_NONBLOCK an empty line reads as EAGAIN, so a read of 0
    // bytes only ever means the far end hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedOf(baud));
    cfsetospeed(&tio, SpeedOf(baud));
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        close(fd);
        return nullptr;
    }
    // Whatever the line held from before this session is not for it.
    tcflush(fd, TCIOFLUSH);
    return std::unique_ptr<SerialLink>(new SerialLink(fd));
}

SerialLink::~SerialLink() {
    // Drop unsent output so close() never waits for a stuck line.
    tcflush(fd_, TCIOFLUSH);
    close(fd_);
}

Link::Status SerialLink::Send(std::span<const std::uint8_t> bytes, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = WriteQuietly(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return Status::Dropped;
        }
        pollfd p{fd_, POLLOUT, 0};
        const int timeout = MsUntil(deadline);
        if (timeout == 0) {
            return Status::Timeout;
        }
        const int r = poll(&p, 1, timeout);
        if (r < 0 && errno != EINTR) {
            return Status::Dropped;
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return Status::Dropped;
        }
    }
    return Status::Ok;
}

Link::Status SerialLink::Receive(std::vector<std::uint8_t>& out, Clock::time_point deadline) {
    for (;;) {
        std::uint8_t buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            out.insert(out.end(), buffer, buffer + n);
            return Status::Ok;
        }
        if (n == 0) {
            // End of file on a terminal: the far end hung up.
            return Status::Dropped;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return Status::Dropped;
        }
        const int timeout = MsUntil(deadline);
        if (timeout == 0) {
            return Status::Timeout;
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, timeout);
        if (r < 0 && errno != EINTR) {
            return Status::Dropped;
        }
        if (r > 0 && (p.revents & POLLIN) == 0 &&
            (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return Status::Dropped;
        }
    }
}

}  // namespace gbp
