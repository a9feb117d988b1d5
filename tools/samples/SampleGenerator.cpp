// sample-generator: writes a section file (".sec", NVM file 16-04) holding
// three pictures drawn here: a landscape with sun and hills, a pattern of
// nested diamonds, and a smiling face above the word "HELLO". Optionally also
// writes the three pictures as grey-map files (PGM) for a quick look.
//
//   sample-generator OUT.sec [--pgm PREFIX [--scale N]]
//     PREFIX1.pgm .. PREFIX3.pgm, each 96 x 77 (times N) in four greys.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int Width = 96;
constexpr int Height = 77;
constexpr std::size_t SectionSize = 5565;
constexpr std::size_t SlotSize = 1851;
constexpr std::size_t SlotOffsets[3] = {12, 1863, 3714};
constexpr std::uint8_t StartupHeader[12] = {0x24, 0x88, 0x8E, 0xAD, 0x00, 0xE9,
                                            0x00, 0x00, 0x01, 0x00, 0x00, 0x00};

enum Grey : std::uint8_t { Black = 0, Dark = 1, Light = 2, White = 3 };

struct Picture {
    std::array<std::uint8_t, Width * Height> px{};

    void Set(int x, int y, Grey g) {
        if (x >= 0 && x < Width && y >= 0 && y < Height) {
            px[static_cast<std::size_t>(y * Width + x)] = g;
        }
    }
    std::uint8_t At(int x, int y) const { return px[static_cast<std::size_t>(y * Width + x)]; }
    void Fill(Grey g) { px.fill(g); }
    void Disc(double cx, double cy, double r, Grey g) {
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r) {
                    Set(x, y, g);
                }
            }
        }
    }
    void Ring(double cx, double cy, double r, double thickness, Grey g) {
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                if (d <= r && d > r - thickness) {
                    Set(x, y, g);
                }
            }
        }
    }
    void Line(double x0, double y0, double x1, double y1, Grey g) {
        const int steps =
            static_cast<int>(std::ceil(std::max(std::abs(x1 - x0), std::abs(y1 - y0)))) + 1;
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            Set(static_cast<int>(std::lround(x0 + (x1 - x0) * t)),
                static_cast<int>(std::lround(y0 + (y1 - y0) * t)), g);
        }
    }
    void Rect(int x0, int y0, int x1, int y1, Grey g) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                Set(x, y, g);
            }
        }
    }
};

// Sun over two ranges of hills, a house and a tree, two clouds.
Picture Landscape() {
    Picture p;
    p.Fill(Light);
    // Sun with rays.
    const double sx = 74, sy = 17;
    for (int k = 0; k < 12; ++k) {
        const double a = k * 3.14159265358979 / 6;
        p.Line(sx + 11 * std::cos(a), sy + 11 * std::sin(a), sx + 15 * std::cos(a),
               sy + 15 * std::sin(a), White);
    }
    p.Disc(sx, sy, 8.5, White);
    // Clouds.
    for (auto [cx, cy] : {std::pair{18.0, 14.0}, std::pair{44.0, 9.0}}) {
        p.Disc(cx, cy, 5, White);
        p.Disc(cx + 6, cy + 1, 4, White);
        p.Disc(cx - 6, cy + 1.5, 3.5, White);
        p.Rect(static_cast<int>(cx) - 8, static_cast<int>(cy) + 1, static_cast<int>(cx) + 9,
               static_cast<int>(cy) + 4, White);
    }
    // Far hills, dark grey; near hill, black.
    for (int x = 0; x < Width; ++x) {
        const double far = 44 + 7 * std::sin(x / 11.0) + 3 * std::sin(x / 4.3 + 1);
        const double near = 60 + 6 * std::sin(x / 17.0 + 2.2);
        for (int y = 0; y < Height; ++y) {
            if (y >= near) {
                p.Set(x, y, Black);
            } else if (y >= far) {
                p.Set(x, y, Dark);
            }
        }
    }
    // A path winding down the near hill.
    for (int y = 62; y < Height; ++y) {
        const double cx = 30 + 6 * std::sin(y / 4.0);
        const double half = 1 + (y - 62) * 0.35;
        for (int x = static_cast<int>(cx - half); x <= static_cast<int>(cx + half); ++x) {
            p.Set(x, y, Light);
        }
    }
    // House on the near hill: white walls, black roof with a chimney, black
    // door, a window with a light pane.
    p.Rect(58, 50, 72, 61, White);
    p.Rect(68, 40, 70, 45, Black);
    for (int i = 0; i <= 9; ++i) {
        p.Line(56 + i, 50 - i * 0.9, 74 - i, 50 - i * 0.9, Black);
    }
    p.Rect(62, 55, 65, 61, Black);
    p.Rect(67, 53, 70, 56, Black);
    p.Rect(68, 54, 69, 55, Light);
    // Tree: trunk and round crown.
    p.Rect(84, 52, 85, 60, Black);
    p.Disc(84.5, 47, 6, Dark);
    p.Ring(84.5, 47, 6, 1, Black);
    return p;
}

// Nested diamonds around the middle, the four greys rising and falling.
Picture Diamonds() {
    Picture p;
    constexpr Grey Cycle[6] = {White, Light, Dark, Black, Dark, Light};
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const int d = std::abs(2 * x + 1 - Width) / 2 + std::abs(2 * y + 1 - Height) / 2;
            p.Set(x, y, Cycle[(d / 4) % 6]);
        }
    }
    // A frame to finish it.
    for (int x = 0; x < Width; ++x) {
        p.Set(x, 0, Black);
        p.Set(x, Height - 1, Black);
    }
    for (int y = 0; y < Height; ++y) {
        p.Set(0, y, Black);
        p.Set(Width - 1, y, Black);
    }
    return p;
}

