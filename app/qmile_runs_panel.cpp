#include "app/qmile_runs_panel.h"

#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <string>

#include "analysis/qmile_graph.h"
#include "analysis/run_list.h"
#include "analysis/viewer.h"

namespace {

QmileRunsPanel* the_panel = nullptr;   // while the graph window has one

constexpr int LOG_COLUMN_WIDTH = 96;
constexpr QColor FASTER{40, 170, 60};
constexpr QColor SLOWER{200, 50, 50};

// The list's columns after the tick: what each shows of a run.
struct RunColumn {
    const char* heading;
    double QmileResults::*value;   // or null: the log and run time
    const char* format;
};
constexpr RunColumn RUN_COLUMNS[] = {
    {"Log", nullptr, nullptr},
    {"RunTime", nullptr, nullptr},
    {"60 ft", &QmileResults::ft60_s, "%.2f"},
    {"1/8", &QmileResults::eighth_s, "%.2f"},
    {"mph", &QmileResults::eighth_mph, "%.0f"},
    {"1/4", &QmileResults::quarter_s, "%.2f"},
    {"mph", &QmileResults::quarter_mph, "%.0f"},
};

QString figure_text(const char* format, double v)
{
    if (v == 0)
        return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

QString latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// Filled again once the event that changed the list is over: the change may come from a click on
// one of the list's own items.
void notify()
{
    if (the_panel != nullptr)
        QMetaObject::invokeMethod(
            the_panel, [panel = QPointer<QmileRunsPanel>(the_panel)] {
                if (panel != nullptr)
                    panel->refill();
            },
            Qt::QueuedConnection);
}

}  // namespace

QmileRunsPanel::QmileRunsPanel(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(new QLabel("Runs", this));
    runs_ = new QTreeWidget(this);
    runs_->setRootIsDecorated(false);
    runs_->setColumnCount(static_cast<int>(std::size(RUN_COLUMNS)) + 1);
    QStringList headings{"Vs"};
    for (const RunColumn& c : RUN_COLUMNS)
        headings << c.heading;
    runs_->setHeaderLabels(headings);
    runs_->header()->setStretchLastSection(false);
    runs_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // A long log name is cut at its start rather than pushing the figures out of sight.
    runs_->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    runs_->setColumnWidth(1, LOG_COLUMN_WIDTH);
    runs_->setTextElideMode(Qt::ElideLeft);
    layout->addWidget(runs_, 3);
    add_ = new QPushButton("Add Log...", this);
    layout->addWidget(add_);
    layout->addWidget(new QLabel("Compared (tick a second run)", this));
    comparison_ = new QTreeWidget(this);
    comparison_->setRootIsDecorated(false);
    comparison_->setColumnCount(4);
    comparison_->setHeaderLabels({"", "This run", "Ticked", "Difference"});
    comparison_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(comparison_, 2);

    connect(runs_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int column) { clicked(item, column); });
    connect(runs_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) { clicked(item, 1); });
    connect(runs_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) { ticked(item, column); });
    connect(add_, &QPushButton::clicked, this, [] { run_list_add_log_dialog(); });

    refill();
}

void QmileRunsPanel::showEvent(QShowEvent* event)
{
    // The list follows the runs while it is shown (a reset of the run list lets go of it).
    the_panel = this;
    g_run_list.on_change = notify;
    refill();
    QWidget::showEvent(event);
}

QmileRunsPanel::~QmileRunsPanel()
{
    if (the_panel == this) {
        the_panel = nullptr;
        g_run_list.on_change = nullptr;
    }
}

void QmileRunsPanel::refill()
{
    filling_ = true;
    runs_->clear();
    const std::vector<RunRef> entries = run_list_entries();
    for (const RunRef& ref : entries) {
        const QmileRun* run = run_list_run(ref);
        const RunListLog* log = run_list_log(ref.log);
        auto* item = new QTreeWidgetItem(runs_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(RUNS_TICK_COLUMN, ref == g_run_list.compared ? Qt::Checked : Qt::Unchecked);
        item->setData(0, Qt::UserRole, ref.log);
        item->setData(0, Qt::UserRole + 1, static_cast<qlonglong>(ref.row));
        for (size_t i = 0; i < std::size(RUN_COLUMNS); ++i) {
            const RunColumn& c = RUN_COLUMNS[i];
            QString text = c.value != nullptr ? figure_text(c.format, run->results.*c.value)
                           : i == 0           ? latin1(log->name)
                                              : QString::fromLatin1(run->results.start_run_time);
            item->setText(static_cast<int>(i) + 1, text);
            if (c.value != nullptr)
                item->setTextAlignment(static_cast<int>(i) + 1, Qt::AlignRight | Qt::AlignVCenter);
        }
        // The run the graph shows now.
        if (ref.log == -1 && g_qmile_graph.open && ref.row == g_qmile_graph.start_row) {
            QFont bold = item->font(1);
            bold.setBold(true);
            for (int col = 1; col < runs_->columnCount(); ++col)
                item->setFont(col, bold);
        }
    }

    comparison_->clear();
    if (const QmileRun* other = run_list_compared()) {
        for (const FigureComparison& f : compare_figures(g_qmile_graph.results, other->results)) {
            const char* format = f.speed ? "%.0f" : "%.2f";
            auto* item = new QTreeWidgetItem(comparison_);
            item->setText(0, f.label);
            item->setText(1, figure_text(format, f.first));
            item->setText(2, figure_text(format, f.second));
            char diff[32] = "-";
            if (f.comparable)
                std::snprintf(diff, sizeof diff, f.speed ? "%+.0f" : "%+.2f", f.difference);
            item->setText(3, diff);
            for (int col = 1; col < 4; ++col)
                item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
            if (f.faster != 0)
                item->setForeground(3, f.faster > 0 ? FASTER : SLOWER);
        }
    }
    filling_ = false;
}

void QmileRunsPanel::clicked(QTreeWidgetItem* item, int column)
{
    if (item == nullptr || column == RUNS_TICK_COLUMN)
        return;
    run_list_choose({item->data(0, Qt::UserRole).toInt(), item->data(0, Qt::UserRole + 1).toLongLong()});
}

void QmileRunsPanel::ticked(QTreeWidgetItem* item, int column)
{
    if (filling_ || column != RUNS_TICK_COLUMN)
        return;
    RunRef ref{item->data(0, Qt::UserRole).toInt(), item->data(0, Qt::UserRole + 1).toLongLong()};
    // One run is compared at a time: a new tick replaces the last, taking a tick off compares none.
    run_list_compare(item->checkState(RUNS_TICK_COLUMN) == Qt::Checked ? ref : RunRef{-2, -1});
}
