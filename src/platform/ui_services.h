// What the core asks of the user interface: message boxes, the warning beep, a repaint.
//
// The core has no window of its own. The desktop programs install an implementation that shows
// real dialogs (and carries calls from the link and display threads to the window thread, blocking
// the caller until the user answers); the command-line tool installs the console one, which prints
// a message box as one line on stderr; tests install a scripted one that records what was shown.
#pragma once

#include <string>

// Buttons and icon of a message box, combined with |.
enum MessageBoxFlags : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TOPMOST = 0x40000,
};

// The button that closed a message box.
enum MessageBoxAnswer : int { ID_OK = 1, ID_CANCEL = 2, ID_YES = 6, ID_NO = 7 };

class UiServices {
public:
    virtual ~UiServices() = default;
    virtual int message_box(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual void beep() = 0;
    // Asks for the main window to be repainted; nothing to do without a window.
    virtual void request_repaint() {}
};

// Prints each message box as "caption: text" on one line of stderr and answers with its first
// button; beeps are dropped.
class ConsoleUi : public UiServices {
public:
    int message_box(const std::string& text, const std::string& caption, unsigned flags) override;
    void beep() override {}
};

// The implementation in force; the console one until another is installed.
UiServices& ui();
// Installs `services` (not owned); nullptr goes back to the console implementation.
void set_ui(UiServices* services);
