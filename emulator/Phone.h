// The phone's side of the protocol without any line: a store of NVM files and
// the answer to each decoded request. The emulator program puts it on a
// pseudo-terminal; tests drive it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "Frame.h"

namespace emulator {

// The content 16-04 has when no file is loaded: the start-up header
// 24 88 8E AD 00 E9 00 00 01 00 00 00 and three blank slots (0xFF).
std::vector<std::uint8_t> BlankBackgrounds();

struct PhoneFaults {
    bool refuseErase = false;  // refuse every erase
    bool refuseWrite = false;  // refuse every write
};

class Phone {
public:
    using Faults = PhoneFaults;

    explicit Phone(Faults faults = Faults(), std::size_t maxChunk = 4096);

    void SetFile(std::uint8_t first, std::uint8_t second, std::vector<std::uint8_t> content);
    // Null when there is no such file.
    const std::vector<std::uint8_t>* File(std::uint8_t first, std::uint8_t second) const;

    // The reply to one request. `changed` is set when the store changed (an
    // erase, or the last piece of a write).
    gbp::Frame Handle(const gbp::Frame& request, bool& changed);

    bool inServiceMode() const { return service_; }

private:
    gbp::Frame Answer(const gbp::Frame& request, bool& changed);

    struct PendingWrite {
        std::uint16_t file = 0;
        std::uint32_t total = 0;
        std::uint32_t held = 0;
        std::vector<std::uint8_t> data;
    };

    Faults faults_;
    std::size_t maxChunk_;
    std::map<std::uint16_t, std::vector<std::uint8_t>> files_;
    bool service_ = false;
    std::optional<gbp::Frame> lastRequest_;
    gbp::Frame lastReply_;
    std::optional<PendingWrite> pending_;
};

}  // namespace emulator
