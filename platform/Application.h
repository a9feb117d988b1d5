// The application object: the title shown on the taskbar entry and as the
// caption of the error box, the event loop, the two kinds of message box, and
// the one handler through which every error of a command is shown.
#pragma once

#include <QPointer>
#include <QString>

#include <exception>
#include <functional>
#include <string>

class QWidget;
class TForm;

// The text the error box shows for an error message: a full stop is appended
// when the message is not empty and its last character's code is above 0x2E.
QString ErrorBoxText(const QString& message);

class TApplication {
public:
    // Needs a QApplication to exist already. Deletes the main form, if it
    // still exists, when it ends.
    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    void Initialize();

    void SetTitle(const QString& title);
    const QString& Title() const { return title_; }

    // Creates a form, sets the caller's reference to it, then runs its
    // creation handler, so the handler can already reach the form through
    // the reference. The first form created becomes the main form.
    template <class Form>
    void CreateForm(Form*& reference) {
        auto* form = new Form();
        reference = form;
        Adopt(form);
        form->DoCreate();
    }

    TForm* MainForm() const;

    // Shows the main form and handles events until it is closed.
    int Run();

    // Runs one command. An exception it raises stops it and is shown in the
    // error box; none ever reaches Qt's event loop.
    void Guard(const std::function<void()>& command);

    // The error box: the message by ErrorBoxText, caption Title(), OK and the
    // error icon, modal over all of the program's windows.
    void ShowException(const std::exception& error);
    void ShowErrorBox(const QString& message);

    // A plain message box: the text as it stands, the given caption, OK and
    // no icon, modal over all of the program's windows.
    void MessageBox(const QString& text, const QString& caption);

private:
    void Adopt(TForm* form);

    QString title_;
    QPointer<TForm> mainForm_;
};

extern TApplication* Application;
