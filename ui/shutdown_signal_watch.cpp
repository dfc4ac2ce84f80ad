#include "ui/shutdown_signal_watch.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "platform/shutdown_signals.h"

namespace {

// While dialogs and menus give way, the close is tried again at this pace; after this many tries
// it goes ahead whatever still holds the window thread.
constexpr int RETRY_MS = 10;
constexpr int MAX_RETRIES = 300;

}  // namespace

ShutdownSignalWatch::ShutdownSignalWatch()
{
    int fd = shutdown_signal_fd();
    if (fd < 0)
        return;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readable(); });
}

void ShutdownSignalWatch::main_loop_starts(QWidget* window)
{
    window_ = window;
    main_loop_ = true;
    main_level_ = QThread::currentThread()->loopLevel() + 1;
    if (signal_ != 0)
        QTimer::singleShot(0, this, [this] { close_window(); });
}

void ShutdownSignalWatch::readable()
{
    bool first = false;
    while (int sig = take_shutdown_signal()) {
        if (signal_ == 0) {
            signal_ = sig;
            first = true;
        }
    }
    if (first)
        close_window();
}

// A user closes the window only when no dialog or menu is open over it, and the code that opened
// one goes on after it when it closes. So a dialog is cancelled (a message box answered as by its
// close button) and the window is closed once the dialog's own loop has returned to the main loop,
// not from inside it, where the shutdown would pull the window away from under the code that
// waits there. A dialog that will not go holds the close up for a few seconds at most.
void ShutdownSignalWatch::close_window()
{
    auto retry = [this] {
        ++retries_;
        QTimer::singleShot(RETRY_MS, this, [this] { close_window(); });
    };
    bool waited_enough = retries_ >= MAX_RETRIES;
    if (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr && !waited_enough) {
        popup->close();
        return retry();
    }
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && !waited_enough) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        return retry();
    }
    if (!main_loop_)
        return;   // main_loop_starts closes the window
    if (QThread::currentThread()->loopLevel() > main_level_ && !waited_enough)
        return retry();
    if (window_ != nullptr)
        window_->close();
    else
        QApplication::closeAllWindows();
}
