// Load BMP benchmark: a 6000 x 4000, 24-bit bitmap file read into slot 1's
// picture through the real picture (TPicture::LoadFromFile), encoded into the
// slot and drawn back (StoreSlot), the way the Load BMP command does it,
// against ImageMagick decoding the same file ("convert big.bmp null:").
// Both run as processes of their own, alternately; medians of the runs.
// Usage: bench_bmpload [--runs N] [--keep FILE]
//        bench_bmpload --load FILE   (one load in this process, reporting)
#include "Application.h"
#include "BenchSupport.h"
#include "PictureFiles.h"
#include "Unit1.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

constexpr int BigWidth = 6000;
constexpr int BigHeight = 4000;
constexpr double DecodedBytes = double{BigWidth} * BigHeight * 4;

void Put16(std::vector<unsigned char>& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void Put32(std::vector<unsigned char>& b, unsigned v) {
    Put16(b, v & 0xFFFFu);
    Put16(b, v >> 16);
}

// An uncompressed 24-bit bottom-up bitmap with smooth gradients and a little
// noise, so neither side can take shortcuts on uniform rows.
void WriteBigBitmap(const std::string& path) {
    const unsigned rowBytes = (BigWidth * 3 + 3) & ~3u;
    std::vector<unsigned char> header;
    Put16(header, 0x4D42);
    Put32(header, 54 + rowBytes * BigHeight);
    Put32(header, 0);
    Put32(header, 54);
    Put32(header, 40);
    Put32(header, BigWidth);
    Put32(header, BigHeight);
    Put16(header, 1);
    Put16(header, 24);
    Put32(header, 0);
    Put32(header, rowBytes * BigHeight);
    Put32(header, 2835);
    Put32(header, 2835);
    Put32(header, 0);
    Put32(header, 0);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()),
              static_cast<std::streamsize>(header.size()));
    std::vector<unsigned char> row(rowBytes, 0);
    unsigned seed = 12345;
    for (int y = 0; y < BigHeight; ++y) {
        for (int x = 0; x < BigWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const unsigned noise = (seed >> 16) & 0x1F;
            row[3 * x] = static_cast<unsigned char>((x * 255 / BigWidth + noise) & 0xFF);
            row[3 * x + 1] = static_cast<unsigned char>((y * 255 / BigHeight + noise) & 0xFF);
            row[3 * x + 2] = static_cast<unsigned char>(((x + y) / 40 + noise) & 0xFF);
        }
        out.write(reinterpret_cast<const char*>(row.data()), rowBytes);
    }
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// One Load BMP into slot 1 of a real main window, headless.
int LoadOnce(int argc, char* argv[], const char* file) {
    QApplication qtApplication(argc, argv);
    TApplication application;
    Application->SetTitle(QStringLiteral("Velmoran"));
    Application->CreateForm(Form1);
    const long rssBefore = bench::StatusKb("VmRSS");
    std::printf("t_start=%lld\n", static_cast<long long>(bench::NowNs()));
    LoadPictureFile(1, Form1->Image1->Picture(), QString::fromLocal8Bit(file));
    std::printf("t_end=%lld\n", static_cast<long long>(bench::NowNs()));
    std::printf("rss_before_kb=%ld\nhwm_kb=%ld\n", rssBefore, bench::StatusKb("VmHWM"));
    std::printf("size=%dx%d\n", Form1->Image1->Picture().Width(),
                Form1->Image1->Picture().Height());
    std::fflush(stdout);
    std::_Exit(0);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0)
        return LoadOnce(argc, argv, argv[2]);
    int runs = 5;
    std::string keep;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = argv[i + 1];
    }
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("velmoran-bmpload-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string file = keep.empty() ? (dir / "big.bmp").string() : keep;
    int rc = 0;
    try {
        if (!fs::exists(file))
            WriteBigBitmap(file);
        const std::string self = bench::OwnFolder() + "/bench_bmpload";
        const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen"};
        // Once each to bring the file into the page cache and check both work.
        const bench::RunResult first = bench::Run({self, "--load", file}, env);
        if (first.values.at("size") != "6000x4000")
            throw std::runtime_error("the picture holds " + first.values.at("size"));
        bench::Run({"convert", file, "null:"});
        std::vector<double> ownWall, ownLoad, ownHwm, ownExtra, imWall, imHwm;
        for (int i = 0; i < runs; ++i) {
            const bench::RunResult own = bench::Run({self, "--load", file}, env);
            ownWall.push_back(own.WallMs());
            ownLoad.push_back(own.Ms("t_end") - own.Ms("t_start"));
            const double hwm = std::stod(own.values.at("hwm_kb")) * 1024;
            ownHwm.push_back(hwm / 1048576);
            ownExtra.push_back(hwm - std::stod(own.values.at("rss_before_kb")) * 1024);
            const bench::RunResult im = bench::Run({"convert", file, "null:"});
            imWall.push_back(im.WallMs());
            imHwm.push_back(static_cast<double>(im.maxRssKb) / 1024);
        }
        const double timeRatio = bench::Median(ownWall) / bench::Median(imWall);
        const double loadRatio = bench::Median(ownLoad) / bench::Median(imWall);
        const double memRatio = bench::Median(ownExtra) / DecodedBytes;
        std::printf("bmpload, %d x %d 24-bit file (%.1f MB), median of %d runs:\n", BigWidth,
                    BigHeight, static_cast<double>(fs::file_size(file)) / 1e6, runs);
        std::printf(
            "  velmoran Load BMP (read, StoreSlot)    process %7.1f ms, of it the load %7.1f "
            "ms; VmHWM %6.1f MiB\n",
            bench::Median(ownWall), bench::Median(ownLoad), bench::Median(ownHwm));
        std::printf("  convert big.bmp null: (ImageMagick)   process %7.1f ms; VmHWM %6.1f MiB\n",
                    bench::Median(imWall), bench::Median(imHwm));
        std::printf("  memory added by the load: %.1f MiB, decoded image %.1f MiB\n",
                    bench::Median(ownExtra) / 1048576, DecodedBytes / 1048576);
        std::printf("  RATIO bmpload-time %.2fx (process against process; target <= 1.00x)%s\n",
                    timeRatio, timeRatio <= 1.0 ? "" : "  MISSED");
        std::printf("  RATIO bmpload-time-load-only %.2fx (the load step alone against convert)\n",
                    loadRatio);
        std::printf("  RATIO bmpload-memory %.2fx of the decoded size (target <= 1.50x)%s\n",
                    memRatio, memRatio <= 1.5 ? "" : "  MISSED");
    } catch (const std::exception& e) {
        std::cerr << "bench_bmpload: " << e.what() << "\n";
        rc = 1;
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return rc;
}
