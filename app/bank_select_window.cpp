#include "app/bank_select_window.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "app/tool_window_host.h"
#include "config/settings.h"
#include "flash/bank_select.h"
#include "platform/ui_services.h"
#include "ui/qt_canvas.h"
#include "ui/window_thread.h"

namespace {

class BankSelectWindow;
QPointer<BankSelectWindow> the_window;

void close_window(bool by_user);

class BankSelectWindow : public QDialog {
public:
    explicit BankSelectWindow(QWidget* owner) : QDialog(owner)
    {
        setWindowTitle("Flash Bank");
        setFixedSize(BANK_SELECT_W, BANK_SELECT_H);
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        // The display thread draws the cells, the mouse the outline: the window shows what was
        // drawn when it next gets to it. Taking the drawn area re-arms the canvas's notice.
        canvas_.set_on_change([] {
            post_to_window_thread([] {
                if (the_window != nullptr)
                    the_window->show_drawn();
            });
        });
    }
    ~BankSelectWindow() override
    {
        // Taken down with the main window without having been closed: nothing may draw here any more.
        if (the_window == this)
            bank_select_closed(x(), y(), false);
    }
    QtCanvas& canvas() { return canvas_; }
    void show_drawn()
    {
        QRect drawn = canvas_.take_dirty();
        if (!drawn.isEmpty())
            update(drawn);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        QRect r = event->rect();
        canvas_.with_image([&](const QImage& image) { p.drawImage(r.topLeft(), image, r); });
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (g_ui_state.modal_dialog_open == 0 && !isActiveWindow())
            activateWindow();
        bank_select_mouse_move(event->position().toPoint().x());
    }
    void leaveEvent(QEvent*) override
    {
        bank_select_mouse_leave();
        host_activate();
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            bank_select_button_down(event->position().toPoint().x(), event->position().toPoint().y());
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            bank_select_button_up(event->position().toPoint().x());
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            close_window(true);
            return;
        case Qt::Key_Tab:
            forward('\t');
            return;
        default:
            if (event->text().size() == 1 && !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)))
                forward(event->text().at(0));
        }
    }
    void closeEvent(QCloseEvent* event) override
    {
        close_window(true);
        event->accept();
    }
    bool focusNextPrevChild(bool) override { return false; }   // TAB goes to the main window

private:
    static void forward(QChar c)
    {
        host_character(c);
    }

    QtCanvas canvas_;
};

void close_window(bool by_user)
{
    BankSelectWindow* w = the_window;
    if (w == nullptr)
        return;
    the_window = nullptr;
    bank_select_closed(w->x(), w->y(), by_user);
    w->hide();
    w->deleteLater();
}

}  // namespace

bool bank_select_is_open() { return the_window != nullptr; }

void open_bank_select_window()
{
    if (the_window != nullptr)
        return;
    auto* w = new BankSelectWindow(g_tool_window_host.parent);
    the_window = w;
    if (bank_select_opened(&w->canvas()))
        w->move(g_settings.xposfbnk, g_settings.yposfbnk);
    bank_select_paint();
    w->show();
}

void close_bank_select_window() { close_window(false); }

void focus_bank_select_window()
{
    if (the_window != nullptr) {
        the_window->raise();
        the_window->activateWindow();
    }
}
