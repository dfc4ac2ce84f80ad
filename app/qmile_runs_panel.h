// The "Runs" panel beside the quarter-mile graph: every run of the open log and of logs added
// with "Add Log...", with their 60 ft, 1/8 and 1/4 mile times and trap speeds. A click on a run
// makes its launch row the table's top row (the graph follows); the tick in its first column
// draws it dashed over the graph and sets its figures against the graph's below the list.
#pragma once

#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

constexpr int RUNS_PANEL_WIDTH = 400;

class QmileRunsPanel : public QWidget {
public:
    explicit QmileRunsPanel(QWidget* parent);
    ~QmileRunsPanel() override;

    QTreeWidget* runs() { return runs_; }
    QTreeWidget* comparison() { return comparison_; }
    QPushButton* add_log_button() { return add_; }
    // The list and the comparison filled again from the run list and the graph.
    void refill();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void clicked(QTreeWidgetItem* item, int column);
    void ticked(QTreeWidgetItem* item, int column);

    QTreeWidget* runs_;
    QTreeWidget* comparison_;
    QPushButton* add_;
    bool filling_ = false;
};

// Column of the runs list that holds the compare tick.
constexpr int RUNS_TICK_COLUMN = 0;
