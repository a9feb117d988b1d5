// The main window: the three picture slots one above the other with their
// commands beside them, the COM port choice, the transfer commands and the
// section file commands.
#pragma once

#include "Controls.h"
#include "Dialogs.h"
#include "SlotCodec.h"
#include "TransferWindow.h"

#include <QString>

class TForm1 : public TForm, public SlotHost, public TransferWindow {
public:
    TForm1();
    ~TForm1() override;

    TImage* Image1;
    TImage* Image2;
    TImage* Image3;
    TButton* Button4;
    TButton* Button5;
    TButton* Button6;
    TButton* Button7;
    TButton* Button8;
    TButton* Button9;
    TOpenPictureDialog* openpic;
    TOpenDialog* opensec;
    TButton* Button1;
    TButton* Button2;
    TButton* Button3;
    TLabel* Label1;
    TRadioGroup* RadioGroup1;
    TButton* Button11;
    TButton* Button12;
    TButton* Button13;
    TButton* Button14;
    TShape* Shape1;
    TShape* Shape3;
    TShape* Shape4;
    TSaveDialog* savesec;
    TSavePictureDialog* savepicdlg;
    TShape* Shape2;

    void Button5Click();
    void Button6Click();
    void FormCreate();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button14Click();
    void Button13Click();
    void Button11Click();
    void Button12Click();
    void Button4Click();

    void DoCreate() override { FormCreate(); }

    // What the slot codec needs of the window.
    PictureSurface& SlotSurface(int Slot) override;
    void SetSaveEnabled(int Slot, bool Enabled) override;

    // What the transfers need of the window.
    int SelectedPortIndex() const override;
    void SetStatusCaption(const std::string& text) override;
    const std::string& StandardCaptionText() const override;

    TImage* SlotImage(int Slot) const;
    TButton* SlotSaveButton(int Slot) const;

private:
    void LoadBmp(int Slot);
    void SaveBmp(int Slot);
    class Surfaces;
    Surfaces* surfaces_;
};

extern TForm1* Form1;

// The standard caption, which the transfers put back when they end. A value of
// its own, apart from the caption the window is created with.
extern const std::string StandardCaption;
