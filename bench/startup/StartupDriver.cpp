// Start-up benchmark: spawns the program's start-up harness and the bare
// reference window alternately, N times each, and compares the medians of the
// time from spawn to the first painted frame and of the peak memory (VmHWM).
// Usage: bench_startup [--runs N] [--platform xcb|offscreen]
// For xcb, run it under a display (xvfb-run).
#include "BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

struct Series {
    std::vector<double> qapp, window, paint, hwm;
    void Add(const bench::RunResult& r) {
        qapp.push_back(r.Ms("t_qapp"));
        window.push_back(r.Ms("t_form"));
        paint.push_back(r.Ms("t_paint"));
        hwm.push_back(std::stod(r.values.at("hwm_kb")) / 1024.0);
    }
    void Print(const char* name) const {
        std::printf(
            "  %-34s first frame %7.1f ms  (QApplication ready %6.1f, window built %6.1f)  VmHWM "
            "%6.1f MiB\n",
            name, bench::Median(paint), bench::Median(qapp), bench::Median(window),
            bench::Median(hwm));
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    int runs = 15;
    std::string platform = "offscreen";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--platform") == 0 && i + 1 < argc)
            platform = argv[++i];
    }
    const std::string folder = bench::OwnFolder();
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=" + platform};
    const std::string app = folder + "/bench_startup_app";
    const std::string bare = folder + "/bench_startup_bare";
    try {
        // Warm the page cache and the font cache first.
        for (int i = 0; i < 2; ++i) {
            bench::Run({bare}, env);
            bench::Run({app}, env);
        }
        Series ref, text, own;
        for (int i = 0; i < runs; ++i) {
            ref.Add(bench::Run({bare}, env));
            own.Add(bench::Run({app}, env));
            text.Add(bench::Run({bare, "--text"}, env));
        }
        const bench::RunResult profile = bench::Run({app, "--profile"}, env);

        std::printf("startup [%s], median of %d runs, times from spawn:\n", platform.c_str(), runs);
        ref.Print("reference (bare QWidget 280x300)");
        text.Print("(bare window + one text button)");
        own.Print("velmoran (main window)");
        const double timeRatio = bench::Median(own.paint) / bench::Median(ref.paint);
        const double memRatio = bench::Median(own.hwm) / bench::Median(ref.hwm);
        std::printf(
            "  pieces of the window's creation (one run): font %s us, icon %s us (again %s "
            "us), CreateForm %s us\n",
            profile.values.at("font_us").c_str(), profile.values.at("icon_us").c_str(),
            profile.values.at("icon_again_us").c_str(), profile.values.at("createform_us").c_str());
        std::printf("  RATIO startup-time[%s] %.2fx (target <= 1.20x)%s\n", platform.c_str(),
                    timeRatio, timeRatio <= 1.2 ? "" : "  MISSED");
        std::printf("  RATIO startup-memory[%s] %.2fx (target <= 1.20x)%s\n", platform.c_str(),
                    memRatio, memRatio <= 1.2 ? "" : "  MISSED");
        std::printf(
            "  against the window with one text button (what any text costs): time %.2fx, "
            "memory %.2fx\n",
            bench::Median(own.paint) / bench::Median(text.paint),
            bench::Median(own.hwm) / bench::Median(text.hwm));
    } catch (const std::exception& e) {
        std::cerr << "bench_startup: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
