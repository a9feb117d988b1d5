// The reference: a bare Qt Widgets window of the main window's size, shown
// the same way, up to its first painted frame. With --text it also holds one
// push button with a caption, which shows what drawing any text at all costs
// (the font database is set up on first use).
#include "FirstFrame.h"

#include <QPushButton>

#include <cstring>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication qtApplication(argc, argv);
    FirstFrame::Mark("t_qapp");
    QWidget window;
    window.setWindowTitle(QStringLiteral("Velmoran 1.0"));
    window.setFixedSize(280, 300);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        auto* button = new QPushButton(QStringLiteral("Load BMP"), &window);
        button->setGeometry(116, 36, 67, 25);
    }
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - QPoint(140, 150));
    FirstFrame::Mark("t_form");
    FirstFrame first;
    window.installEventFilter(&first);
    window.show();
    return QApplication::exec();
}
