#include "app/preferences_dialog.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

#include "app/dialog_window.h"
#include "dialogs/preferences.h"

namespace {

// The AutoUpdate warning, with the box that turns it off.
bool autoupdate_warning(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, "Warning!", QString::fromLatin1(text.c_str()), QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* skip = new QCheckBox("Check box to skip this warning");
    box.setCheckBox(skip);
    box.exec();
    return skip->isChecked();
}

}  // namespace

void run_preferences_dialog(QWidget* parent)
{
    DialogWindow dialog(parent, "Preferences", 620, 470, preferences_command, PREF_CANCEL);
    g_preferences.autoupdate_warning = autoupdate_warning;
    open_preferences(dialog.host(), DialogWindow::end_open_dialog);
    if (auto* ok = qobject_cast<QPushButton*>(dialog.host().widget(PREF_OK)))
        ok->setDefault(true);   // Enter presses OK
    // The pages change by a click on a tab (the page is stored first); not from the keyboard.
    if (QWidget* tabs = dialog.host().widget(PREF_TABS))
        tabs->setFocusPolicy(Qt::NoFocus);
    dialog.exec();
    // Should the window go without the dialog's own closing, close it as Cancel does.
    if (g_preferences.host != nullptr)
        preferences_command(PREF_CANCEL, CONTROL_CLICKED, 0);
    g_preferences.autoupdate_warning = nullptr;
}
