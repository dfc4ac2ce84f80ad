#include "app/cells_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>

#include "analysis/cells_host.h"
#include "analysis/graph.h"
#include "analysis/math_channels.h"
#include "analysis/viewer.h"
#include "app/app_icon.h"
#include "app/tool_window_host.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui_services.h"
#include "velearn/cells_options.h"
#include "velearn/ve_apply.h"

namespace {

// The window's size when it first opens, and the controls' column beside the table.
constexpr int WINDOW_WIDTH = 1280, WINDOW_HEIGHT = 760, CONTROLS_WIDTH = 330;

QString latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string latin1(const QString& s) { return s.toLatin1().toStdString(); }

QPointer<CellsWindow> g_window;
std::string g_settings_path;

void open_cells_window(const std::string& log)
{
    if (g_window == nullptr)
        g_window = new CellsWindow(g_tool_window_host.parent, g_settings_path);
    if (g_window->log_path() != log && g_window->load_log(log) != 0) {
        ui().message_box("Can not open Data Log File", "File Open Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
        return;
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
}

// An open Cells window goes over to the log the Analysis table opens next, as the log graph does:
// a click in a cell selects rows of the table, so both must show one log.
void follow_viewer(ViewerEvent event)
{
    if (event != VIEWER_LOG_OPENED || g_window == nullptr || !g_window->isVisible())
        return;
    const std::string& log = g_settings.analysis;
    if (g_window->log_path() != log && g_window->load_log(log) != 0)
        g_window->hide();   // nothing of the old log may stand beside the new table
}

[[maybe_unused]] const bool following_viewer = add_viewer_listener(follow_viewer);

}  // namespace

// ---- The table --------------------------------------------------------------------------------

CellsTableView::CellsTableView(CellsWindow* window, QWidget* parent) : QWidget(parent), window_(window)
{
    setMouseTracking(true);
    setMinimumSize(480, 360);
}

void CellsTableView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint_cells_table(p, window_->table(), window_->picture(), rect());
}

void CellsTableView::mouseMoveEvent(QMouseEvent* e)
{
    const CellTable& t = window_->table();
    long cell = table_cell_at(t, rect(), e->position().toPoint());
    if (cell != window_->picture().hover) {
        window_->picture().hover = cell;
        update();
    }
    if (cell < 0) {
        QToolTip::hideText();
        return;
    }
    const CellStats& s = t.cells[static_cast<size_t>(cell)];
    size_t r = static_cast<size_t>(cell) / t.columns(), c = static_cast<size_t>(cell) % t.columns();
    QString text = QString("%1 %2, %3 %4\nhits %5\nweight %6")
                       .arg(latin1(window_->plan().channel_name(window_->plan().y)))
                       .arg(t.y_axis[r])
                       .arg(latin1(window_->plan().channel_name(window_->plan().x)))
                       .arg(t.x_axis[c])
                       .arg(s.hits)
                       .arg(cell_number_text(s.weight));
    if (s.hits > 0)
        text += QString("\nmean %1\nmin %2\nmax %3\nstdev %4")
                    .arg(cell_number_text(s.mean), cell_number_text(s.min), cell_number_text(s.max),
                         cell_number_text(s.stdev));
    QToolTip::showText(e->globalPosition().toPoint(), text, this);
}

void CellsTableView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        window_->select_cell(table_cell_at(window_->table(), rect(), e->position().toPoint()));
}

void CellsTableView::leaveEvent(QEvent*)
{
    window_->picture().hover = -1;
    update();
}

// ---- The scatter ------------------------------------------------------------------------------

ScatterPlot::ScatterPlot(CellsWindow* window, QWidget* parent) : QWidget(parent), window_(window)
{
    setMinimumSize(480, 360);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ScatterPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const CellPlan& plan = window_->plan();
    paint_scatter(p, window_->table(), window_->scatter_view(), rect(), plan.channel_name(plan.x),
                  plan.channel_name(plan.y));
    if (dragging_) {
        p.setPen(QPen(QColor(235, 235, 235), 1, Qt::DashLine));
        p.setBrush(QColor(150, 150, 255, 40));
        p.drawRect(QRect(from_, to_).normalized());
    }
}

