#include "Dialogs.h"

#include "PictureFormats.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// Shows the picture file selected in a dialog, scaled to fit, with its size.
class PicturePreview : public QWidget {
public:
    explicit PicturePreview(QWidget* parent) : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(4, 0, 0, 0);
        image_ = new QLabel(this);
        image_->setObjectName(QStringLiteral("previewImage"));
        image_->setFixedSize(160, 160);
        image_->setAlignment(Qt::AlignCenter);
        image_->setFrameShape(QFrame::StyledPanel);
        size_ = new QLabel(this);
        size_->setObjectName(QStringLiteral("previewSize"));
        size_->setAlignment(Qt::AlignCenter);
        layout->addWidget(image_);
        layout->addWidget(size_);
        layout->addStretch();
    }

    void Show(const QString& path) {
        const QImage image = QFileInfo(path).isFile() ? LoadPreviewImage(path) : QImage();
        if (image.isNull()) {
            image_->clear();
            size_->clear();
            return;
        }
        QImage shown = image;
        if (image.width() > 160 || image.height() > 160)
            shown = image.scaled(160, 160, Qt::KeepAspectRatio, Qt::FastTransformation);
        image_->setPixmap(QPixmap::fromImage(shown));
        size_->setText(QStringLiteral("%1 x %2").arg(image.width()).arg(image.height()));
    }

private:
    QLabel* image_;
    QLabel* size_;
};

}  // namespace

TFileDialog::TFileDialog(QWidget* owner, Kind kind, bool picturePreview)
    : owner_(owner), kind_(kind), preview_(picturePreview) {}

void TFileDialog::SetDefaultExt(const QString& ext) {
    QString e = ext;
    if (e.startsWith(QLatin1Char('*')))
        e.remove(0, 1);
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    defaultExt_ = e;
}

QStringList TFileDialog::NameFilters() const {
    // Qt reads a choice's patterns from the last parentheses of its text, so
    // each pattern goes there; the dialog hides that part again.
    QStringList result;
    const QStringList parts = filter_.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    return result;
}

bool TFileDialog::Execute() {
    QFileDialog dialog(owner_, title_);
    dialog.setObjectName(kind_ == Kind::Open ? QStringLiteral("openDialog")
                                             : QStringLiteral("saveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (kind_ == Kind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    if (!defaultExt_.isEmpty())
        dialog.setDefaultSuffix(defaultExt_);

    const QStringList filters = NameFilters();
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = (filterIndex_ >= 1 && filterIndex_ <= static_cast<int>(filters.size()))
                              ? filterIndex_
                              : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!fileName_.isEmpty())
        dialog.selectFile(fileName_);

    if (preview_) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* pane = new PicturePreview(&dialog);
            grid->addWidget(pane, 1, grid->columnCount(), grid->rowCount() - 1, 1);
            QObject::connect(&dialog, &QFileDialog::currentChanged, pane,
                             [pane](const QString& path) { pane->Show(path); });
        }
    }

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return false;
    fileName_ = files.first();
    // With the patterns hidden, the dialog names the choice by its description.
    const QString chosen = dialog.selectedNameFilter();
    const QStringList parts = filter_.split(QLatin1Char('|'));
    for (int i = 0; i < static_cast<int>(filters.size()); ++i) {
        if (chosen == filters.at(i) || chosen == parts.value(2 * i)) {
            filterIndex_ = i + 1;
            break;
        }
    }
    return true;
}

TOpenPictureDialog::TOpenPictureDialog(QWidget* owner) : TFileDialog(owner, Kind::Open, true) {
    SetFilter(GraphicFilter());
}
