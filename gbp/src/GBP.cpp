// The five exports: one session at a time, kept here between InitGBPMode and
// EndGBPMode. Settings are read from the environment on every InitGBPMode, so
// a test or a host program may change them between sessions.
#include "GBP.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "SerialLink.h"
#include "Session.h"

namespace {

// The most bytes ReadNVMFile ever writes.
constexpr std::size_t ReadCapacity = 5565;

std::mutex callLock;
std::unique_ptr<gbp::SerialLink> line;
std::unique_ptr<gbp::Session> session;
std::uint8_t nextSeq = 0;

int EnvInt(const char* name, int fallback, int low, int high) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < low || value > high) {
        return fallback;
    }
    return static_cast<int>(value);
}

gbp::Timing TimingFromEnvironment() {
    gbp::Timing t;
    t.timeoutMs = EnvInt("GBP_TIMEOUT_MS", t.timeoutMs, 1, 60000);
    t.retries = EnvInt("GBP_RETRIES", t.retries, 0, 20);
    switch (const int baud = EnvInt("GBP_BAUD", t.baud, 1, 921600)) {
        case 9600:
        case 19200:
        case 38400:
        case 57600:
        case 115200:
        case 230400:
        case 460800:
        case 921600:
            t.baud = baud;
            break;
        default:
            break;
    }
    t.chunk = static_cast<std::size_t>(
        EnvInt("GBP_CHUNK", static_cast<int>(t.chunk), static_cast<int>(gbp::MinChunk), 4096));
    return t;
}

std::string DevicePath(std::uint8_t port) {
    const std::string variable = "GBP_COM" + std::to_string(port);
    const char* value = std::getenv(variable.c_str());
    if (value != nullptr && *value != '\0') {
        return value;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

void CloseSession() {
    if (session && !session->dropped()) {
        session->Close();
    }
    session.reset();
    line.reset();
}

}  // namespace

extern "C" {

GBP_API std::int32_t GBP_CALL InitGBPMode(std::uint8_t port) {
    const std::lock_guard<std::mutex> guard(callLock);
    CloseSession();
    if (port < 1 || port > 6) {
        return GBP_BAD_ARGUMENT;
    }
    const gbp::Timing timing = TimingFromEnvironment();
    line = gbp::SerialLink::Open(DevicePath(port), timing.baud);
    if (!line) {
        return GBP_PORT_ERROR;
    }
    // Start each session at a sequence number the previous ones did not end
    // on, so a late reply from an earlier session never matches.
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    nextSeq = static_cast<std::uint8_t>(nextSeq + 37 + (ticks & 0x3F));
    session = std::make_unique<gbp::Session>(*line, timing, nextSeq);
    const std::int32_t result = session->Open();
    if (result != GBP_OK) {
        session.reset();
        line.reset();
    }
    return result;
}

GBP_API void GBP_CALL EndGBPMode(void) {
    const std::lock_guard<std::mutex> guard(callLock);
    CloseSession();
}

GBP_API std::int32_t GBP_CALL ClearNVMFile(std::uint8_t first, std::uint8_t second) {
    const std::lock_guard<std::mutex> guard(callLock);
    if (!session) {
        return GBP_NOT_OPEN;
    }
    return session->Erase(first, second);
}

GBP_API std::int32_t GBP_CALL ReadNVMFile(std::uint8_t first, std::uint8_t second,
                                          std::uint8_t* data, std::int32_t fourth) {
    (void)fourth;
    const std::lock_guard<std::mutex> guard(callLock);
    if (!session) {
        return GBP_NOT_OPEN;
    }
    if (data == nullptr) {
        return GBP_BAD_ARGUMENT;
    }
    return session->Read(first, second, data, ReadCapacity);
}

GBP_API std::int32_t GBP_CALL WriteNVMFile(std::uint8_t first, std::uint8_t second,
                                           std::uint8_t* data, std::int32_t length) {
    const std::lock_guard<std::mutex> guard(callLock);
    if (!session) {
        return GBP_NOT_OPEN;
    }
    if (length < 0 || (data == nullptr && length > 0)) {
        return GBP_BAD_ARGUMENT;
    }
    return session->Write(first, second, data, static_cast<std::size_t>(length));
}

}  // extern "C"