void ScatterPlot::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    from_ = to_ = e->position().toPoint();
}

void ScatterPlot::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_)
        return;
    to_ = e->position().toPoint();
    update();
}

void ScatterPlot::mouseReleaseEvent(QMouseEvent* e)
{
    if (!dragging_ || e->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    to_ = e->position().toPoint();
    update();
    if (std::abs(to_.x() - from_.x()) < 4 || std::abs(to_.y() - from_.y()) < 4)
        return;
    QPointF a = scatter_value_at(window_->scatter_view(), rect(), from_);
    QPointF b = scatter_value_at(window_->scatter_view(), rect(), to_);
    window_->add_scatter_filter(std::min(a.x(), b.x()), std::max(a.x(), b.x()), std::min(a.y(), b.y()),
                                std::max(a.y(), b.y()));
}

// ---- The window -------------------------------------------------------------------------------

CellsWindow::CellsWindow(QWidget* owner, const std::string& settings_path)
    : QWidget(owner, Qt::Window), settings_path_(settings_path)
{
    setWindowTitle("Cells");
    setWindowIcon(app_icon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto combo = [this] {
        auto* b = new QComboBox(this);
        b->setMaxVisibleItems(24);
        return b;
    };
    x_ = combo();
    y_ = combo();
    z_ = combo();
    ve_grid_ = new QCheckBox("VE grid (MAP x RPM)", this);
    x_axis_ = new QLineEdit(this);
    y_axis_ = new QLineEdit(this);
    step_from_ = new QLineEdit(this);
    step_to_ = new QLineEdit(this);
    step_by_ = new QLineEdit(this);
    for (QLineEdit* e : {step_from_, step_to_, step_by_})
        e->setMaximumWidth(52);
    auto* steps_x = new QPushButton("X", this);
    auto* steps_y = new QPushButton("Y", this);
    steps_x->setObjectName("steps_x");
    steps_y->setObjectName("steps_y");
    stat_ = combo();
    for (const CellStatName& s : CELL_STATS)
        stat_->addItem(s.name);
    weighting_ = combo();
    for (const CellWeightingName& w : CELL_WEIGHTINGS)
        weighting_->addItem(w.name);
    min_hits_ = new QSpinBox(this);
    min_hits_->setRange(0, 100000);
    delay_ = new QDoubleSpinBox(this);
    delay_->setRange(-5, 5);
    delay_->setSingleStep(0.05);
    delay_->setDecimals(3);
    delay_->setSuffix(" s");
    centre_ = combo();
    centre_->addItem("0 %", 0.0);
    centre_->addItem("128", 128.0);
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText("[RPM] > 1200 && [Cl] == 1");
    auto error_label = [this] {
        auto* l = new QLabel(this);
        l->setStyleSheet("color: #d03030");
        l->setWordWrap(true);
        return l;
    };
    filter_error_ = error_label();
    math_ = new QTableWidget(0, 2, this);
    math_->setHorizontalHeaderLabels({"Name", "Expression"});
    math_->horizontalHeader()->setStretchLastSection(true);
    math_->verticalHeader()->setVisible(false);
    math_->setMinimumHeight(110);
    auto* add_math = new QPushButton("Add", this);
    auto* remove_math = new QPushButton("Remove", this);
    math_error_ = error_label();
    error_ = error_label();
    summary_ = new QLabel(this);

    auto* form = new QFormLayout;
    form->addRow("X", x_);
    form->addRow("Y", y_);
    form->addRow("Z", z_);
    form->addRow(ve_grid_);
    form->addRow("X breakpoints", x_axis_);
    form->addRow("Y breakpoints", y_axis_);
    auto* steps = new QHBoxLayout;
    steps->addWidget(new QLabel("even steps from", this));
    steps->addWidget(step_from_);
    steps->addWidget(new QLabel("to", this));
    steps->addWidget(step_to_);
    steps->addWidget(new QLabel("by", this));
    steps->addWidget(step_by_);
    steps->addStretch(1);
    form->addRow(steps);
    auto* steps_to = new QHBoxLayout;
    steps_to->addWidget(new QLabel("as breakpoints of", this));
    steps_to->addWidget(steps_x);
    steps_to->addWidget(steps_y);
    form->addRow(steps_to);
    form->addRow("Statistic", stat_);
    form->addRow("Weighting", weighting_);
    form->addRow("Minimum hits", min_hits_);
    form->addRow("Wideband delay", delay_);
    form->addRow("Colour centre", centre_);
    form->addRow("Filter", filter_);
    form->addRow(filter_error_);
    form->addRow(new QLabel("Math channels", this));
    form->addRow(math_);
    auto* math_buttons = new QHBoxLayout;
    math_buttons->addWidget(add_math);
    math_buttons->addWidget(remove_math);
    form->addRow(math_buttons);
    form->addRow(math_error_);
    form->addRow(error_);
    auto* side_widget = new QWidget(this);
    side_widget->setLayout(form);
    side_widget->setFixedWidth(CONTROLS_WIDTH);

    table_view_ = new CellsTableView(this, this);
    scatter_ = new ScatterPlot(this, this);
    views_ = new QTabWidget(this);
    views_->addTab(table_view_, "Table");
    views_->addTab(scatter_, "Scatter");
    auto* copy = new QPushButton("Copy", this);
    auto* save = new QPushButton("Save CSV...", this);
    write_bin_ = new QPushButton("Write BIN...", this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addWidget(write_bin_);
    auto* right = new QVBoxLayout;
    right->addWidget(views_, 1);
    right->addLayout(buttons);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 6, 6, 6);
    row->addWidget(side_widget);
    row->addLayout(right, 1);
    resize(WINDOW_WIDTH, WINDOW_HEIGHT);

    auto changed = [this] {
        if (!filling_)
            recompute();
    };
    for (QComboBox* b : {x_, y_, z_, stat_, weighting_, centre_})
        connect(b, &QComboBox::currentIndexChanged, this, changed);
    for (QLineEdit* e : {x_axis_, y_axis_, filter_})
        connect(e, &QLineEdit::textChanged, this, changed);
    connect(ve_grid_, &QCheckBox::toggled, this, changed);
    connect(min_hits_, &QSpinBox::valueChanged, this, changed);
    connect(delay_, &QDoubleSpinBox::valueChanged, this, changed);
    connect(math_, &QTableWidget::itemChanged, this, changed);
    connect(steps_x, &QPushButton::clicked, this, [this] { even_steps_to(true); });
    connect(steps_y, &QPushButton::clicked, this, [this] { even_steps_to(false); });
    connect(add_math, &QPushButton::clicked, this, [this] {
        filling_ = true;
        int r = math_->rowCount();
        math_->insertRow(r);
        math_->setItem(r, 0, new QTableWidgetItem(QString("m%1").arg(r + 1)));
        math_->setItem(r, 1, new QTableWidgetItem("[BLM] - 128"));
        filling_ = false;
        recompute();
        math_->editItem(math_->item(r, 1));
    });
    connect(remove_math, &QPushButton::clicked, this, [this] {
        int r = math_->currentRow();
        if (r < 0)
            r = math_->rowCount() - 1;
        if (r >= 0) {
            math_->removeRow(r);
            recompute();
        }
    });
    connect(views_, &QTabWidget::currentChanged, this, changed);
    connect(copy, &QPushButton::clicked, this, [this] { copy_table(); });
    connect(save, &QPushButton::clicked, this, [this] { save_csv(); });
    connect(write_bin_, &QPushButton::clicked, this, [this] { write_bin(); });

    catalogue_ = channel_catalogue();
    last_good_ = settings_path_.empty() ? CellsSettings{} : read_cells_settings(settings_path_);
    apply_settings(last_good_);
}

int CellsWindow::load_log(const std::string& path)
{
    catalogue_ = channel_catalogue();
    LogValues values;
    if (read_log_values(path, catalogue_, {}, values) != CELLS_OK)
        return -1;
    values_ = std::move(values);
    log_ = path;
    setWindowTitle(latin1("Cells - " + file_name_part(path)));
    fill_channel_boxes();
    picture_.selected = -1;
    recompute();
    scatter_view_ = scatter_fit(table_, picture_.centre);
    scatter_->update();
    return 0;
}

void CellsWindow::fill_channel_boxes()
{
    bool was = filling_;
    filling_ = true;
    for (QComboBox* b : {x_, y_, z_}) {
        QString current = b->currentText();
        b->clear();
        for (const ChannelInfo& ch : catalogue_)
            b->addItem(latin1(ch.name));
        for (int r = 0; r < math_->rowCount(); ++r)
            if (math_->item(r, 0) != nullptr && !math_->item(r, 0)->text().isEmpty())
                b->addItem(math_->item(r, 0)->text());
        int at = b->findText(current);
        if (at < 0 && !current.isEmpty()) {
            b->addItem(current);   // a channel this log lacks: kept, and reported
            at = b->count() - 1;
        }
        b->setCurrentIndex(at);
    }
    filling_ = was;
}

void CellsWindow::apply_settings(const CellsSettings& s)
{
    filling_ = true;
    math_->setRowCount(0);
    for (const MathChannelDef& m : s.math) {
        int r = math_->rowCount();
        math_->insertRow(r);
        math_->setItem(r, 0, new QTableWidgetItem(latin1(m.name)));
        math_->setItem(r, 1, new QTableWidgetItem(latin1(m.expression)));
    }
    fill_channel_boxes();
    auto pick = [](QComboBox* b, const std::string& name) {
        int at = b->findText(latin1(name), Qt::MatchFixedString);
        if (at < 0) {
            b->addItem(latin1(name));   // a channel this log lacks: kept, and reported
            at = b->count() - 1;
        }
        b->setCurrentIndex(at);
    };
    pick(x_, s.x);
    pick(y_, s.y);
    pick(z_, s.z);
    ve_grid_->setChecked(s.ve_grid);
    x_axis_->setText(latin1(breakpoints_text(s.x_axis)));
    y_axis_->setText(latin1(breakpoints_text(s.y_axis)));
    stat_->setCurrentText(cell_stat_name(s.stat));
    weighting_->setCurrentText(cell_weighting_name(s.weighting));
    min_hits_->setValue(static_cast<int>(s.min_hits));
    delay_->setValue(s.wideband_delay);
    centre_->setCurrentIndex(s.centre == 0 ? 0 : 1);
    filter_->setText(latin1(s.where));
    views_->setCurrentIndex(s.scatter ? 1 : 0);
    filling_ = false;
    recompute();
}

CellsSettings CellsWindow::settings() const
{
    CellsSettings s = last_good_;
    s.x = latin1(x_->currentText());
    s.y = latin1(y_->currentText());
    s.z = latin1(z_->currentText());
    s.ve_grid = ve_grid_->isChecked();
    parse_breakpoints(latin1(x_axis_->text()), s.x_axis);
    parse_breakpoints(latin1(y_axis_->text()), s.y_axis);
    cell_stat_named(latin1(stat_->currentText()), s.stat);
    cell_weighting_named(latin1(weighting_->currentText()), s.weighting);
    s.min_hits = min_hits_->value();
    s.wideband_delay = delay_->value();
    s.centre = centre_->currentData().toDouble();
    s.where = latin1(filter_->text());
    s.math.clear();
    for (int r = 0; r < math_->rowCount(); ++r) {
        QTableWidgetItem* name = math_->item(r, 0);
        QTableWidgetItem* expr = math_->item(r, 1);
        if (name != nullptr && !name->text().isEmpty())
            s.math.push_back({latin1(name->text()), expr != nullptr ? latin1(expr->text()) : std::string()});
    }
    s.scatter = views_->currentIndex() == 1;
    return s;
}

std::string CellsWindow::error_text() const
{
    for (const QLabel* l : {filter_error_, math_error_, error_})
        if (!l->text().isEmpty())
            return latin1(l->text());
    return "";
}

void CellsWindow::recompute()
{
    CellsSettings s = settings();
    x_axis_->setEnabled(!s.ve_grid);
    y_axis_->setEnabled(!s.ve_grid);
    x_->setEnabled(!s.ve_grid);
    y_->setEnabled(!s.ve_grid);
    write_bin_->setEnabled(s.ve_grid);
    picture_.stat = s.stat;
    picture_.min_hits = s.min_hits;
    picture_.centre = s.centre;
    filter_error_->clear();
    math_error_->clear();
    error_->clear();
    // Math channels renamed or added: the pickers offer them.
    fill_channel_boxes();

    std::string axis_error;
    if (!s.ve_grid) {
        std::vector<double> a;
        if (!parse_breakpoints(latin1(x_axis_->text()), a) || !parse_breakpoints(latin1(y_axis_->text()), a))
            axis_error = "Breakpoints are numbers split by commas";
    }
    CellPlan plan;
    std::string error = axis_error;
    if (error.empty() && plan_cells(cells_request(s), catalogue_, plan, error) == CELLS_OK) {
        plan_ = std::move(plan);
        compute_cells(plan_, values_, table_);
        bool changed = !(s == last_good_);
        if (s.math != math_channels()) {
            set_math_channels(s.math);
            graph_math_channels_changed();
        }
        last_good_ = s;
        if (changed && !settings_path_.empty()) {
            make_folders(directory_part(settings_path_));
            write_cells_settings(settings_path_, s);
        }
        scatter_view_ = scatter_fit(table_, s.centre);
    } else {
        // The last good table stays; the message stands under the field it is about.
        QLabel* under = error.rfind("filter: ", 0) == 0 ? filter_error_ : error_;
        for (const MathChannelDef& m : s.math)
            if (error.rfind(m.name + ": ", 0) == 0)
                under = math_error_;
        under->setText(latin1(error));
    }
    update_summary();
    table_view_->update();
    scatter_->update();
}

void CellsWindow::update_summary()
{
    summary_->setText(QString("%1 samples, %2 kept").arg(table_.samples).arg(table_.kept));
}

void CellsWindow::even_steps_to(bool x)
{
    double a = 0, b = 0, step = 0;
    std::vector<double> axis;
    bool ok = false;
    a = step_from_->text().toDouble(&ok);
    bool ok_b = false, ok_c = false;
    b = step_to_->text().toDouble(&ok_b);
    step = step_by_->text().toDouble(&ok_c);
    if (!ok || !ok_b || !ok_c || !even_steps(a, b, step, axis)) {
        error_->setText("Even steps need A < B and a step C > 0 (at most 1000 breakpoints)");
        return;
    }
    filling_ = true;
    ve_grid_->setChecked(false);
    (x ? x_axis_ : y_axis_)->setText(latin1(breakpoints_text(axis)));
    filling_ = false;
    recompute();
}

std::string CellsWindow::table_text(char separator) const
{
    return cells_text(table_, plan_.request.stat, plan_.request.min_hits, plan_.channel_name(plan_.y),
                      plan_.channel_name(plan_.x), separator);
}

void CellsWindow::copy_table() { QApplication::clipboard()->setText(latin1(table_text('\t'))); }

void CellsWindow::save_csv()
{
    FileDialogRequest request;
    request.title = "Save Cell Table as CSV";
    request.filters = {{"CSV (*.csv)", "*.csv"}};
    request.default_extension = "csv";
    request.save = true;
    std::string path = choose_file(request);
    if (path.empty())
        return;
    if (write_text_file(path, table_text(',')) != 0)
        ui().message_box("Error Writing to File\n\nDisk Full?", "File Write Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
}

void CellsWindow::write_bin()
{
    if (!is_ve_grid(plan_.request))
        return;
    choose_and_apply_ve_corrections(ve_corrections(table_, plan_.request.stat, plan_.request.min_hits));
}

void CellsWindow::select_cell(long cell)
{
    picture_.selected = cell;
    table_view_->update();
    if (cell < 0)
        return;
    size_t r = static_cast<size_t>(cell) / table_.columns(), c = static_cast<size_t>(cell) % table_.columns();
    std::vector<uint32_t> samples;
    for (size_t k = 0; k < table_.kept_samples.size(); ++k)
        if (kept_sample_in_cell(table_, plan_.request.weighting, k, r, c))
            samples.push_back(table_.kept_samples[k]);
    cells_select_samples(log_, samples);
}

void CellsWindow::add_scatter_filter(double x0, double x1, double y0, double y1)
{
    std::string x = plan_.channel_name(plan_.x), y = plan_.channel_name(plan_.y);
    auto n = [](double v) { return latin1(QString::number(v, 'g', 6)); };
    std::string box = "[" + x + "] >= " + n(x0) + " && [" + x + "] <= " + n(x1) + " && [" + y + "] >= " + n(y0) +
                      " && [" + y + "] <= " + n(y1);
    std::string where = latin1(filter_->text());
    filter_->setText(latin1(where.empty() ? box : "(" + where + ") && " + box));
}

void CellsWindow::show_scatter(bool scatter) { views_->setCurrentIndex(scatter ? 1 : 0); }

QImage CellsWindow::render()
{
    if (layout() != nullptr)
        layout()->activate();
    return grab().toImage();
}

void CellsWindow::closeEvent(QCloseEvent* event)
{
    cells_select_samples(log_, {});
    event->accept();
}

// ---- The program's opener and command line ----------------------------------------------------

void attach_cells_window(const std::string& settings_path)
{
    g_settings_path = settings_path;
    attach_cells_opener(open_cells_window);
    // The math channels are channels of the log graph from the start.
    if (!settings_path.empty())
        set_math_channels(read_cells_settings(settings_path).math);
}

CellsWindow* cells_window() { return g_window; }

int run_cells_command(const std::vector<std::string>& args, const std::string& png, const std::string& settings_path)
{
    CellsOptions options;
    std::string error;
    if (parse_cells_options(args, options, error) != 0) {
        std::fprintf(stderr, "GlanzoFlash: %s\n", error.c_str());
        return 2;
    }
    CellsSettings settings = settings_path.empty() ? CellsSettings{} : read_cells_settings(settings_path);
    if (settings_from_options(options, settings, error) != 0) {
        std::fprintf(stderr, "GlanzoFlash: %s\n", error.c_str());
        return 2;
    }
    CellPlan plan;
    if (plan_cells(cells_request(settings), channel_catalogue(), plan, error) != CELLS_OK) {
        std::fprintf(stderr, "GlanzoFlash: %s\n", error.c_str());
        return 2;
    }
    // A picture for a file leaves the kept choices as they were.
    auto* window = new CellsWindow(nullptr, png.empty() ? settings_path : std::string());
    window->apply_settings(settings);
    if (window->load_log(options.log) != 0) {
        std::fprintf(stderr, "GlanzoFlash: cannot open data log %s\n", options.log.c_str());
        delete window;
        return 1;
    }
    if (!png.empty()) {
        window->setAttribute(Qt::WA_DontShowOnScreen);
        window->show();
        QImage image = window->render();
        delete window;
        if (!image.save(QString::fromLocal8Bit(png.c_str()), "PNG")) {
            std::fprintf(stderr, "GlanzoFlash: cannot write %s\n", png.c_str());
            return 1;
        }
        return 0;
    }
    window->show();
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
