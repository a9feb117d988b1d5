// The program's own start (what main.cpp does) up to the main window's first
// painted frame. With --profile it first times, one by one, the pieces the
// window's creation is made of.
#include "AppIcon.h"
#include "Application.h"
#include "Controls.h"
#include "FirstFrame.h"
#include "Unit1.h"

#include <QApplication>

#include <cstring>

namespace {

void Profile() {
    auto time = [](const char* key, auto&& step) {
        const std::int64_t start = bench::NowNs();
        step();
        std::printf("%s_us=%lld\n", key, static_cast<long long>((bench::NowNs() - start) / 1000));
    };
    time("font", [] { (void)DefaultControlFont(); });
    time("icon", [] { (void)AppIcon(); });
    time("icon_again", [] { (void)AppIcon(); });
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool profile = argc > 1 && std::strcmp(argv[1], "--profile") == 0;
    QApplication qtApplication(argc, argv);
    FirstFrame::Mark("t_qapp");
    if (profile)
        Profile();
    TApplication application;
    Application->Initialize();
    Application->SetTitle(QStringLiteral("Velmoran"));
    const std::int64_t created = bench::NowNs();
    Application->CreateForm(Form1);
    if (profile)
        std::printf("createform_us=%lld\n",
                    static_cast<long long>((bench::NowNs() - created) / 1000));
    FirstFrame::Mark("t_form");
    FirstFrame first;
    Form1->installEventFilter(&first);
    return Application->Run();
}
