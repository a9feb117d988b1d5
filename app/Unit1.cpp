#include "Unit1.h"

#include "AppIcon.h"
#include "GBPCtrl.h"
#include "PictureFiles.h"
#include "SectionBuffer.h"
#include "SectionFiles.h"
#include "Transfers.h"

#include <QFile>
#include <QStringList>

TForm1* Form1 = nullptr;
const std::string StandardCaption = "Velmoran 1.0";

namespace {

constexpr TColor FormColor = 0xC08000;
constexpr TColor FooterColor = 0x936300;
constexpr TColor Slot2BandColor = 0x9D6A00;
constexpr TColor FooterTextColor = 0xFFFFFF;

const QString SectionFilter =
    QStringLiteral("Section 16-04 (Backgrounds)|16-04.sec|Sections|*.sec|Any file|*.*");

}  // namespace

// The codec's view of a picture: the drawing surface of whatever bitmap the
// picture holds at the moment of the request.
class TForm1::Surfaces {
public:
    class Surface : public PictureSurface {
    public:
        TBitmapCanvas* canvas = nullptr;
        int Width() const override { return canvas->Width(); }
        int Height() const override { return canvas->Height(); }
        TColor Pixel(int x, int y) const override { return canvas->Pixel(x, y); }
        void SetPixel(int x, int y, TColor Color) override { canvas->SetPixel(x, y, Color); }
        void Rectangle(int w, int h) override { canvas->Rectangle(w, h); }
        void SetPenColor(TColor Color) override { canvas->SetPenColor(Color); }
        TColor PenColor() const override { return canvas->PenColor(); }
    };
    Surface slot[3];
};

TForm1::TForm1() : surfaces_(new Surfaces) {
    // The codec reaches the pictures and the Save BMP buttons through the
    // main window.
    CodecHost = this;

    setWindowTitle(QString::fromStdString(StandardCaption));
    setWindowIcon(AppIcon());
    SetClientSize(280, 300);
    SetColor(FormColor);

    // Created in this order; the form draws its graphic controls in it too.
    Shape4 = AddGraphic<TShape>();
    Shape4->SetBounds(-1, 284, 285, 25);
    Shape4->SetBrushColor(FooterColor);
    Shape3 = AddGraphic<TShape>();
    Shape3->SetBounds(0, 96, 193, 97);
    Shape3->SetBrushColor(Slot2BandColor);
    Image1 = AddGraphic<TImage>();
    Image1->SetBounds(8, 8, 96, 77);
    Image2 = AddGraphic<TImage>();
    Image2->SetBounds(8, 104, 96, 77);
    Image3 = AddGraphic<TImage>();
    Image3->SetBounds(8, 200, 96, 77);
    Label1 = AddGraphic<TLabel>();
    Label1->SetBounds(2, 285, 277, 13);
    Label1->SetFont(DefaultControlFont());
    Label1->SetFontColor(FooterTextColor);
    Label1->SetCaption(QStringLiteral("Phone backgrounds, NVM file 16-04"));
    Shape1 = AddGraphic<TShape>();
    Shape1->SetBounds(192, -1, 90, 194);
    Shape2 = AddGraphic<TShape>();
    Shape2->SetBounds(192, 192, 91, 70);

    Button4 = new TButton(*this, QStringLiteral("Clear"), 116, 8, 67, 25);
    Button5 = new TButton(*this, QStringLiteral("Clear"), 116, 104, 67, 25);
    Button6 = new TButton(*this, QStringLiteral("Clear"), 116, 200, 67, 25);
    Button7 = new TButton(*this, QStringLiteral("Load BMP"), 116, 36, 67, 25);
    Button8 = new TButton(*this, QStringLiteral("Load BMP"), 116, 132, 67, 25);
    Button9 = new TButton(*this, QStringLiteral("Load BMP"), 116, 228, 67, 25);
    Button1 = new TButton(*this, QStringLiteral("Save BMP"), 116, 62, 67, 25);
    Button2 = new TButton(*this, QStringLiteral("Save BMP"), 116, 158, 67, 25);
    Button3 = new TButton(*this, QStringLiteral("Save BMP"), 116, 254, 67, 25);
    RadioGroup1 =
        new TRadioGroup(*this,
                        {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                         QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6")},
                        201, 5, 73, 121);
    RadioGroup1->SetBackground(0xFFFFFF);
    RadioGroup1->SetItemIndex(3);
    Button11 = new TButton(*this, QStringLiteral("Download"), 201, 135, 72, 25);
    Button12 = new TButton(*this, QStringLiteral("Upload"), 201, 161, 72, 25);
    Button13 = new TButton(*this, QStringLiteral("Save section"), 201, 228, 72, 25);
    Button14 = new TButton(*this, QStringLiteral("Load section"), 201, 201, 72, 25);

    // Tab order follows creation order; make it explicit all the same.
    QWidget* tabOrder[] = {Button4, Button5, Button6,     Button7,  Button8,  Button9,  Button1,
                           Button2, Button3, RadioGroup1, Button11, Button12, Button13, Button14};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);

    openpic = new TOpenPictureDialog(this);
    openpic->SetTitle(QStringLiteral("Load picture"));
    openpic->SetDefaultExt(QStringLiteral("*.bmp"));
    opensec = new TOpenDialog(this);
    opensec->SetTitle(QStringLiteral("Load section file"));
    opensec->SetFilter(SectionFilter);
    savesec = new TSaveDialog(this);
    savesec->SetTitle(QStringLiteral("Save section"));
    savesec->SetFilter(SectionFilter);
    savepicdlg = new TSavePictureDialog(this);
    savepicdlg->SetTitle(QStringLiteral("Save file"));
    savepicdlg->SetDefaultExt(QStringLiteral(".bmp"));
    savepicdlg->SetFilter(QStringLiteral("Bitmaps (*.bmp)|*.bmp"));

    Button4->SetOnClick([this] { Button4Click(); });
    Button5->SetOnClick([this] { Button5Click(); });
    Button6->SetOnClick([this] { Button6Click(); });
    Button7->SetOnClick([this] { Button7Click(); });
    Button8->SetOnClick([this] { Button8Click(); });
    Button9->SetOnClick([this] { Button9Click(); });
    Button1->SetOnClick([this] { Button1Click(); });
    Button2->SetOnClick([this] { Button2Click(); });
    Button3->SetOnClick([this] { Button3Click(); });
    Button11->SetOnClick([this] { Button11Click(); });
    Button12->SetOnClick([this] { Button12Click(); });
    Button13->SetOnClick([this] { Button13Click(); });
    Button14->SetOnClick([this] { Button14Click(); });
}

