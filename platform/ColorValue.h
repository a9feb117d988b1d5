// Colour values as the program's code holds them: 0x00BBGGRR, blue in the
// most significant byte; all 32 bits set (-1) is the invalid colour.
#pragma once

#include <QColor>
#include <QRgb>

#include <cstdint>

using TColorValue = std::int32_t;
constexpr TColorValue InvalidColorValue = -1;

constexpr TColorValue ColorValueFromRgb(QRgb rgb) {
    return static_cast<TColorValue>(((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) |
                                    ((rgb >> 16) & 0xFFu));
}

constexpr QRgb RgbFromColorValue(TColorValue value) {
    const auto v = static_cast<std::uint32_t>(value);
    return 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
}

inline QColor QColorFromValue(TColorValue value) {
    return QColor::fromRgb(RgbFromColorValue(value));
}
