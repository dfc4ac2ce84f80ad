#include "app/graph_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdio>

#include "analysis/cells_host.h"
#include "analysis/graph.h"
#include "app/app_icon.h"
#include "app/graph_compare_panel.h"
#include "app/tool_window_host.h"
#include "platform/ui_services.h"

namespace {

// The plot's text: fixed pitch, GRAPH_CHAR_WIDTH wide.
constexpr int PLOT_FONT_PIXELS = 12;
// The plot's size when the window first opens, and the list's width beside it.
constexpr int PLOT_WIDTH = 960, PLOT_HEIGHT = 620, LIST_WIDTH = 190;
// Keys: how far Left and Right pan, and how much + and - zoom.
constexpr int KEY_PAN_PIXELS = 80;
// A compared log's traces: their colour this far (percent) towards white.
constexpr int OVERLAY_TINT = 45;

QColor qcolour(Rgb c) { return QColor(c.r, c.g, c.b); }

QFont plot_font()
{
    QFont f("Liberation Mono");
    f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(PLOT_FONT_PIXELS);
    return f;
}

Qt::PenStyle pen_style(PenStyle s)
{
    return s == PEN_DASH ? Qt::DashLine : s == PEN_DOT ? Qt::DotLine : Qt::SolidLine;
}

void draw_text(QPainter& p, const SceneText& t)
{
    QString s = QString::fromLatin1(t.text.data(), static_cast<qsizetype>(t.text.size()));
    int w = p.fontMetrics().horizontalAdvance(s);
    int x = t.align == ALIGN_RIGHT ? t.x - w : t.align == ALIGN_CENTRE ? t.x - w / 2 : t.x;
    QRect r(x, t.y, w, GRAPH_LINE_HEIGHT);
    if (t.boxed)
        p.fillRect(r.adjusted(-3, 0, 3, 1), QColor(10, 11, 14, 215));
    p.setPen(qcolour(t.colour));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, s);
}

// The window, while it exists, and the host that makes it.
class WindowHost : public GraphHost {
public:
    void open_window() override
    {
        if (window_ == nullptr)
            window_ = new GraphWindow(g_tool_window_host.parent);
        window_->refill();
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
    void close_window() override
    {
        if (window_ != nullptr)
            window_->close();
    }
    void repaint() override
    {
        if (window_ != nullptr)
            window_->plot()->update();
    }
    void channels_changed() override
    {
        if (window_ != nullptr)
            window_->refill();
    }

    QPointer<GraphWindow> window_;
};

WindowHost the_host;

}  // namespace

// ---- Painting ---------------------------------------------------------------------------------

