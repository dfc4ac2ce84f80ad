#include "app/graph_compare_panel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "analysis/graph.h"
#include "analysis/graph_compare.h"
#include "platform/paths.h"
#include "platform/ui_services.h"

namespace {

QString latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

GraphComparePanel::GraphComparePanel(QWidget* parent, std::function<void()> repaint)
    : QGroupBox("Compare", parent), repaint_(std::move(repaint))
{
    compare_ = new QPushButton("Compare With...", this);
    stop_ = new QPushButton("Stop Comparing", this);
    name_ = new QLabel(this);
    name_->setWordWrap(true);
    align_ = new QComboBox(this);
    align_->addItems({"Start", "Marker", "Run"});
    anchors_[0] = new QComboBox(this);
    anchors_[1] = new QComboBox(this);
    auto* form = new QFormLayout;
    form->addRow("Align at", align_);
    form->addRow("This log", anchors_[0]);
    form->addRow("Compared", anchors_[1]);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(compare_);
    column->addWidget(name_);
    column->addLayout(form);
    column->addWidget(stop_);

    connect(compare_, &QPushButton::clicked, this, [this] {
        FileDialogRequest request;
        request.title = "Select Data Log File to Compare With";
        request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
        request.file_must_exist = true;
        std::string path = choose_file(request);
        if (!path.empty() && !compare_with(path))
            ui().message_box("Can not open Data Log File", "File Open Error", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
    });
    connect(stop_, &QPushButton::clicked, this, [this] {
        graph_compare_clear();
        refill();
        repaint_();
    });
    connect(align_, &QComboBox::currentIndexChanged, this, [this] { align_changed(); });
    for (QComboBox* box : anchors_)
        connect(box, &QComboBox::currentIndexChanged, this, [this] { align_changed(); });
    refill();
}

bool GraphComparePanel::compare_with(const std::string& path)
{
    if (graph_compare_load(path) != 0)
        return false;
    refill();
    repaint_();
    return true;
}

void GraphComparePanel::refill()
{
    filling_ = true;
    const GraphCompareState& c = g_graph_compare;
    bool on = graph_comparing();
    name_->setText(on ? "Dashed: " + latin1(file_name_part(c.series.log_path)) : "No log compared");
    align_->setCurrentIndex(static_cast<int>(c.align));
    for (int log = 0; log < 2; ++log) {
        QComboBox* box = anchors_[log];
        box->clear();
        for (const CompareAnchor& a : graph_compare_anchors(log, c.align))
            box->addItem(latin1(a.label));
        if (box->count() > 0)
            box->setCurrentIndex(c.chosen[log]);
        box->setEnabled(on && box->count() > 0);
    }
    align_->setEnabled(on);
    stop_->setEnabled(on);
    filling_ = false;
}

void GraphComparePanel::align_changed()
{
    if (filling_ || !graph_comparing())
        return;
    auto align = static_cast<CompareAlign>(align_->currentIndex());
    bool new_mode = align != g_graph_compare.align;
    int first = new_mode ? 0 : anchors_[0]->currentIndex(), second = new_mode ? 0 : anchors_[1]->currentIndex();
    // A log without a marker (or run) to align at keeps the alignment it had.
    graph_compare_align(align, first, second);
    refill();
    repaint_();
}

int run_compare_option(const std::string& compare, const std::string& align)
{
    if (graph_compare_load(compare) != 0) {
        std::fprintf(stderr, "GlanzoFlash: cannot open data log %s\n", compare.c_str());
        return 1;
    }
    std::string error;
    if (!align.empty() && graph_compare_align_text(align, error) != 0) {
        std::fprintf(stderr, "GlanzoFlash: %s\n", error.c_str());
        return 2;
    }
    return 0;
}