// 5 x 7 letters for the greeting.
const std::array<const char*, 7>* Glyph(char c) {
    static const std::array<const char*, 7> H = {"X...X", "X...X", "X...X", "XXXXX",
                                                 "X...X", "X...X", "X...X"};
    static const std::array<const char*, 7> E = {"XXXXX", "X....", "X....", "XXXX.",
                                                 "X....", "X....", "XXXXX"};
    static const std::array<const char*, 7> L = {"X....", "X....", "X....", "X....",
                                                 "X....", "X....", "XXXXX"};
    static const std::array<const char*, 7> O = {".XXX.", "X...X", "X...X", "X...X",
                                                 "X...X", "X...X", ".XXX."};
    static const std::array<const char*, 7> Bang = {"..X..", "..X..", "..X..", "..X..",
                                                    "..X..", ".....", "..X.."};
    switch (c) {
        case 'H':
            return &H;
        case 'E':
            return &E;
        case 'L':
            return &L;
        case 'O':
            return &O;
        case '!':
            return &Bang;
        default:
            return nullptr;
    }
}

void Text(Picture& p, int x, int y, const std::string& s, Grey g) {
    for (char c : s) {
        if (const auto* glyph = Glyph(c)) {
            for (int r = 0; r < 7; ++r) {
                for (int k = 0; k < 5; ++k) {
                    if ((*glyph)[static_cast<std::size_t>(r)][k] == 'X') {
                        p.Set(x + k, y + r, g);
                    }
                }
            }
        }
        x += 6;
    }
}

// A smiling face on a white ground with "HELLO!" beneath it.
Picture Greeting() {
    Picture p;
    p.Fill(White);
    const double cx = 48, cy = 30, r = 25;
    p.Disc(cx, cy, r, Light);
    p.Ring(cx, cy, r, 2, Black);
    // Eyes with a white glint, brows.
    for (double ex : {cx - 9, cx + 9}) {
        p.Disc(ex, cy - 7, 4, Black);
        p.Disc(ex + 1.2, cy - 8.2, 1.2, White);
        p.Line(ex - 4, cy - 14, ex + 3, cy - 15, Dark);
    }
    // Cheeks.
    p.Disc(cx - 15, cy + 5, 3, Dark);
    p.Disc(cx + 15, cy + 5, 3, Dark);
    // Smile: the lower part of a thick ring.
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - (cy + 1));
            if (y + 0.5 > cy + 6 && d <= 15 && d > 12.5) {
                p.Set(x, y, Black);
            }
        }
    }
    Text(p, (Width - 6 * 6 + 1) / 2, 64, "HELLO!", Black);
    return p;
}

void Pack(const Picture& pic, std::uint8_t* slot) {
    slot[0] = 0x60;  // width marker
    slot[1] = 0x4D;  // height marker
    slot[2] = 0x00;
    for (int y = 0; y < Height; ++y) {
        for (int b = 0; b < Width / 4; ++b) {
            std::uint8_t byte = 0;
            for (int k = 0; k < 4; ++k) {
                byte = static_cast<std::uint8_t>(byte | (pic.At(4 * b + k, y) << (6 - 2 * k)));
            }
            slot[3 + y * (Width / 4) + b] = byte;
        }
    }
}

bool WritePgm(const std::string& path, const Picture& pic, int scale) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << Width * scale << " " << Height * scale << "\n255\n";
    for (int y = 0; y < Height * scale; ++y) {
        for (int x = 0; x < Width * scale; ++x) {
            out.put(static_cast<char>(pic.At(x / scale, y / scale) * 85));
        }
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::cerr << "Usage: sample-generator OUT.sec [--pgm PREFIX [--scale N]]\n";
        return argc < 2 ? 2 : 0;
    }
    std::string pgm;
    int scale = 1;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--pgm" && i + 1 < argc) {
            pgm = argv[++i];
        } else if (a == "--scale" && i + 1 < argc) {
            scale = std::atoi(argv[++i]);
            if (scale < 1 || scale > 16) {
                std::cerr << "sample-generator: --scale takes 1..16\n";
                return 2;
            }
        } else {
            std::cerr << "sample-generator: unknown argument " << a << "\n";
            return 2;
        }
    }

    const Picture pictures[3] = {Landscape(), Diamonds(), Greeting()};
    std::vector<std::uint8_t> section(SectionSize, 0xFF);
    std::copy(std::begin(StartupHeader), std::end(StartupHeader), section.begin());
    for (int n = 0; n < 3; ++n) {
        Pack(pictures[n], section.data() + SlotOffsets[n]);
    }
    static_assert(12 + 3 * SlotSize == SectionSize);

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(section.data()),
              static_cast<std::streamsize>(section.size()));
    out.close();
    if (!out) {
        std::cerr << "sample-generator: cannot write " << argv[1] << "\n";
        return 1;
    }
    if (!pgm.empty()) {
        for (int n = 0; n < 3; ++n) {
            const std::string path = pgm + std::to_string(n + 1) + ".pgm";
            if (!WritePgm(path, pictures[n], scale)) {
                std::cerr << "sample-generator: cannot write " << path << "\n";
                return 1;
            }
        }
    }
    return 0;
}
