// A scriptable stand-in for the phone library, linked into the window tests in
// place of the real one (same five exports). Each test sets the results and the
// bytes ReadNVMFile delivers; every call is recorded with its arguments and the
// window caption at the moment it was made.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace FakeGBP {

struct Call {
    std::string name;
    int port = -1;
    int first = -1;
    int second = -1;
    std::int32_t fourth = 0;         // ReadNVMFile's fourth argument, WriteNVMFile's length
    std::string caption;             // the window caption during the call
    std::vector<std::uint8_t> data;  // what WriteNVMFile received
};

struct Script {
    std::int32_t initResult = 1;
    std::int32_t clearResult = 1;
    std::int32_t writeResult = 1;
    std::int32_t readResult = 1;
    std::vector<std::uint8_t> readBytes;  // what ReadNVMFile writes from byte 0
};

extern Script script;
extern std::vector<Call> calls;
// Reads the caption to record with each call.
extern std::function<std::string()> captionProbe;

void Reset();
std::string CallNames();  // "InitGBPMode,ReadNVMFile,EndGBPMode"

}  // namespace FakeGBP
