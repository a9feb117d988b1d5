#include "Phone.h"

#include <algorithm>

#include "Protocol.h"

namespace emulator {

namespace proto = gbp::proto;

namespace {

std::uint16_t Key(std::uint8_t first, std::uint8_t second) {
    return static_cast<std::uint16_t>((first << 8) | second);
}

gbp::Frame Ok(const gbp::Frame& request, std::vector<std::uint8_t> payload = {}) {
    return {static_cast<std::uint8_t>(request.type | proto::ReplyFlag), request.seq,
            std::move(payload)};
}

gbp::Frame Refuse(const gbp::Frame& request, proto::Reason reason) {
    return {proto::Refused, request.seq, {request.type, reason}};
}

}  // namespace

std::vector<std::uint8_t> BlankBackgrounds() {
    std::vector<std::uint8_t> content(5565, 0xFF);
    const std::uint8_t header[12] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9,
                                     0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    std::copy(std::begin(header), std::end(header), content.begin());
    return content;
}

Phone::Phone(Faults faults, std::size_t maxChunk)
    : faults_(faults), maxChunk_(std::clamp<std::size_t>(maxChunk, 1, proto::MaxChunk)) {
    files_[Key(16, 4)] = BlankBackgrounds();
}

void Phone::SetFile(std::uint8_t first, std::uint8_t second, std::vector<std::uint8_t> content) {
    files_[Key(first, second)] = std::move(content);
}

const std::vector<std::uint8_t>* Phone::File(std::uint8_t first, std::uint8_t second) const {
    const auto it = files_.find(Key(first, second));
    return it == files_.end() ? nullptr : &it->second;
}

gbp::Frame Phone::Handle(const gbp::Frame& request, bool& changed) {
    changed = false;
    // A repeated request (same number, same content) is one whose reply was
    // lost: answer it again without doing it twice.
    if (request.type != proto::Open && lastRequest_ && *lastRequest_ == request) {
        return lastReply_;
    }
    gbp::Frame reply = Answer(request, changed);
    lastRequest_ = request;
    lastReply_ = reply;
    return reply;
}

gbp::Frame Phone::Answer(const gbp::Frame& request, bool& changed) {
    const std::vector<std::uint8_t>& p = request.payload;
    switch (request.type) {
        case proto::Open: {
            if (p.size() != 4 || !std::equal(p.begin(), p.begin() + 3, std::begin(proto::Magic)) ||
                p[3] != proto::Version) {
                return Refuse(request, proto::Malformed);
            }
            service_ = true;
            pending_.reset();
            std::vector<std::uint8_t> payload{proto::Version};
            proto::PutU16(payload, static_cast<std::uint16_t>(maxChunk_));
            return Ok(request, std::move(payload));
        }
        case proto::Close:
            service_ = false;
            pending_.reset();
            return Ok(request);
        case proto::Erase:
        case proto::Read:
        case proto::Write:
            break;
        default:
            return Refuse(request, proto::UnknownRequest);
    }
    if (!service_) {
        return Refuse(request, proto::NotInServiceMode);
    }
    if (p.size() < 2) {
        return Refuse(request, proto::Malformed);
    }
    const std::uint16_t key = Key(p[0], p[1]);
    const auto file = files_.find(key);

    if (request.type == proto::Erase) {
        if (p.size() != 2) {
            return Refuse(request, proto::Malformed);
        }
        if (faults_.refuseErase) {
            return Refuse(request, proto::EraseRefused);
        }
        if (file == files_.end()) {
            return Refuse(request, proto::NoSuchFile);
        }
        std::fill(file->second.begin(), file->second.end(), 0xFF);
        changed = true;
        return Ok(request);
    }

    if (request.type == proto::Read) {
        if (p.size() != 8) {
            return Refuse(request, proto::Malformed);
        }
        if (file == files_.end()) {
            return Refuse(request, proto::NoSuchFile);
        }
        const std::vector<std::uint8_t>& content = file->second;
        const std::uint32_t offset = proto::GetU32(p, 2);
        const std::size_t count = std::min<std::size_t>(proto::GetU16(p, 6), maxChunk_);
        if (offset > content.size()) {
            return Refuse(request, proto::Malformed);
        }
        const std::size_t n = std::min(count, content.size() - offset);
        std::vector<std::uint8_t> payload;
        payload.reserve(8 + n);
        proto::PutU32(payload, static_cast<std::uint32_t>(content.size()));
        proto::PutU32(payload, offset);
        payload.insert(payload.end(), content.begin() + offset, content.begin() + offset + n);
        return Ok(request, std::move(payload));
    }

    // Write: first second total offset data. Pieces come in order; the new
    // content replaces the file once the last byte is in.
    if (p.size() < 10) {
        return Refuse(request, proto::Malformed);
    }
    if (faults_.refuseWrite) {
        return Refuse(request, proto::WriteRefused);
    }
    const std::uint32_t total = proto::GetU32(p, 2);
    const std::uint32_t offset = proto::GetU32(p, 6);
    const std::size_t n = p.size() - 10;
    if (total > proto::MaxFileLength) {
        return Refuse(request, proto::TooLarge);
    }
    if (n > maxChunk_ || offset > total || n > total - offset) {
        return Refuse(request, proto::Malformed);
    }
    if (offset == 0) {
        pending_ = PendingWrite{key, total, 0, std::vector<std::uint8_t>(total, 0xFF)};
    } else if (!pending_ || pending_->file != key || pending_->total != total ||
               offset > pending_->held) {
        return Refuse(request, proto::OutOfOrder);
    }
    std::copy(p.begin() + 10, p.end(), pending_->data.begin() + offset);
    pending_->held = std::max(pending_->held, static_cast<std::uint32_t>(offset + n));
    std::vector<std::uint8_t> payload;
    proto::PutU32(payload, pending_->held);
    if (pending_->held == pending_->total) {
        files_[key] = std::move(pending_->data);
        pending_.reset();
        changed = true;
    }
    return Ok(request, std::move(payload));
}

}  // namespace emulator
