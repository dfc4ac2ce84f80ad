#include "app/qmile_graph_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <array>

#include "analysis/qmile_graph.h"
#include "analysis/run_list.h"
#include "analysis/viewer.h"
#include "app/app_icon.h"
#include "app/tool_window_host.h"
#include "app/scroll_keys.h"
#include "ui/window_thread.h"

namespace {

constexpr std::array<ControlDef, 1> GRAPH_CONTROLS = {{
    {GRAPH_SCROLL, ControlKind::ScrollBar, nullptr, 110, 507, 684, 18, CS_HORIZONTAL, KeyRoute::Own},
}};

class GraphHost : public QmileGraphHost {
public:
    bool open_window(bool placed, int x, int y, unsigned&) override
    {
        if (window_ == nullptr)
            window_ = new QmileGraphWindow(g_tool_window_host.parent);
        if (!placed) {
            QScreen* screen = QGuiApplication::primaryScreen();
            QRect desktop = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);
            x = desktop.width() / 2 - 380;
            y = desktop.height() / 2 - 280;
        }
        window_->move(x, y);
        window_->show();
        return true;
    }
    void close_window() override
    {
        if (window_ != nullptr)
            window_->close();
    }
    Canvas* graph_canvas() override { return window_ != nullptr ? &window_->canvas() : nullptr; }
    void set_scroll(long min, long max, long page, long pos) override
    {
        if (window_ == nullptr)
            return;
        ScrollInfo s{min, max, page, pos};
        QtControls& c = window_->controls();
        c.set_range(GRAPH_SCROLL, static_cast<int>(min), static_cast<int>(s.last_position()), static_cast<int>(page));
        c.set_value(GRAPH_SCROLL, static_cast<int>(pos));
        c.set_enabled(GRAPH_SCROLL, s.can_scroll());
    }
    void set_resize_pointer(bool resize) override
    {
        if (window_ != nullptr)
            window_->setCursor(resize ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }

    QPointer<QmileGraphWindow> window_;
};

GraphHost the_host;

}  // namespace

QmileGraphWindow::QmileGraphWindow(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint)
{
    setWindowTitle("1/4 Mile Graph");
    setWindowIcon(app_icon());
    setFixedSize(CANVAS_WIDTH + RUNS_PANEL_WIDTH, CANVAS_HEIGHT);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    canvas_.set_on_change([self = QPointer<QmileGraphWindow>(this)] {
        post_to_window_thread([self] {
            if (self != nullptr)
                self->update(self->canvas_.take_dirty());
        });
    });
    controls_ = std::make_unique<QtControls>(this);
    controls_->create(GRAPH_CONTROLS, qmile_graph_command);
    runs_ = new QmileRunsPanel(this);
    runs_->setGeometry(CANVAS_WIDTH, 0, RUNS_PANEL_WIDTH, CANVAS_HEIGHT);
}

void QmileGraphWindow::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    QRect r = event->rect();
    canvas_.with_image([&](const QImage& image) { p.drawImage(r.topLeft(), image, r); });
}

void QmileGraphWindow::mouseMoveEvent(QMouseEvent* event)
{
    QPoint at = event->position().toPoint();
    qmile_graph_mouse_move(at.x(), at.y(), (event->buttons() & Qt::LeftButton) != 0);
}

void QmileGraphWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QPoint at = event->position().toPoint();
    qmile_graph_mouse_down(at.x(), at.y());
}

void QmileGraphWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        qmile_graph_mouse_up();
}

void QmileGraphWindow::wheelEvent(QWheelEvent* event)
{
    if (int code = scroll_code_of_wheel(event); code >= 0)
        analysis_scroll(code, 0);
}

void QmileGraphWindow::keyPressEvent(QKeyEvent* event)
{
    if (int code = scroll_code_of_key(event->key(), true); code >= 0)
        analysis_scroll(code, 0);
    else
        QWidget::keyPressEvent(event);
}

void QmileGraphWindow::closeEvent(QCloseEvent* event)
{
    qmile_graph_closed(x(), y());
    setCursor(Qt::ArrowCursor);
    event->accept();
}

void attach_qmile_graph_window()
{
    attach_qmile_graph_host(&the_host);
    attach_run_list();
}

void detach_qmile_graph_window()
{
    attach_qmile_graph_host(nullptr);
    detach_run_list();
}

QmileGraphWindow* qmile_graph_window() { return the_host.window_; }