void paint_graph_scene(QPainter& p, const GraphScene& sc)
{
    p.fillRect(0, 0, sc.width, sc.height, qcolour(GRAPH_BACKGROUND));
    p.setFont(plot_font());
    for (const SceneLane& lane : sc.lanes)
        p.fillRect(QRect(QPoint(sc.plot_left, lane.top), QPoint(sc.plot_right - 1, lane.bottom)), qcolour(GRAPH_LANE));
    p.setPen(QPen(qcolour(GRAPH_GRID), 1));
    for (const SceneLane& lane : sc.lanes) {
        for (int y : lane.grid_y)
            p.drawLine(sc.plot_left, y, sc.plot_right - 1, y);
        for (int x : sc.grid_x)
            p.drawLine(x, lane.top, x, lane.bottom);
    }
    if (sc.span) {
        p.fillRect(QRect(QPoint(std::min(sc.span_a, sc.span_b), sc.plot_top),
                         QPoint(std::max(sc.span_a, sc.span_b), sc.plot_bottom)),
                   QColor(150, 150, 255, 50));
    }
    // Rules of events under the traces; the selected row and the pointer above them.
    auto rule = [&](const SceneRule& r) {
        p.setPen(QPen(qcolour(r.colour), 1, pen_style(r.style)));
        p.drawLine(r.x, sc.plot_top, r.x, sc.plot_bottom);
    };
    for (const SceneRule& r : sc.rules)
        if (!(r.colour == GRAPH_SELECTED) && !(r.colour == GRAPH_POINTER))
            rule(r);
    p.save();
    p.setClipRect(QRect(QPoint(sc.plot_left, sc.plot_top), QPoint(sc.plot_right - 1, sc.plot_bottom)));
    std::vector<QLineF> lines;
    auto draw_trace = [&](const std::vector<SceneLine>& trace) {
        lines.clear();
        for (const SceneLine& l : trace)
            lines.emplace_back(l.x1 + 0.5, l.y1 + 0.5, l.x2 + 0.5, l.y2 + 0.5);
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
    };
    for (size_t i = 0; i < sc.traces.size(); ++i) {
        p.setPen(QPen(qcolour(sc.trace_colours[i]), 1));
        draw_trace(sc.traces[i]);
        // A compared log's trace in a paler shade of the colour, its dashes cut by the core.
        if (i < sc.overlay_traces.size()) {
            Rgb c = sc.trace_colours[i];
            auto tint = [](uint8_t v) { return v + (255 - v) * OVERLAY_TINT / 100; };
            p.setPen(QPen(QColor(tint(c.r), tint(c.g), tint(c.b)), 1));
            draw_trace(sc.overlay_traces[i]);
        }
    }
    p.restore();
    for (const SceneRule& r : sc.rules)
        if (r.colour == GRAPH_SELECTED || r.colour == GRAPH_POINTER)
            rule(r);
    for (const SceneText& t : sc.texts)
        draw_text(p, t);
}

QImage render_graph(int width, int height)
{
    graph_resize(width, height);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    paint_graph_scene(p, graph_scene());
    return image;
}

// ---- The plot ---------------------------------------------------------------------------------

GraphPlot::GraphPlot(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(420, 260);
}

void GraphPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint_graph_scene(p, graph_scene());
}

void GraphPlot::resizeEvent(QResizeEvent*) { graph_resize(width(), height()); }

void GraphPlot::mouseMoveEvent(QMouseEvent* e)
{
    graph_mouse_move(e->position().toPoint().x(), (e->buttons() & (Qt::LeftButton | Qt::RightButton)) != 0);
}

void GraphPlot::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
        graph_mouse_down(e->position().toPoint().x(),
                         e->button() == Qt::RightButton || (e->modifiers() & Qt::ShiftModifier) != 0);
}

void GraphPlot::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
        graph_mouse_up(e->position().toPoint().x());
}

void GraphPlot::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        graph_fit();
}

void GraphPlot::wheelEvent(QWheelEvent* e)
{
    int steps = e->angleDelta().y() / 120;
    if (steps == 0)
        steps = e->angleDelta().y() > 0 ? 1 : e->angleDelta().y() < 0 ? -1 : 0;
    if (steps != 0)
        graph_wheel(static_cast<int>(e->position().x()), steps);
    e->accept();
}

void GraphPlot::keyPressEvent(QKeyEvent* e)
{
    int mid = GRAPH_LEFT + plot_columns(width()) / 2;
    switch (e->key()) {
    case Qt::Key_F:
    case Qt::Key_Home:
        graph_fit();
        break;
    case Qt::Key_Left:
        graph_pan_pixels(KEY_PAN_PIXELS);
        break;
    case Qt::Key_Right:
        graph_pan_pixels(-KEY_PAN_PIXELS);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        graph_wheel(mid, 1);
        break;
    case Qt::Key_Minus:
        graph_wheel(mid, -1);
        break;
    default:
        QWidget::keyPressEvent(e);
    }
}

void GraphPlot::leaveEvent(QEvent*) { graph_leave(); }

// ---- The window -------------------------------------------------------------------------------

