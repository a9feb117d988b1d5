// Program start: the application object, its title, the main window, the
// event loop. No command-line options, settings or saved state.
#include "Application.h"
#include "Unit1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qtApplication(argc, argv);
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmoran.Velmoran"));
    TApplication application;
    Application->Initialize();
    Application->SetTitle(QStringLiteral("Velmoran"));
    Application->CreateForm(Form1);
    return Application->Run();
}
