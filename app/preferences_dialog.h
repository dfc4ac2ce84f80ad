// The Preferences dialog's window (File menu "Pre&ferences..."): a modal dialog that realises the
// control tables of config/preferences.h on a host of its own and leaves everything else to it.
#pragma once

class QWidget;

// Shows the dialog until the user closes it with OK or Cancel.
void run_preferences_dialog(QWidget* parent);
