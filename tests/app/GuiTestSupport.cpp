#include "GuiTestSupport.h"

#include "Application.h"
#include "SectionBuffer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdio>

void (*OnWindowTestSetUp)() = nullptr;
std::string (*PhoneCallLog)() = nullptr;

class ModalDriver::Timer : public QTimer {};

ModalDriver::ModalDriver() : timer_(new Timer) {
    QObject::connect(timer_, &QTimer::timeout, [this] { Poll(); });
    timer_->start(5);
}

ModalDriver::~ModalDriver() {
    delete timer_;
}

void ModalDriver::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back({box->windowTitle(), box->text(), box->icon(),
                         Form1 ? Form1->windowTitle() : QString(),
                         PhoneCallLog ? PhoneCallLog() : std::string()});
        box->done(QMessageBox::Ok);
        return;
    }
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialogs.push_back({dialog->windowTitle(), dialog->nameFilters(),
                           dialog->selectedNameFilter(), dialog->defaultSuffix(),
                           dialog->findChild<QWidget*>(QStringLiteral("previewImage")) != nullptr,
                           !dialog->testOption(QFileDialog::DontConfirmOverwrite)});
        if (onDialog)
            onDialog(dialog);
        const QString answer = answers_.empty() ? QString() : answers_.front();
        if (!answers_.empty())
            answers_.pop_front();
        if (answer.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(answer);
            static_cast<QDialog*>(dialog)->accept();
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the file dialog did not accept " << answer.toStdString();
                dialog->reject();
            }
        }
    }
}

void MainWindowTest::SetUp() {
    if (OnWindowTestSetUp)
        OnWindowTestSetUp();
    Application->CreateForm(Form1);
    ASSERT_TRUE(dir.isValid());
}

void MainWindowTest::TearDown() {
    delete Form1;
    Form1 = nullptr;
}

void MainWindowTest::Click(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

QImage MainWindowTest::Grab() const {
    return Form1->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

std::string Hex(const std::vector<unsigned char>& bytes, std::size_t from, std::size_t count) {
    std::string out;
    char text[4];
    for (std::size_t i = from; i < from + count && i < bytes.size(); ++i) {
        std::snprintf(text, sizeof text, "%02X ", bytes[i]);
        out += text;
    }
    return out;
}

std::vector<unsigned char> BufferCopy() {
    return {SectionBuffer, SectionBuffer + SectionSize};
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication qtApplication(argc, argv);
    TApplication application;
    Application->Initialize();
    Application->SetTitle(QStringLiteral("Velmoran"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
