#include "ui/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include "ui/window_thread.h"

namespace {

// Where the request asks only for the folder to exist (a file to create), a name in a folder that
// does not exist is refused in the dialog itself, so that the user corrects it there rather than
// meeting a failure to open it once the dialog has gone.
class FileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        QStringList files = selectedFiles();
        if (fileMode() == QFileDialog::AnyFile && !files.isEmpty()) {
            QFileInfo chosen(files.first());
            if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
                QMessageBox::warning(this, windowTitle(),
                                     chosen.absolutePath() +
                                         "\nFolder not found.\nPlease verify the correct folder name was given.");
                return;
            }
        }
        QFileDialog::accept();
    }
};

}  // namespace

int first_button(unsigned flags)
{
    unsigned buttons = flags & 0xF;
    return buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? ID_YES : ID_OK;
}

void QtUi::on_window_thread(const std::function<void()>& work)
{
    call_on_window_thread(work, [this] { return closing(); });
}

int QtUi::message_box(const std::string& text, const std::string& caption, unsigned flags)
{
    int answer = first_button(flags);
    if (closing())
        return answer;
    on_window_thread([&] {
        QMessageBox box(owner_);
        box.setWindowTitle(QString::fromLatin1(caption.c_str()));
        box.setText(QString::fromLatin1(text.c_str()));
        unsigned icon = flags & 0xF0;
        box.setIcon(icon == MB_ICONERROR         ? QMessageBox::Critical
                    : icon == MB_ICONQUESTION    ? QMessageBox::Question
                    : icon == MB_ICONEXCLAMATION ? QMessageBox::Warning
                    : icon == MB_ICONINFORMATION ? QMessageBox::Information
                                                 : QMessageBox::NoIcon);
        if (flags & MB_TOPMOST)
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
        switch (flags & 0xF) {
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel:
            answer = ID_CANCEL;
            break;
        case QMessageBox::Yes:
            answer = ID_YES;
            break;
        case QMessageBox::No:
            answer = ID_NO;
            break;
        default:
            answer = (flags & 0xF) == MB_OK ? ID_OK : (flags & 0xF) == MB_OKCANCEL ? ID_OK : ID_CANCEL;
            break;
        }
    });
    return answer;
}

void QtUi::beep()
{
    post_to_window_thread([] { QApplication::beep(); });
}

void QtUi::request_repaint()
{
    if (closing() || !repaint_)
        return;
    post_to_window_thread([this] {
        if (!closing())
            repaint_();
    });
}

std::string QtUi::file_dialog(const FileDialogRequest& r)
{
    std::string chosen;
    if (closing())
        return chosen;
    on_window_thread([&] {
        QStringList filters;
        // "All (*.*)" means every file; here a name need not have a dot.
        for (const auto& [description, pattern] : r.filters) {
            QString p = pattern == "*.*" ? QString("*") : QString::fromLatin1(pattern.c_str());
            QString d = QString::fromLatin1(description.c_str());
            qsizetype open = d.indexOf('(');
            filters << (open < 0 ? d : d.left(open).trimmed()) + " (" + p + ")";
        }
        FileDialog dialog(owner_, QString::fromLatin1(r.title.c_str()), QString::fromLocal8Bit(r.initial_folder.c_str()),
                          filters.join(";;"));
        dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(r.file_must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QString::fromLatin1(r.default_extension.c_str()));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.selectFile(QString::fromLocal8Bit(r.initial_name.c_str()));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    });
    return chosen;
}
