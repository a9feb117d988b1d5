// The form and its controls. Rectangles, pictures and labels are graphic
// controls: the form draws them itself, in the order they were created, each
// over those before it. Buttons and radio groups are child widgets and always
// lie above everything the form draws.
#pragma once

#include "ColorValue.h"
#include "Picture.h"

#include <QFont>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QPainter;
class QRadioButton;
class TForm;

// The font the form and its controls use: "MS Sans Serif" at 11 pixels when
// the system or Wine's replacement provides it, else a sans font at 11 pixels.
QFont DefaultControlFont();

class TGraphicControl {
public:
    explicit TGraphicControl(TForm& owner);
    virtual ~TGraphicControl() = default;
    TGraphicControl(const TGraphicControl&) = delete;
    TGraphicControl& operator=(const TGraphicControl&) = delete;

    void SetBounds(int left, int top, int width, int height);
    const QRect& BoundsRect() const { return bounds_; }
    void Invalidate();

    virtual void Paint(QPainter& painter) = 0;

protected:
    TForm& owner_;
    QRect bounds_;
};

// A rectangle with a one-pixel outline inside its bounds.
class TShape : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    void SetBrushColor(TColorValue value);
    TColorValue BrushColor() const { return brush_; }
    TColorValue PenColor() const { return pen_; }
    void Paint(QPainter& painter) override;

private:
    TColorValue brush_ = 0xFFFFFF;
    TColorValue pen_ = 0x000000;
};

// Shows its picture unscaled from the top-left corner, cut at its bounds;
// where the picture is smaller, what lies behind shows through.
class TImage : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    TPicture& Picture() { return picture_; }
    // The drawing surface; an empty picture first gets a bitmap of the
    // control's own size.
    TBitmapCanvas& Canvas() { return picture_.Canvas(bounds_.width(), bounds_.height()); }
    void Paint(QPainter& painter) override;

private:
    TPicture picture_;
};

// One line of text with a transparent background; its width follows its text.
class TLabel : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }
    void SetFont(const QFont& font);
    const QFont& Font() const { return font_; }
    void SetFontColor(TColorValue value);
    TColorValue FontColor() const { return color_; }
    void Paint(QPainter& painter) override;

private:
    void FitWidth();
    QString caption_;
    QFont font_;
    TColorValue color_ = 0x000000;
};

class TButton : public QPushButton {
public:
    TButton(TForm& owner, const QString& caption, int left, int top, int width, int height);
    // The command a click runs, inside the application's error handler.
    void SetOnClick(std::function<void()> handler) { onClick_ = std::move(handler); }

private:
    std::function<void()> onClick_;
};

// A column of radio buttons without a caption.
class TRadioGroup : public QWidget {
public:
    TRadioGroup(TForm& owner, const QStringList& items, int left, int top, int width, int height);
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    int Count() const { return static_cast<int>(items_.size()); }
    void SetBackground(TColorValue value);

protected:
    // The group's frame: an etched line around the items.
    void paintEvent(QPaintEvent* event) override;

private:
    QButtonGroup* group_;
    std::vector<QRadioButton*> items_;
};

// A fixed-size top-level window whose client area is drawn by the form: its
// background colour, then its graphic controls in creation order.
class TForm : public QWidget {
public:
    TForm();
    ~TForm() override;

    void SetClientSize(int width, int height);
    void SetColor(TColorValue value);
    TColorValue Color() const { return color_; }

    QString Caption() const { return windowTitle(); }
    // Shows at once on the title bar, also while a command keeps the one
    // thread busy; user input waits until the command returns.
    void SetCaption(const QString& caption);

    const std::vector<std::unique_ptr<TGraphicControl>>& GraphicControls() const {
        return graphics_;
    }
    template <class Control>
    Control* AddGraphic() {
        auto control = std::make_unique<Control>(*this);
        Control* raw = control.get();
        graphics_.push_back(std::move(control));
        return raw;
    }

    // The creation handler; runs once, after all controls exist.
    virtual void DoCreate() {}

    // Centres the window on its screen and shows it, the focus on the first
    // control in tab order.
    void ShowFirstTime();

    // Runs a command started by one of the form's controls.
    void RunCommand(const std::function<void()>& command);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColorValue color_ = 0xC0C0C0;
    std::vector<std::unique_ptr<TGraphicControl>> graphics_;
};
