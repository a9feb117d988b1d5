#include "FakeGBP.h"

#include "GBP.h"
#include "GuiTestSupport.h"

#include <algorithm>

namespace FakeGBP {

Script script;
std::vector<Call> calls;
std::function<std::string()> captionProbe;

void Reset() {
    script = Script{};
    calls.clear();
}

std::string CallNames() {
    std::string names;
    for (const Call& c : calls)
        names += (names.empty() ? "" : ",") + c.name;
    return names;
}

namespace {

// Every window test starts with an empty script and call log.
void StartWindowTest() {
    Reset();
    captionProbe = [] { return Form1 ? Form1->windowTitle().toStdString() : std::string(); };
}
[[maybe_unused]] const bool registered = [] {
    OnWindowTestSetUp = &StartWindowTest;
    PhoneCallLog = &CallNames;
    return true;
}();

Call& Record(const char* name) {
    Call c;
    c.name = name;
    if (captionProbe)
        c.caption = captionProbe();
    calls.push_back(c);
    return calls.back();
}
}  // namespace

}  // namespace FakeGBP

extern "C" {

int32_t InitGBPMode(uint8_t port) {
    FakeGBP::Record("InitGBPMode").port = port;
    return FakeGBP::script.initResult;
}

void EndGBPMode(void) {
    FakeGBP::Record("EndGBPMode");
}

int32_t ClearNVMFile(uint8_t first, uint8_t second) {
    auto& c = FakeGBP::Record("ClearNVMFile");
    c.first = first;
    c.second = second;
    return FakeGBP::script.clearResult;
}

int32_t ReadNVMFile(uint8_t first, uint8_t second, uint8_t* data, int32_t fourth) {
    auto& c = FakeGBP::Record("ReadNVMFile");
    c.first = first;
    c.second = second;
    c.fourth = fourth;
    const auto& bytes = FakeGBP::script.readBytes;
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 5565), data);
    return FakeGBP::script.readResult;
}

int32_t WriteNVMFile(uint8_t first, uint8_t second, uint8_t* data, int32_t length) {
    auto& c = FakeGBP::Record("WriteNVMFile");
    c.first = first;
    c.second = second;
    c.fourth = length;
    if (length > 0)
        c.data.assign(data, data + length);
    return FakeGBP::script.writeResult;
}
}
