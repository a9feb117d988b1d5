#include "Controls.h"

#include "Application.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>

#include <mutex>

namespace {

constexpr const char* ControlFontFamily = "MS Sans Serif";
// Wine's free replacement, from Debian's fonts-wine.
constexpr const char* WineSansSerif = "/usr/share/wine/fonts/ms_sans_serif.ttf";

QString ResolveControlFontFamily() {
    if (QFontDatabase::hasFamily(QString::fromLatin1(ControlFontFamily)))
        return QString::fromLatin1(ControlFontFamily);
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(WineSansSerif));
    if (id >= 0) {
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            return families.first();
    }
    return QString();
}

}  // namespace

QFont DefaultControlFont() {
    static QString family;
    static std::once_flag once;
    std::call_once(once, [] { family = ResolveControlFontFamily(); });
    QFont font;
    // Wine's MS Sans Serif holds bitmaps at 13, 16 and 20 pixels only: on a
    // scaled screen its glyphs would keep their size while the layout grows.
    const bool scaledScreen = qGuiApp != nullptr && qGuiApp->devicePixelRatio() != 1.0;
    if (family.isEmpty() || (scaledScreen && !QFontDatabase::isSmoothlyScalable(family))) {
        font = QFont(QStringLiteral("Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
    } else {
        font = QFont(family);
    }
    font.setPixelSize(11);
    font.setBold(false);
    font.setItalic(false);
    return font;
}

// --- graphic controls ---------------------------------------------------

TGraphicControl::TGraphicControl(TForm& owner) : owner_(owner) {}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
    Invalidate();
    bounds_ = QRect(left, top, width, height);
    Invalidate();
}

void TGraphicControl::Invalidate() {
    if (!bounds_.isEmpty())
        owner_.update(bounds_);
}

void TShape::SetBrushColor(TColorValue value) {
    brush_ = value;
    Invalidate();
}

void TShape::Paint(QPainter& painter) {
    if (bounds_.isEmpty())
        return;
    painter.fillRect(bounds_, QColorFromValue(pen_));
    const QRect inside = bounds_.adjusted(1, 1, -1, -1);
    if (!inside.isEmpty())
        painter.fillRect(inside, QColorFromValue(brush_));
}

void TImage::Paint(QPainter& painter) {
    if (picture_.Empty())
        return;
    painter.save();
    painter.setClipRect(bounds_);
    // Unscaled; on a scaled screen each picture pixel stays a crisp block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(bounds_.topLeft(), picture_.Image());
    painter.restore();
}

void TLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    FitWidth();
}

void TLabel::SetFont(const QFont& font) {
    font_ = font;
    FitWidth();
}

void TLabel::SetFontColor(TColorValue value) {
    color_ = value;
    Invalidate();
}

void TLabel::FitWidth() {
    const int width = QFontMetrics(font_).horizontalAdvance(caption_);
    SetBounds(bounds_.left(), bounds_.top(), width, bounds_.height());
}

void TLabel::Paint(QPainter& painter) {
    painter.save();
    painter.setFont(font_);
    painter.setPen(QColorFromValue(color_));
    painter.drawText(bounds_, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption_);
    painter.restore();
}

// --- windowed controls ----------------------------------------------------

TButton::TButton(TForm& owner, const QString& caption, int left, int top, int width, int height)
    : QPushButton(caption, &owner) {
    setFont(DefaultControlFont());
    setGeometry(left, top, width, height);
    setAutoDefault(false);
    setDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    QObject::connect(this, &QPushButton::clicked, this, [this, &owner] {
        if (onClick_)
            owner.RunCommand(onClick_);
    });
}

TRadioGroup::TRadioGroup(TForm& owner, const QStringList& items, int left, int top, int width,
                         int height)
    : QWidget(&owner), group_(new QButtonGroup(this)) {
    setGeometry(left, top, width, height);
    setFont(DefaultControlFont());
    setAutoFillBackground(true);
    // Items share the height evenly below a thin frame, in one column.
    const int margin = 6;
    const int count = static_cast<int>(items.size());
    const int itemHeight = count > 0 ? (height - 2 * margin) / count : 0;
    for (int i = 0; i < count; ++i) {
        auto* button = new QRadioButton(items.at(i), this);
        button->setFont(DefaultControlFont());
        button->setGeometry(8, margin + i * itemHeight, width - 12, itemHeight);
        group_->addButton(button, i);
        items_.push_back(button);
    }
    if (!items_.empty())
        setFocusProxy(items_.front());
}

int TRadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < Count()) {
        items_.at(static_cast<std::size_t>(index))->setChecked(true);
        setFocusProxy(items_.at(static_cast<std::size_t>(index)));
    }
}

void TRadioGroup::SetBackground(TColorValue value) {
    QPalette p = palette();
    p.setColor(QPalette::Window, QColorFromValue(value));
    p.setColor(QPalette::Button, QColorFromValue(value));
    setPalette(p);
    for (QRadioButton* item : items_)
        item->setPalette(p);
}

void TRadioGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 2, -1, -1);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.setPen(Qt::white);
    painter.drawRect(frame.adjusted(1, 1, 0, 0));
}

// --- form -----------------------------------------------------------------

TForm::TForm() : QWidget(nullptr) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(DefaultControlFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TForm::~TForm() = default;

void TForm::SetClientSize(int width, int height) {
    setFixedSize(width, height);
}

void TForm::SetColor(TColorValue value) {
    color_ = value;
    update();
}

void TForm::SetCaption(const QString& caption) {
    setWindowTitle(caption);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm::ShowFirstTime() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    activateWindow();
    if (QWidget* first = nextInFocusChain(); first != nullptr && first != this) {
        first->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void TForm::RunCommand(const std::function<void()>& command) {
    if (Application != nullptr) {
        Application->Guard(command);
    } else {
        command();
    }
    // The command may have drawn on the pictures; show what they hold now.
    update();
}

void TForm::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), QColorFromValue(color_));
    for (const auto& control : graphics_)
        control->Paint(painter);
}