GraphWindow::GraphWindow(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setWindowTitle("Log Graph");
    setWindowIcon(app_icon());
    setAttribute(Qt::WA_DeleteOnClose);

    list_ = new QListWidget(this);
    list_->setFixedWidth(LIST_WIDTH);
    lane_ = new QSpinBox(this);
    lane_->setRange(1, GRAPH_MAX_CHANNELS);
    lane_->setPrefix("Lane ");
    lane_->setEnabled(false);
    auto* fit = new QPushButton("Fit All", this);
    auto* save = new QPushButton("Save PNG...", this);
    auto* cells = new QPushButton("Cells", this);
    auto* hint = new QLabel("Tick up to 8 channels.\nWheel: zoom  Drag: pan\nShift+drag: zoom to span\n"
                            "Click: select the row\nDouble-click: fit all",
                            this);
    hint->setWordWrap(true);
    plot_ = new GraphPlot(this);
    plot_->resize(PLOT_WIDTH, PLOT_HEIGHT);

    auto* side = new QVBoxLayout;
    side->addWidget(list_, 1);
    side->addWidget(lane_);
    side->addWidget(fit);
    side->addWidget(save);
    side->addWidget(cells);
    side->addWidget(hint);
    compare_ = new GraphComparePanel(this, [this] { plot_->update(); });
    side->addWidget(compare_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 4, 4, 4);
    row->addLayout(side);
    row->addWidget(plot_, 1);
    resize(PLOT_WIDTH + LIST_WIDTH + 16, PLOT_HEIGHT + 8);

    connect(list_, &QListWidget::itemChanged, this, [this] { picks_from_list(); });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { current_changed(); });
    connect(lane_, &QSpinBox::valueChanged, this, [this](int lane) { lane_changed(lane); });
    connect(fit, &QPushButton::clicked, this, [] { graph_fit(); });
    connect(save, &QPushButton::clicked, this, [this] { save_png(); });
    connect(cells, &QPushButton::clicked, this, [] { cells_show_for_graph(); });
}

void GraphWindow::refill()
{
    if (changing_)
        return;
    filling_ = true;
    QString current = list_->currentItem() != nullptr ? list_->currentItem()->data(Qt::UserRole).toString() : QString();
    list_->clear();
    for (const ChannelInfo& ch : g_graph.catalogue) {
        std::string text = ch.unit.empty() ? ch.name : ch.name + "  (" + ch.unit + ")";
        auto* item = new QListWidgetItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())), list_);
        QString name = QString::fromLatin1(ch.name.data(), static_cast<qsizetype>(ch.name.size()));
        item->setData(Qt::UserRole, name);
        bool picked = false;
        for (const GraphPick& p : g_graph.picks)
            picked = picked || p.name == ch.name;
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(picked ? Qt::Checked : Qt::Unchecked);
        if (name == current)
            list_->setCurrentItem(item);
    }
    filling_ = false;
    current_changed();
    compare_->refill();
}

void GraphWindow::picks_from_list()
{
    if (filling_)
        return;
    // The picks kept in their lanes; a newly ticked channel gets a lane of its own (the last lane
    // once all eight are taken); more than eight are refused.
    std::vector<GraphPick> picks;
    int next_lane = 0;
    for (const GraphPick& p : g_graph.picks)
        next_lane = std::max(next_lane, p.lane + 1);
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        std::string name = item->data(Qt::UserRole).toString().toLatin1().toStdString();
        int lane = -1;
        for (const GraphPick& p : g_graph.picks)
            if (p.name == name)
                lane = p.lane;
        if (lane < 0)
            lane = std::min(next_lane++, GRAPH_MAX_CHANNELS - 1);
        picks.push_back({name, lane});
    }
    if (picks.size() > GRAPH_MAX_CHANNELS) {
        QApplication::beep();
        refill();
        return;
    }
    set_picks(picks);
}

void GraphWindow::set_picks(const std::vector<GraphPick>& picks)
{
    // The list already shows the change: it is not filled again under the item that made it.
    changing_ = true;
    graph_set_picks(picks);
    changing_ = false;
    current_changed();
}

