// File dialogs: components of a form that keep their settings between uses.
// Each remembers the file name and the filter choice of its last successful
// use and shows them when it next opens; none sets an initial folder.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class TFileDialog {
public:
    enum class Kind { Open, Save };

    TFileDialog(QWidget* owner, Kind kind, bool picturePreview);
    virtual ~TFileDialog() = default;

    // Filter in "description|pattern|description|pattern" form; patterns
    // within one choice are separated by semicolons.
    void SetFilter(const QString& filter) { filter_ = filter; }
    const QString& Filter() const { return filter_; }
    // 1-based, as the choices are listed in the filter.
    void SetFilterIndex(int index) { filterIndex_ = index; }
    int FilterIndex() const { return filterIndex_; }
    void SetTitle(const QString& title) { title_ = title; }
    const QString& Title() const { return title_; }
    // Appended (with a dot) to a name typed without an extension; empty for
    // none. Accepts "bmp", ".bmp" and "*.bmp".
    void SetDefaultExt(const QString& ext);
    const QString& DefaultExt() const { return defaultExt_; }
    void SetFileName(const QString& name) { fileName_ = name; }
    const QString& FileName() const { return fileName_; }

    // Shows the dialog, modal. True when the user chose a file; FileName()
    // then holds its full name. An open dialog also accepts the name of a
    // file that does not exist; a save dialog replaces a file without asking.
    bool Execute();

    Kind DialogKind() const { return kind_; }
    bool HasPicturePreview() const { return preview_; }

    // The filter as Qt's name filters, one per choice.
    QStringList NameFilters() const;

private:
    QWidget* owner_;
    Kind kind_;
    bool preview_;
    QString filter_;
    int filterIndex_ = 1;
    QString title_;
    QString defaultExt_;
    QString fileName_;
};

class TOpenDialog : public TFileDialog {
public:
    explicit TOpenDialog(QWidget* owner) : TFileDialog(owner, Kind::Open, false) {}
};

class TSaveDialog : public TFileDialog {
public:
    explicit TSaveDialog(QWidget* owner) : TFileDialog(owner, Kind::Save, false) {}
};

// The open dialog for pictures: its filter is built from the readable
// picture formats, and a preview pane shows the selected picture file.
class TOpenPictureDialog : public TFileDialog {
public:
    explicit TOpenPictureDialog(QWidget* owner);
};

class TSavePictureDialog : public TFileDialog {
public:
    explicit TSavePictureDialog(QWidget* owner) : TFileDialog(owner, Kind::Save, true) {}
};
