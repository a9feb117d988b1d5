// What the Download and Upload commands need of the main window.
#pragma once

#include <string>

class TransferWindow {
public:
    // The selected COM port entry, 0 for "COM1" to 5 for "COM6".
    virtual int SelectedPortIndex() const = 0;
    // Sets the window caption to a status text; it shows at once.
    virtual void SetStatusCaption(const std::string& text) = 0;
    // The caption the window shows when no transfer runs.
    virtual const std::string& StandardCaptionText() const = 0;

protected:
    ~TransferWindow() = default;
};
