// In-memory stand-ins for a picture's drawing surface and for the main window,
// so the codec can be tested without any window system.
#pragma once

#include "SlotCodec.h"

#include <array>
#include <stdexcept>
#include <vector>

class MemorySurface : public PictureSurface {
public:
    explicit MemorySurface(int w = 96, int h = 77, TColor fill = 0x123456)
        : w_(w), h_(h), pixels_(static_cast<size_t>(w * h), fill) {}

    int Width() const override { return w_; }
    int Height() const override { return h_; }
    TColor Pixel(int x, int y) const override {
        return Inside(x, y) ? pixels_[static_cast<size_t>(y * w_ + x)] : InvalidColor;
    }
    void SetPixel(int x, int y, TColor c) override {
        if (Inside(x, y))
            pixels_[static_cast<size_t>(y * w_ + x)] = c;
    }
    void Rectangle(int w, int h) override {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                SetPixel(x, y, edge ? pen_ : clWhite);
            }
    }
    void SetPenColor(TColor c) override { pen_ = c; }
    TColor PenColor() const override { return pen_; }

    void Fill(TColor c) { pixels_.assign(pixels_.size(), c); }
    bool AllAre(TColor c) const {
        for (TColor p : pixels_)
            if (p != c)
                return false;
        return true;
    }

private:
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }
    int w_, h_;
    std::vector<TColor> pixels_;
    TColor pen_ = clBlack;
};

class WindowDouble : public SlotHost {
public:
    WindowDouble() { CodecHost = this; }
    ~WindowDouble() { CodecHost = nullptr; }

    PictureSurface& SlotSurface(int Slot) override {
        ++requests[Slot - 1];
        if (notBitmap[Slot - 1])
            throw std::runtime_error("Can only modify an image if it contains a bitmap");
        return surfaces[Slot - 1];
    }
    void SetSaveEnabled(int Slot, bool Enabled) override { saveEnabled[Slot - 1] = Enabled; }

    std::array<MemorySurface, 3> surfaces;
    std::array<bool, 3> saveEnabled{true, true, true};
    std::array<bool, 3> notBitmap{false, false, false};
    std::array<int, 3> requests{0, 0, 0};
};