void GraphWindow::current_changed()
{
    QListWidgetItem* item = list_->currentItem();
    int lane = -1;
    if (item != nullptr) {
        std::string name = item->data(Qt::UserRole).toString().toLatin1().toStdString();
        for (const GraphPick& p : g_graph.picks)
            if (p.name == name)
                lane = p.lane;
    }
    bool was_filling = filling_;
    filling_ = true;
    lane_->setEnabled(lane >= 0);
    if (lane >= 0)
        lane_->setValue(lane + 1);
    filling_ = was_filling;
}

void GraphWindow::lane_changed(int lane)
{
    QListWidgetItem* item = list_->currentItem();
    if (filling_ || item == nullptr)
        return;
    std::string name = item->data(Qt::UserRole).toString().toLatin1().toStdString();
    std::vector<GraphPick> picks = g_graph.picks;
    for (GraphPick& p : picks)
        if (p.name == name)
            p.lane = lane - 1;
    set_picks(picks);
}

void GraphWindow::save_png()
{
    FileDialogRequest request;
    request.title = "Save Graph as PNG";
    request.filters = {{"PNG pictures (*.png)", "*.png"}};
    request.default_extension = "png";
    request.save = true;
    std::string path = choose_file(request);
    if (path.empty())
        return;
    QImage image = render_graph(plot_->width(), plot_->height());
    graph_resize(plot_->width(), plot_->height());
    if (!image.save(QString::fromLocal8Bit(path.c_str()), "PNG"))
        ui().message_box("Can not write the picture file", "File Write Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

void GraphWindow::closeEvent(QCloseEvent* event)
{
    graph_closed();
    event->accept();
}

void attach_graph_window() { attach_graph_host(&the_host); }

void detach_graph_window() { attach_graph_host(nullptr); }

GraphWindow* graph_window() { return the_host.window_; }

// ---- The command line -------------------------------------------------------------------------

int run_graph_command(const std::string& log, const std::string& channels, const std::string& png,
                      const std::string& compare, const std::string& align)
{
    std::vector<GraphPick> picks;
    const std::vector<ChannelInfo> catalogue = channel_catalogue();
    size_t from = 0;
    while (!channels.empty() && from <= channels.size()) {
        size_t comma = channels.find(',', from);
        std::string name = channels.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        from = comma == std::string::npos ? channels.size() + 1 : comma + 1;
        if (name.empty())
            continue;
        int c = find_channel(catalogue, name);
        if (c < 0) {
            std::fprintf(stderr, "GlanzoFlash: no channel named \"%s\"; the channels are: %s\n", name.c_str(),
                         channel_names(catalogue).c_str());
            return 2;
        }
        picks.push_back({catalogue[static_cast<size_t>(c)].name, static_cast<int>(picks.size())});
    }
    if (picks.size() > GRAPH_MAX_CHANNELS) {
        std::fprintf(stderr, "GlanzoFlash: at most %d channels can be graphed\n", GRAPH_MAX_CHANNELS);
        return 2;
    }
    if (graph_load_log(log, picks.empty() ? nullptr : &picks) != 0) {
        std::fprintf(stderr, "GlanzoFlash: cannot open data log %s\n", log.c_str());
        return 1;
    }
    if (!compare.empty())
        if (int rc = run_compare_option(compare, align))
            return rc;
    if (!png.empty()) {
        QImage image = render_graph(PLOT_WIDTH, PLOT_HEIGHT);
        if (!image.save(QString::fromLocal8Bit(png.c_str()), "PNG")) {
            std::fprintf(stderr, "GlanzoFlash: cannot write %s\n", png.c_str());
            return 1;
        }
        return 0;
    }
    attach_graph_window();
    g_graph.open = true;
    the_host.open_window();
    QApplication::setQuitOnLastWindowClosed(true);
    int rc = QApplication::exec();
    detach_graph_window();
    return rc;
}
