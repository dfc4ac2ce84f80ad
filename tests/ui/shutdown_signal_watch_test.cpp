// The window thread's side of the shutdown signals, in a process that blocks them as the programs
// do: a signal sent to this process closes the watched window from the main loop, after the
// dialogs open over it have been cancelled and their own loops have returned.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "platform/shutdown_signals.h"
#include "ui/shutdown_signal_watch.h"

namespace {

// Records how its close came: how deep in event loops, and how many times.
class Window : public QWidget {
public:
    int closes = 0;
    int close_loop_level = -1;
    bool dialog_returned_first = false;
    bool dialog_returned = false;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++closes;
        close_loop_level = QThread::currentThread()->loopLevel();
        dialog_returned_first = dialog_returned;
        event->accept();
    }
};

// Runs the main loop until `window` is hidden (or 10 s have passed); returns whether it was.
bool run_main_loop(ShutdownSignalWatch& watch, Window& window)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.isVisible())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(10000, &loop, [&] { loop.quit(); });
    watch.main_loop_starts(&window);
    loop.exec();
    return !window.isVisible();
}

struct DialogCase {
    const char* name;
    QDialog* (*make)(QWidget* parent);
};

void PrintTo(const DialogCase& c, std::ostream* out) { *out << c.name; }

class ASignalWhileADialogIsOpen : public testing::TestWithParam<DialogCase> {};

TEST_P(ASignalWhileADialogIsOpen, CancelsItAndClosesTheWindowFromTheMainLoopAfterTheDialogReturned)
{
    ShutdownSignalWatch watch;
    Window window;
    window.show();
    int answer = -2;
    QTimer::singleShot(0, &window, [&] {
        std::unique_ptr<QDialog> dialog(GetParam().make(&window));
        QTimer::singleShot(20, [] { kill(getpid(), SIGTERM); });
        answer = dialog->exec();
        // The code that asked goes on, here with a wait of its own in a loop of its own.
        QEventLoop wait;
        QTimer::singleShot(50, &wait, [&] { wait.quit(); });
        wait.exec();
        window.dialog_returned = true;
    });
    ASSERT_TRUE(run_main_loop(watch, window));
    EXPECT_EQ(watch.received(), SIGTERM);
    EXPECT_NE(answer, QDialog::Accepted) << "cancelled, not accepted";
    EXPECT_NE(answer, QMessageBox::Yes) << "a question is not answered yes";
    EXPECT_EQ(window.closes, 1);
    EXPECT_TRUE(window.dialog_returned_first) << "the code that opened the dialog finished before the close";
    EXPECT_EQ(window.close_loop_level, 1) << "closed from the main loop";
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, ASignalWhileADialogIsOpen,
    testing::Values(DialogCase{"APlainDialog", [](QWidget* p) { return new QDialog(p); }},
                    DialogCase{"AMessageBoxWithOnlyOk",
                               [](QWidget* p) -> QDialog* {
                                   return new QMessageBox(QMessageBox::Information, "Caption", "Text",
                                                          QMessageBox::Ok, p);
                               }},
                    DialogCase{"AQuestionWithoutAnEscapeButton",
                               [](QWidget* p) -> QDialog* {
                                   return new QMessageBox(QMessageBox::Question, "Caption", "Overwrite?",
                                                          QMessageBox::Yes | QMessageBox::No, p);
                               }}),
    [](const testing::TestParamInfo<DialogCase>& i) { return std::string(i.param.name); });

TEST(ShutdownSignalWatch, FurtherSignalsDoNotCloseTheWindowAgain)
{
    ShutdownSignalWatch watch;
    Window window;
    window.show();
    kill(getpid(), SIGHUP);
    kill(getpid(), SIGINT);
    ASSERT_TRUE(run_main_loop(watch, window));
    // Whatever else is still on its way is read and dropped.
    kill(getpid(), SIGTERM);
    QEventLoop loop;
    QTimer::singleShot(100, &loop, [&] { loop.quit(); });
    loop.exec();
    EXPECT_EQ(watch.received(), SIGHUP);
    EXPECT_EQ(window.closes, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    // As the programs do: before the toolkit starts a thread.
    if (block_shutdown_signals() != 0)
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
