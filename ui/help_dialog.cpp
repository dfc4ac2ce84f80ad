#include "ui/help_dialog.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "platform/ui_services.h"

void help_dialog(QWidget* owner, const QPixmap& icon)
{
    QDialog dialog(owner);
    dialog.setWindowTitle("Help");
    dialog.setFixedSize(560, 260);
    dialog.setStyleSheet("QDialog { background: rgb(20, 20, 20); } QLabel { color: rgb(240, 240, 240); }");
    QLabel picture(&dialog);
    picture.setPixmap(icon);
    picture.setGeometry(20, 20, 32, 32);
    QLabel hello("Hi, welcome to the Glanzo Display", &dialog);
    hello.move(180, 70);
    QLabel about("This program is for use with the Corvathis J8 System.", &dialog);
    about.move(110, 180);
    QPushButton ok("OK", &dialog);
    ok.setGeometry(480, 220, 60, 26);
    ok.setDefault(true);
    QObject::connect(&ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    g_ui_state.modal_dialog_open = 1;
    dialog.exec();
    g_ui_state.modal_dialog_open = 0;
}
