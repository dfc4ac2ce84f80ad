// A UiServices that records what the core shows and answers from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui_services.h"

class ScriptedUi : public UiServices {
public:
    struct Shown {
        std::string text, caption;
        unsigned flags;
    };
    std::vector<Shown> shown;
    std::deque<int> answers;   // answers for the next message boxes; ID_OK when empty
    std::deque<std::string> file_answers;   // paths for the next file dialogs; cancel when empty
    std::vector<FileDialogRequest> dialogs;
    int beeps = 0;
    int repaints = 0;

    int message_box(const std::string& text, const std::string& caption, unsigned flags) override
    {
        shown.push_back({text, caption, flags});
        if (answers.empty())
            return ID_OK;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    void beep() override { ++beeps; }
    void request_repaint() override { ++repaints; }
    std::string file_dialog(const FileDialogRequest& request) override
    {
        dialogs.push_back(request);
        if (file_answers.empty())
            return {};
        std::string path = file_answers.front();
        file_answers.pop_front();
        return path;
    }
};

// Installs a ScriptedUi for the life of a test.
struct ScopedScriptedUi : ScriptedUi {
    ScopedScriptedUi() { set_ui(this); }
    ~ScopedScriptedUi() override { set_ui(nullptr); }
};
