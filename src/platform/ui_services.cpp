#include "platform/ui_services.h"

#include <atomic>
#include <cstdio>

int ConsoleUi::message_box(const std::string& text, const std::string& caption, unsigned flags)
{
    // One line per message: line breaks inside the text become blanks.
    std::string line = caption + ": ";
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    std::fprintf(stderr, "%s\n", line.c_str());
    return (flags & 0xF) == MB_YESNO || (flags & 0xF) == MB_YESNOCANCEL ? ID_YES : ID_OK;
}

namespace {
ConsoleUi console_ui;
std::atomic<UiServices*> installed{&console_ui};
}  // namespace

UiState g_ui_state;

UiServices& ui() { return *installed.load(std::memory_order_acquire); }

void set_ui(UiServices* services)
{
    installed.store(services ? services : &console_ui, std::memory_order_release);
}

std::string choose_file(const FileDialogRequest& request)
{
    g_ui_state.modal_dialog_open = 1;
    std::string path = ui().file_dialog(request);
    g_ui_state.modal_dialog_open = 0;
    return path;
}