TForm1::~TForm1() {
    if (CodecHost == this)
        CodecHost = nullptr;
    if (Form1 == this)
        Form1 = nullptr;
    delete openpic;
    delete opensec;
    delete savesec;
    delete savepicdlg;
    delete surfaces_;
}

void TForm1::FormCreate() {
    InitSectionBuffer();
    Image1->Canvas().SetPenColor(clWhite);
    Image2->Canvas().SetPenColor(clWhite);
    Image3->Canvas().SetPenColor(clWhite);
    StoreSlot(1, true);
    StoreSlot(2, true);
    StoreSlot(3, true);
    DrawSlot(1);
    DrawSlot(2);
    DrawSlot(3);
}

TImage* TForm1::SlotImage(int Slot) const {
    switch (Slot) {
        case 1:
            return Image1;
        case 2:
            return Image2;
        default:
            return Image3;
    }
}

TButton* TForm1::SlotSaveButton(int Slot) const {
    switch (Slot) {
        case 1:
            return Button1;
        case 2:
            return Button2;
        default:
            return Button3;
    }
}

PictureSurface& TForm1::SlotSurface(int Slot) {
    Surfaces::Surface& surface = surfaces_->slot[Slot - 1];
    surface.canvas = &SlotImage(Slot)->Canvas();
    return surface;
}

void TForm1::SetSaveEnabled(int Slot, bool Enabled) {
    SlotSaveButton(Slot)->setEnabled(Enabled);
}

int TForm1::SelectedPortIndex() const {
    return RadioGroup1->ItemIndex();
}

void TForm1::SetStatusCaption(const std::string& text) {
    SetCaption(QString::fromStdString(text));
}

const std::string& TForm1::StandardCaptionText() const {
    return StandardCaption;
}

// Clear.
void TForm1::Button4Click() {
    StoreSlot(1, true);
}
void TForm1::Button5Click() {
    StoreSlot(2, true);
}
void TForm1::Button6Click() {
    StoreSlot(3, true);
}

// Load BMP.
void TForm1::Button7Click() {
    LoadBmp(1);
}
void TForm1::Button8Click() {
    LoadBmp(2);
}
void TForm1::Button9Click() {
    LoadBmp(3);
}

// Save BMP.
void TForm1::Button1Click() {
    SaveBmp(1);
}
void TForm1::Button2Click() {
    SaveBmp(2);
}
void TForm1::Button3Click() {
    SaveBmp(3);
}

void TForm1::LoadBmp(int Slot) {
    if (!openpic->Execute())
        return;
    LoadPictureFile(Slot, SlotImage(Slot)->Picture(), openpic->FileName());
}

void TForm1::SaveBmp(int Slot) {
    if (!savepicdlg->Execute())
        return;
    SavePictureFile(SlotImage(Slot)->Picture(), savepicdlg->FileName());
}

// Download and Upload.
void TForm1::Button11Click() {
    Download(*this);
}
void TForm1::Button12Click() {
    Upload(*this);
}

// Save section and Load section.
void TForm1::Button13Click() {
    if (!savesec->Execute())
        return;
    SaveSectionFile(QFile::encodeName(savesec->FileName()).toStdString());
}

void TForm1::Button14Click() {
    if (!opensec->Execute())
        return;
    LoadSectionFile(QFile::encodeName(opensec->FileName()).toStdString());
}
