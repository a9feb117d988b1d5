#include "Application.h"
#include "GuiTestSupport.h"
#include "SectionBuffer.h"
#include "SectionFiles.h"

#include <QFile>
#include <QFileDialog>

#include <cstring>

namespace {

const char* const Filter = "Section 16-04 (Backgrounds)|16-04.sec|Sections|*.sec|Any file|*.*";

class SectionFiles : public MainWindowTest {
protected:
    QByteArray Read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll();
    }
    QString WriteBytes(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QByteArray Entry() {
        QByteArray bytes(static_cast<qsizetype>(SectionSize), '\x33');
        for (int n = 1; n <= 3; ++n) {
            bytes[static_cast<qsizetype>(SlotOffset(n))] = '\x60';
            bytes[static_cast<qsizetype>(SlotOffset(n) + 1)] = '\x4D';
            bytes[static_cast<qsizetype>(SlotOffset(n) + 2)] = '\x00';
        }
        bytes[static_cast<qsizetype>(SlotOffset(3) + 2)] = '\x01';  // slot 3 invalid
        return bytes;
    }
};

TEST_F(SectionFiles, SaveAfterStartUpThenLoadBack) {
    ModalDriver driver;
    const QString path = dir.filePath("16-04.sec");
    driver.Choose(path);
    Click(Form1->Button13);
    ASSERT_TRUE(driver.boxes.empty());
    const QByteArray saved = Read(path);
    ASSERT_EQ(saved.size(), 5565);
    EXPECT_EQ(Hex({saved.begin(), saved.begin() + 12}, 0, 12),
              "24 88 8E AD 00 E9 00 00 01 00 00 00 ");
    EXPECT_EQ(saved.mid(12), QByteArray(5553, '\xFF'));

    const QString entry = WriteBytes("entry.sec", Entry());
    driver.Choose(entry);
    Click(Form1->Button14);
    ASSERT_TRUE(driver.boxes.empty()) << driver.boxes[0].text.toStdString();
    EXPECT_TRUE(SlotIsValid(1));
    EXPECT_TRUE(SlotIsValid(2));
    EXPECT_FALSE(SlotIsValid(3));
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_TRUE(Form1->Button2->isEnabled());
    EXPECT_FALSE(Form1->Button3->isEnabled());
    // 0x33 is levels 0, 3, 0, 3.
    EXPECT_EQ(Form1->Image1->Picture().Image().pixel(0, 0) | 0xFF000000, qRgb(0, 0, 0));
    EXPECT_EQ(Form1->Image1->Picture().Image().pixel(1, 0) | 0xFF000000, qRgb(255, 255, 255));

    const QString again = dir.filePath("again.sec");
    driver.Choose(again);
    Click(Form1->Button13);
    QByteArray expected = Entry();
    expected.replace(static_cast<qsizetype>(SlotOffset(3)), static_cast<qsizetype>(SlotSize),
                     QByteArray(static_cast<qsizetype>(SlotSize), '\xFF'));
    EXPECT_EQ(Read(again), expected);
}

TEST_F(SectionFiles, FailedLoadsShowTheirTextAndChangeNothing) {
    struct Case {
        const char* name;
        bool create;
        QByteArray content;
        std::string shown;
    } cases[] = {
        {"missing.sec", false, {}, "File not found."},
        {"no/folder/x.sec", false, {}, "Invalid filename."},
        {"long.sec", true, QByteArray(5566, '\0'), ""},
    };
    ModalDriver driver;
    driver.Choose(WriteBytes("entry.sec", Entry()));
    Click(Form1->Button14);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.create ? WriteBytes(c.name, c.content) : dir.filePath(c.name);
        const auto before = BufferCopy();
        const QImage picture = Form1->Image1->Picture().Image();
        driver.boxes.clear();
        driver.Choose(path);
        Click(Form1->Button14);
        ASSERT_EQ(driver.boxes.size(), 1u);
        const std::string expected =
            c.shown.empty()
                ? ErrorBoxText(QString::fromStdString(SectionFileTooLongText(5566))).toStdString()
                : c.shown;
        EXPECT_EQ(driver.boxes[0].text.toStdString(), expected);
        EXPECT_EQ(driver.boxes[0].caption.toStdString(), "Velmoran");
        EXPECT_EQ(driver.boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(BufferCopy(), before);
        EXPECT_EQ(Form1->Image1->Picture().Image(), picture);
        EXPECT_TRUE(Form1->Button1->isEnabled());
        EXPECT_FALSE(Form1->Button3->isEnabled());
    }
}

TEST_F(SectionFiles, CancelChangesNothing) {
    ModalDriver driver;
    std::memset(SectionBuffer, 0x42, 12);
    const auto before = BufferCopy();
    driver.Cancel();
    Click(Form1->Button14);
    driver.Cancel();
    Click(Form1->Button13);
    EXPECT_EQ(driver.dialogs.size(), 2u);
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_EQ(BufferCopy(), before);
}

TEST_F(SectionFiles, DialogsAsSetUpAndRememberingTheirLastUse) {
    ModalDriver driver;
    const QString typed = dir.filePath("backup");  // no extension: used unchanged
    driver.onDialog = [](QWidget* w) {
        auto* d = static_cast<QFileDialog*>(w);
        if (d->acceptMode() == QFileDialog::AcceptSave)
            d->selectNameFilter(d->nameFilters().value(1));
    };
    driver.Choose(typed);
    Click(Form1->Button13);
    EXPECT_TRUE(QFile::exists(typed));
    EXPECT_FALSE(QFile::exists(typed + ".sec"));
    driver.Choose(typed);
    Click(Form1->Button14);

    QStringList selected;
    driver.onDialog = [&](QWidget* w) {
        selected << static_cast<QFileDialog*>(w)->selectedFiles().value(0);
    };
    driver.Cancel();
    Click(Form1->Button13);
    driver.Cancel();
    Click(Form1->Button14);
    ASSERT_EQ(driver.dialogs.size(), 4u);
    EXPECT_EQ(selected.value(0), typed);
    EXPECT_EQ(selected.value(1), typed);

    const ModalDriver::Dialog& firstSave = driver.dialogs[0];
    const ModalDriver::Dialog& firstLoad = driver.dialogs[1];
    EXPECT_EQ(firstSave.title.toStdString(), "Save section");
    EXPECT_EQ(firstLoad.title.toStdString(), "Load section file");
    for (const ModalDriver::Dialog* d : {&firstSave, &firstLoad}) {
        EXPECT_EQ(d->selectedNameFilter.toStdString(), "Section 16-04 (Backgrounds)");
        EXPECT_EQ(d->nameFilters.size(), 3);
        EXPECT_TRUE(d->defaultSuffix.isEmpty());
        EXPECT_FALSE(d->hasPreview);
    }
    EXPECT_FALSE(firstSave.confirmOverwrite);
    EXPECT_EQ(Form1->savesec->Filter().toStdString(), Filter);
    EXPECT_EQ(Form1->opensec->Filter().toStdString(), Filter);
    // The save dialog keeps the choice made in it, the load dialog its own.
    EXPECT_EQ(driver.dialogs[2].selectedNameFilter.toStdString(), "Sections");
    EXPECT_EQ(driver.dialogs[3].selectedNameFilter.toStdString(), "Section 16-04 (Backgrounds)");
}

}  // namespace
