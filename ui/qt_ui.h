// The desktop programs' UiServices: Qt message boxes, file dialogs and the beep.
//
// A call from another thread (the link thread's write-error message, the display thread's
// firmware warning) is carried to the window thread and blocks its caller until the user has
// answered. Once the program is closing, calls answer at once with the box's first button (or a
// cancelled dialog), so that a thread blocked on the window never holds up the shutdown.
#pragma once

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>

#include "platform/ui_services.h"

class QtUi : public UiServices {
public:
    explicit QtUi(QWidget* owner = nullptr) : owner_(owner) {}

    int message_box(const std::string& text, const std::string& caption, unsigned flags) override;
    void beep() override;
    void request_repaint() override;
    std::string file_dialog(const FileDialogRequest& request) override;

    void set_owner(QWidget* owner) { owner_ = owner; }
    // What request_repaint does on the window thread.
    void set_repaint(std::function<void()> repaint) { repaint_ = std::move(repaint); }
    void set_closing() { closing_.store(true, std::memory_order_release); }
    bool closing() const { return closing_.load(std::memory_order_acquire); }

private:
    // Runs `work` on the window thread and waits for it.
    void on_window_thread(const std::function<void()>& work);

    QPointer<QWidget> owner_;
    std::function<void()> repaint_;
    std::atomic<bool> closing_{false};
};

// The answer a message box with these flags gives when nobody can be asked.
int first_button(unsigned flags);
