// The Link over a POSIX serial device (a real port or a pseudo-terminal):
// raw mode, 8N1, no flow control, non-blocking with poll() and deadlines.
#pragma once

#include <memory>
#include <string>

#include "Session.h"

namespace gbp {

class SerialLink final : public Link {
public:
    // Opens and sets up `path` at `baud`. Returns null when the device cannot
    // be opened, is not a terminal, or refuses the settings.
    static std::unique_ptr<SerialLink> Open(const std::string& path, int baud);
    ~SerialLink() override;

    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    Status Send(std::span<const std::uint8_t> bytes, Clock::time_point deadline) override;
    Status Receive(std::vector<std::uint8_t>& out, Clock::time_point deadline) override;

private:
    explicit SerialLink(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace gbp
