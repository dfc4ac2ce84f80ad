// What the core asks of the user interface: message boxes, the warning beep, a repaint.
//
// The core has no window of its own. The desktop programs install an implementation that shows
// real dialogs (and carries calls from the link and display threads to the window thread, blocking
// the caller until the user answers); the command-line tool installs the console one, which prints
// a message box as one line on stderr; tests install a scripted one that records what was shown.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/shared_word.h"

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

// A file-open or file-save dialog.
struct FileDialogRequest {
    std::string title;
    // (description, pattern) pairs, e.g. ("DataLogs (*.dat)", "*.dat").
    std::vector<std::pair<std::string, std::string>> filters;
    std::string default_extension;   // added when the chosen name has none
    std::string initial_name;
    std::string initial_folder;
    bool save = false;               // a save dialog (else an open dialog)
    bool file_must_exist = false;    // else only its folder must
};

// What the window keeps that the core looks at.
struct UiState {
    // Set while a modal dialog or file dialog is open: the floating windows then keep away from
    // the focus.
    Shared<int32_t> modal_dialog_open{0};
    // Set when a dialog has changed settings the analysis display shows (units, temperature scale,
    // channels and devices); the analysis display rebuilds its page and clears it.
    Shared<int32_t> settings_changed{0};
};

extern UiState g_ui_state;

class UiServices {
public:
    virtual ~UiServices() = default;
    virtual int message_box(const std::string& text, const std::string& caption, unsigned flags) = 0;
    virtual void beep() = 0;
    // Asks for the main window to be repainted; nothing to do without a window.
    virtual void request_repaint() {}
    // The chosen path, or an empty text when the user cancelled. Without a window nothing can be
    // chosen.
    virtual std::string file_dialog(const FileDialogRequest&) { return {}; }
};

// Runs a file dialog with `g_ui_state.modal_dialog_open` set while it shows.
std::string choose_file(const FileDialogRequest& request);

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
