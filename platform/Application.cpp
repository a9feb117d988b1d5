#include "Application.h"

#include "Controls.h"

#include <QApplication>
#include <QMessageBox>

#include <new>

TApplication* Application = nullptr;

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > 0x2E)
        return message + QLatin1Char('.');
    return message;
}

TApplication::TApplication() {
    Application = this;
}

TApplication::~TApplication() {
    if (Application == this)
        Application = nullptr;
    delete mainForm_.data();
}

void TApplication::Initialize() {}

void TApplication::SetTitle(const QString& title) {
    title_ = title;
    // Names the program to the window system (the taskbar groups and labels
    // its entry by it); the window captions are left alone.
    QCoreApplication::setApplicationName(title);
}

void TApplication::Adopt(TForm* form) {
    if (mainForm_.isNull())
        mainForm_ = form;
}

int TApplication::Run() {
    if (mainForm_.isNull())
        return 0;
    mainForm_->ShowFirstTime();
    return QApplication::exec();
}

void TApplication::Guard(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::bad_alloc&) {
        ShowErrorBox(QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unexpected error"));
    }
}

void TApplication::ShowException(const std::exception& error) {
    ShowErrorBox(QString::fromUtf8(error.what()));
}

namespace {

void ShowModal(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QPointer<QWidget> previous = QApplication::activeWindow();
    QMessageBox box(icon, caption, text, QMessageBox::Ok, previous);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    if (previous)
        previous->activateWindow();
}

}  // namespace

void TApplication::ShowErrorBox(const QString& message) {
    ShowModal(QMessageBox::Critical, title_, ErrorBoxText(message));
}

void TApplication::MessageBox(const QString& text, const QString& caption) {
    ShowModal(QMessageBox::NoIcon, caption, text);
}

TForm* TApplication::MainForm() const {
    return mainForm_.data();
}
