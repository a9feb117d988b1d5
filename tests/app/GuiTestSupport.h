// Support for tests that drive the real main window headless: a test main that
// sets up the application as the program does, and a driver that answers the
// modal boxes and file dialogs a command opens, from a timer, so no test ever
// blocks on one.
#pragma once

#include "Unit1.h"

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ModalDriver {
public:
    struct Box {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
        QString formCaption;     // the main window's caption while the box was up
        std::string callsSoFar;  // the phone library calls made before it appeared
    };
    struct Dialog {
        QString title;
        QStringList nameFilters;
        QString selectedNameFilter;
        QString defaultSuffix;
        bool hasPreview;
        bool confirmOverwrite;
    };

    ModalDriver();
    ~ModalDriver();

    // The answer to the next file dialog: a file name to accept, or cancel.
    void Choose(const QString& fileName) { answers_.push_back(fileName); }
    void Cancel() { answers_.push_back(QString()); }
    // Called with each file dialog before it is answered.
    std::function<void(QWidget* dialog)> onDialog;

    std::vector<Box> boxes;
    std::vector<Dialog> dialogs;

private:
    void Poll();
    class Timer;
    Timer* timer_;
    std::deque<QString> answers_;
};

// A fresh main window for each test, created the way the program creates it.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static void Click(QWidget* button);
    // The window as it appears on screen, client area only.
    QImage Grab() const;
    QTemporaryDir dir;
};

// Set by the phone library the test links: what to do before each window test,
// and the calls it has seen so far (for ModalDriver::Box::callsSoFar).
// Plain pointers: constant-initialised, so a library may set them from its own
// static initialisation whatever the order.
extern void (*OnWindowTestSetUp)();
extern std::string (*PhoneCallLog)();

std::string Hex(const std::vector<unsigned char>& bytes, std::size_t from, std::size_t count);
std::vector<unsigned char> BufferCopy();
