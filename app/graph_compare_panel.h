// The log graph's "Compare With..." controls: a second log drawn dashed over the graph, and where
// the two are aligned: at their starts, at a marker chosen in each, or at a run's launch chosen
// in each (analysis/graph_compare.h).
#pragma once

#include <QGroupBox>

#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;

class GraphComparePanel : public QGroupBox {
public:
    GraphComparePanel(QWidget* parent, std::function<void()> repaint);

    QPushButton* compare_button() { return compare_; }
    QComboBox* align_box() { return align_; }
    QComboBox* anchor_box(int log) { return anchors_[log]; }
    // The controls set again from the comparison (after the graph's log or picks changed).
    void refill();
    // Compares with the log at `path` (the button's dialog ends here); false when it cannot be read.
    bool compare_with(const std::string& path);

private:
    void align_changed();

    std::function<void()> repaint_;
    QPushButton* compare_;
    QPushButton* stop_;
    QLabel* name_;
    QComboBox* align_;
    QComboBox* anchors_[2];
    bool filling_ = false;
};

// `GlanzoFlash --graph LOG --compare LOG2 [--align start|marker:N|run]`, once LOG is loaded: 0, or
// the exit code with its one line on stderr.
int run_compare_option(const std::string& compare, const std::string& align);
