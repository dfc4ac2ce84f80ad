#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "platform/ui_services.h"
#include "platform/version.h"

void about_dialog(QWidget* owner, const QPixmap& icon, const char* name, const char* version)
{
    QDialog dialog(owner);
    dialog.setWindowTitle("About");
    dialog.setFixedSize(260, 120);
    QLabel picture(&dialog);
    picture.setPixmap(icon);
    picture.setGeometry(20, 20, 32, 32);
    QLabel name_label(name, &dialog);
    name_label.setGeometry(70, 18, 170, 20);
    QLabel version_label(version, &dialog);
    version_label.setGeometry(70, 40, 170, 20);
    // The release this program came with, as its --version prints it.
    QLabel release_label(QCoreApplication::applicationName() + " " GLANZO_VERSION, &dialog);
    release_label.setGeometry(70, 58, 170, 20);
    QPushButton ok("OK", &dialog);
    ok.setGeometry(180, 80, 60, 26);
    ok.setDefault(true);
    QObject::connect(&ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    g_ui_state.modal_dialog_open = 1;
    dialog.exec();
    g_ui_state.modal_dialog_open = 0;
}
