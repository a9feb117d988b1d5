// The section file commands over arbitrary file content. Loading a file of at
// most 5565 bytes gives the file's bytes over zeros with every slot whose
// markers are wrong blanked; a longer file is refused and changes nothing.
// Saving then writes exactly the 5565 bytes of the buffer, so for a 5565-byte
// file load + save gives back the file with its invalid slots blanked.
//
// The file is a memfd reached through /proc/self/fd; the save goes to a
// private folder in TMPDIR (or /dev/shm), removed at exit.
#include "FileRoutines.h"
#include "FuzzCheck.h"
#include "SectionBuffer.h"
#include "SectionFiles.h"
#include "SlotCodec.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class Surface final : public PictureSurface {
public:
    int Width() const override { return 96; }
    int Height() const override { return 77; }
    TColor Pixel(int x, int y) const override {
        return Inside(x, y) ? pixels_[static_cast<std::size_t>(y * 96 + x)] : InvalidColor;
    }
    void SetPixel(int x, int y, TColor c) override {
        if (Inside(x, y))
            pixels_[static_cast<std::size_t>(y * 96 + x)] = c;
    }
    void Rectangle(int w, int h) override {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                SetPixel(x, y, clWhite);
    }
    void SetPenColor(TColor c) override { pen_ = c; }
    TColor PenColor() const override { return pen_; }

private:
    static bool Inside(int x, int y) { return x >= 0 && y >= 0 && x < 96 && y < 77; }
    std::array<TColor, 96 * 77> pixels_{};
    TColor pen_ = clBlack;
};

class Host final : public SlotHost {
public:
    PictureSurface& SlotSurface(int Slot) override { return surfaces[Slot - 1]; }
    void SetSaveEnabled(int Slot, bool Enabled) override { saveEnabled[Slot - 1] = Enabled; }
    std::array<Surface, 3> surfaces;
    std::array<bool, 3> saveEnabled{};
};

struct Setup {
    Setup() {
        CodecHost = &host;
        fd = memfd_create("fuzz-section", 0);
        const char* tmp = std::getenv("TMPDIR");
        const std::string base =
            tmp && *tmp ? tmp : (std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp");
        const std::string pattern = base + "/velmoran-fuzz-section-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        FUZZ_CHECK(fd >= 0 && mkdtemp(name.data()) != nullptr, "cannot set up the fuzz files");
        dir = name.data();
        input = "/proc/self/fd/" + std::to_string(fd);
        output = dir + "/out.sec";
    }
    ~Setup() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    static Setup& Instance() {
        static Setup s;
        return s;
    }
    Host host;
    int fd = -1;
    std::string dir, input, output;
};

bool MarkersValid(const std::uint8_t* slot) {
    return slot[0] == SlotWidthMarker && slot[1] == SlotHeightMarker && slot[2] == SlotThirdMarker;
}

std::vector<std::uint8_t> ReadBack(const std::string& path) {
    std::vector<std::uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(f != nullptr, "saved file %s missing", path.c_str());
    std::uint8_t buf[8192];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Setup& s = Setup::Instance();
    FUZZ_CHECK(ftruncate(s.fd, 0) == 0 &&
                   (size == 0 || pwrite(s.fd, data, size, 0) == static_cast<ssize_t>(size)),
               "cannot write the memfd");

    // Something recognisable in the buffer, so a load that changes nothing
    // (or only part of it) shows.
    std::memset(SectionBuffer, 0x5A, SectionSize);
    s.host.saveEnabled = {false, false, false};

    if (size > SectionSize) {
        std::string error;
        try {
            LoadSectionFile(s.input);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        FUZZ_CHECK(error == SectionFileTooLongText(size), "%zu-byte file: \"%s\"", size,
                   error.c_str());
        for (std::size_t i = 0; i < SectionSize; ++i)
            FUZZ_CHECK(SectionBuffer[i] == 0x5A, "refused load changed byte %zu", i);
        return 0;
    }

    try {
        LoadSectionFile(s.input);
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, "%zu-byte file refused: \"%s\"", size, e.what());
    }

    std::vector<std::uint8_t> expected(SectionSize, 0);
    if (size > 0)
        std::memcpy(expected.data(), data, size);
    for (int slot = 1; slot <= SlotCount; ++slot) {
        std::uint8_t* p = expected.data() + SlotOffset(slot);
        const bool valid = MarkersValid(p);
        if (!valid)
            std::memset(p, BlankByte, SlotSize);
        FUZZ_CHECK(s.host.saveEnabled[static_cast<std::size_t>(slot - 1)] == valid,
                   "slot %d: Save BMP %d, markers valid %d", slot,
                   int(s.host.saveEnabled[static_cast<std::size_t>(slot - 1)]), int(valid));
    }
    for (std::size_t i = 0; i < SectionSize; ++i)
        FUZZ_CHECK(SectionBuffer[i] == expected[i], "byte %zu is %02X after load, expected %02X", i,
                   SectionBuffer[i], expected[i]);

    try {
        SaveSectionFile(s.output);
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, "save failed: \"%s\"", e.what());
    }
    const std::vector<std::uint8_t> saved = ReadBack(s.output);
    FUZZ_CHECK(saved == expected, "saved file (%zu bytes) is not the loaded buffer", saved.size());
    if (size == SectionSize) {
        // The file itself, invalid slots blanked: what was valid came back as it was.
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const std::size_t at = SlotOffset(slot);
            if (MarkersValid(data + at))
                FUZZ_CHECK(std::memcmp(saved.data() + at, data + at, SlotSize) == 0,
                           "valid slot %d changed by load + save", slot);
        }
        FUZZ_CHECK(std::memcmp(saved.data(), data, SectionHeaderSize) == 0,
                   "header changed by load + save");
    }
    return 0;
}
