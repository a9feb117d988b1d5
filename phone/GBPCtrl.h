// Binding of the phone library. TGBPCtrl forwards each call unchanged to the
// library export of the same name and returns its result unchanged; it holds
// no state (the library keeps the connection). The five exports are bound
// when the program is loaded.
#pragma once

#include "GBP.h"

#include <cstdint>

class TGBPCtrl {
public:
    std::int32_t InitGBPMode(std::uint8_t Port) { return ::InitGBPMode(Port); }
    void EndGBPMode() { ::EndGBPMode(); }
    std::int32_t ClearNVMFile(std::uint8_t First, std::uint8_t Second) {
        return ::ClearNVMFile(First, Second);
    }
    std::int32_t ReadNVMFile(std::uint8_t First, std::uint8_t Second, std::uint8_t* Data,
                             std::int32_t Fourth) {
        return ::ReadNVMFile(First, Second, Data, Fourth);
    }
    std::int32_t WriteNVMFile(std::uint8_t First, std::uint8_t Second, std::uint8_t* Data,
                              std::int32_t Length) {
        return ::WriteNVMFile(First, Second, Data, Length);
    }
};

// The program-wide instance.
extern TGBPCtrl GBP;
