// Writes the seed inputs of the fuzz targets: fuzz_make_seeds <fuzz/corpus>.
// Each seed is a small, valid case of what its target decodes, so the fuzzer
// starts from inputs that reach deep into the code.
#include "../tests/platform_bmp/BmpBytes.h"
#include "Frame.h"
#include "Protocol.h"
#include "SectionBuffer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using gbp::Frame;
namespace proto = gbp::proto;

namespace {

fs::path root;

void Write(const std::string& target, const std::string& name, const std::vector<std::uint8_t>& b) {
    fs::create_directories(root / target);
    std::ofstream(root / target / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

std::vector<std::uint8_t> Section(bool valid1, bool valid2, bool valid3) {
    std::vector<std::uint8_t> s(SectionSize, 0xFF);
    const std::uint8_t header[12] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9, 0, 0, 1, 0, 0, 0};
    std::copy(std::begin(header), std::end(header), s.begin());
    const bool valid[3] = {valid1, valid2, valid3};
    for (int n = 1; n <= 3; ++n) {
        if (!valid[n - 1])
            continue;
        std::uint8_t* p = s.data() + SlotOffset(n);
        p[0] = 0x60, p[1] = 0x4D, p[2] = 0x00;
        for (std::size_t i = 3; i < SlotSize; ++i)
            p[i] = static_cast<std::uint8_t>(i * 37 + n);
    }
    return s;
}

void BitmapSeeds() {
    Write("bmp", "pal8.bmp", Build(Pal8Spec()));
    Write("bmp", "rle8.bmp", Build(Rle8Spec()));
    Write("bmp", "rgb24.bmp", Build(Rgb24Spec()));
    BmpSpec core = Pal8Spec();
    core.headerSize = 12;
    core.coloursUsed = 0;
    core.palette.clear();
    for (int i = 0; i < 256; ++i)
        core.palette.insert(core.palette.end(), 3, static_cast<std::uint8_t>(i));
    Write("bmp", "core8.bmp", Build(core));
    BmpSpec one;
    one.bitCount = 1;
    one.width = 9;
    one.coloursUsed = 2;
    one.palette = {0, 0, 0, 0, 255, 255, 255, 0};
    one.pixels = {0xA5, 0x80, 0, 0, 0x5A, 0x00, 0, 0};
    Write("bmp", "pal1.bmp", Build(one));
    BmpSpec rle4;
    rle4.bitCount = 4;
    rle4.compression = 2;
    rle4.width = 6;
    rle4.height = 3;
    rle4.coloursUsed = 3;
    rle4.palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    rle4.pixels = {6, 0x12, 0, 0, 0, 2, 2, 3, 0, 4, 0x21, 0x02, 0, 0, 0, 1};
    Write("bmp", "rle4-delta.bmp", Build(rle4));
    BmpSpec bf16;
    bf16.bitCount = 16;
    bf16.compression = 3;
    bf16.width = 2;
    bf16.masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    bf16.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF};
    Write("bmp", "rgb16-565.bmp", Build(bf16));
    BmpSpec rgb32;
    rgb32.bitCount = 32;
    rgb32.width = 2;
    rgb32.height = -2;  // top-down
    rgb32.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Write("bmp", "rgb32-topdown.bmp", Build(rgb32));
}

void SectionSeeds() {
    Write("section", "blank.sec", Section(false, false, false));
    Write("section", "valid.sec", Section(true, true, true));
    Write("section", "mixed.sec", Section(true, false, true));
    auto shortFile = Section(true, true, false);
    shortFile.resize(2000);
    Write("section", "short.sec", shortFile);
    Write("section", "empty.sec", {});
    auto longFile = Section(true, true, true);
    longFile.push_back(0);
    Write("section", "long.sec", longFile);
}

// A whole exchange as the phone sees it, and the replies as the library sees them.
void FrameSeeds() {
    const Frame open{proto::Open, 7, {'G', 'B', 'P', 1}};
    const Frame read{proto::Read, 8, {16, 4, 0, 0, 0, 0, 0, 16}};
    Write("frame", "open-request", gbp::EncodeFrame(open, true));
    Write("frame", "read-request-block",
          gbp::CobsEncode(std::vector<std::uint8_t>{4, 8, 16, 4, 0, 0, 0, 0, 0, 16, 0x12, 0x34}));
    // ReplyMatcher input: type, seq, cut size, then the stream.
    std::vector<std::uint8_t> m{proto::Read, 8, 5};
    Append(m, gbp::EncodeFrame({0x84, 7, {1, 2, 3}}, true));  // stale
    Append(m, {0x11, 0x22, 0x00});                            // noise
    std::vector<std::uint8_t> payload{0xBD, 0x15, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 300; ++i)
        payload.push_back(static_cast<std::uint8_t>(i));
    Append(m, gbp::EncodeFrame({0x84, 8, payload}, true));
    Write("frame", "matcher-read", m);
    std::vector<std::uint8_t> r{proto::Erase, 3, 1};
    Append(r, gbp::EncodeFrame({0xFF, 3, {proto::Erase, 3}}));
    Write("frame", "matcher-refused", r);
}

// PhoneFuzzer input: config, file 1-2 length + bytes, then records; tag >= 64
// builds a request (kind, seq mode, shape, fields).
void PhoneSeeds() {
    std::vector<std::uint8_t> s{0x00, 3, 9, 9, 9};
    Append(s, {0x40, 0, 0, 0});                                         // Open
    Append(s, {0x40, 3, 0, 0, 0, 0, 0, 0x00, 0x10});                    // Read 16-04 at 0, 4096
    Append(s, {0x40, 3, 0, 0, 0, 0xBD, 0x15, 0x00, 0x10});              // Read at 5565
    Append(s, {0x40, 2, 0, 0, 0});                                      // Erase 16-04
    Append(s, {0x40, 4, 0, 0, 0, 0xBD, 0x15, 0, 0, 0x00, 0x10, 0x33});  // Write first piece
    Append(s, {0x40, 4, 0, 0, 0, 0xBD, 0x15, 0x00, 0x10, 0xBD, 0x05, 0x44});    // last piece
    Append(s, {0x40, 4, 200, 0, 0, 0xBD, 0x15, 0x00, 0x10, 0xBD, 0x05, 0x44});  // repeat
    Append(s, {0x40, 1, 0, 0});                                                 // Close
    Write("phone", "session", s);
    std::vector<std::uint8_t> w{0x06, 0x00, 0x00, 0x04, 0};
    Append(w, {0x40, 3, 0, 0, 0, 0, 0, 0x00, 0x10});  // Read before Open
    Append(w, {0x40, 0, 0, 210, 'X'});
    Append(w, {10, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x05, 0x11, 0x22, 0x33, 0x44, 0x00});
    Write("phone", "faults", w);
}

// SessionFuzzer input: config, first seq, then calls, each followed by the
// link's script (a byte per Send, then reply records).
void SessionSeeds() {
    std::vector<std::uint8_t> s{0x00, 0x10};
    Append(s, {0, 0, 64, 0});     // Open; reply
    Append(s, {3, 0, 64, 0, 0});  // Read: piece 1, total 5565
    Append(s, {0, 64, 0, 0});     // piece 2
    Append(s, {2, 0, 64, 0});     // Erase
    Append(s, {5, 0, 0, 64, 0});  // Write 5565: piece 1
    Append(s, {0, 64, 0});        // piece 2
    Append(s, {1, 0, 64, 0});     // Close
    Write("session", "download-upload", s);
    std::vector<std::uint8_t> t{0x05, 0x80, 0x00};
    Append(t, {0, 0, 240, 0, 64, 0});  // Open: silence, then retry answered
    Append(t, {3, 0, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 64, 0, 130, 0x00, 0x20});
    Append(t, {0, 66, 0, 0, 0x20, 0x00});  // piece cut in two
    Append(t, {4, 0, 252});                // line dropped
    Append(t, {1});
    Write("session", "faults", t);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    root = argv[1];
    BitmapSeeds();
    SectionSeeds();
    FrameSeeds();
    PhoneSeeds();
    SessionSeeds();
    return 0;
}
