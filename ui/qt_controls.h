// The realiser: turns the displays' control tables into Qt widgets on a parent widget (the main
// window's client area, or a dialog), reports their clicks, moves and choices to the table's
// command routine, and routes their keys as each row asks.
//
// Threading: widgets live on the window thread. A setter called from another thread is carried
// over to it and returns at once; queries are answered on the window thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

#include "draw/controls.h"

class QButtonGroup;

class QtControls : public QObject, public ControlHost {
public:
    explicit QtControls(QWidget* parent);
    ~QtControls() override;

    // Where the display keys go (KeyRoute::Display): the main window's character handler.
    void set_key_target(std::function<void(char)> target) { key_target_ = std::move(target); }
    // Which keys those are (datalog's display_key in the program); none are handed on while unset.
    void set_key_rule(bool (*rule)(char c)) { key_rule_ = rule; }
    // The realised widget of a control (tests click it), or nullptr.
    QWidget* widget(int id) const;

    void create(std::span<const ControlDef> table, ControlCommand command) override;
    void destroy(std::span<const ControlDef> table) override;
    bool exists(int id) const override;
    void set_checked(int id, bool checked) override;
    bool checked(int id) const override;
    void set_enabled(int id, bool enabled) override;
    void set_visible(int id, bool visible) override;
    void set_text(int id, const std::string& text) override;
    std::string text(int id) const override;
    void set_range(int id, int min, int max, int page) override;
    void set_value(int id, int value) override;
    int value(int id) const override;
    void step(int id) override;
    void set_items(int id, const std::vector<std::string>& items) override;
    void focus(int id) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        ControlDef def;
        ControlCommand command = nullptr;
        QPointer<QWidget> widget;
        int value = 0;   // a scroll bar's position as the command routine last set it
    };

    QWidget* make(const ControlDef& def, QButtonGroup*& radio_group);
    void connect_events(Entry& e);
    void report(int id, int event, int value);
    // Runs `work` now on the window thread, or carries it there.
    bool elsewhere(std::function<void()> work);
    Entry* find(int id);
    const Entry* find(int id) const;
    Entry* find(QObject* widget);
    void focus_next(QWidget* from, bool backwards);

    QPointer<QWidget> parent_;
    std::map<int, Entry> entries_;
    std::vector<int> order_;       // creation order: the tab order
    std::function<void(char)> key_target_;
    bool (*key_rule_)(char c) = nullptr;
};
