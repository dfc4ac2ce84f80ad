#include "draw/controls.h"

#include <algorithm>
#include <atomic>

namespace {

class NoControls : public ControlHost {
public:
    void create(std::span<const ControlDef>, ControlCommand) override {}
    void destroy(std::span<const ControlDef>) override {}
    bool exists(int) const override { return false; }
    void set_checked(int, bool) override {}
    bool checked(int) const override { return false; }
    void set_enabled(int, bool) override {}
    void set_visible(int, bool) override {}
    void set_text(int, const std::string&) override {}
    std::string text(int) const override { return {}; }
    void set_range(int, int, int, int) override {}
    void set_value(int, int) override {}
    int value(int) const override { return 0; }
    void step(int) override {}
    void set_items(int, const std::vector<std::string>&) override {}
    void focus(int) override {}
};

NoControls no_controls;
std::atomic<ControlHost*> attached{nullptr};

}  // namespace

ControlHost& controls()
{
    ControlHost* host = attached.load(std::memory_order_acquire);
    return host != nullptr ? *host : no_controls;
}

void attach_controls(ControlHost* host) { attached.store(host, std::memory_order_release); }

void RecordingControls::create(std::span<const ControlDef> table, ControlCommand command)
{
    std::lock_guard<std::mutex> lock(lock_);
    for (const ControlDef& s : table) {
        if (controls_.count(s.id) != 0)
            continue;
        Control c;
        c.def = s;
        c.command = command;
        c.enabled = (s.style & CS_DISABLED) == 0;
        c.visible = (s.style & CS_HIDDEN) == 0;
        c.text = s.text != nullptr ? s.text : "";
        controls_[s.id] = c;
        order_.push_back(s.id);
        if (s.style & CS_TAKES_FOCUS)
            focused_ = s.id;
    }
}

void RecordingControls::destroy(std::span<const ControlDef> table)
{
    std::lock_guard<std::mutex> lock(lock_);
    for (const ControlDef& s : table) {
        if (controls_.erase(s.id) == 0)
            continue;
        order_.erase(std::remove(order_.begin(), order_.end(), s.id), order_.end());
        if (focused_ == s.id)
            focused_ = 0;
    }
}

bool RecordingControls::exists(int id) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return controls_.count(id) != 0;
}

// The setters act on an existing control and ignore any other id, as a window system ignores a
// handle that is gone.
void RecordingControls::with(int id, const std::function<void(Control&)>& change)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (auto it = controls_.find(id); it != controls_.end())
        change(it->second);
}

void RecordingControls::set_checked(int id, bool checked)
{
    with(id, [&](Control& c) { c.checked = checked; });
}
bool RecordingControls::checked(int id) const { return get(id).checked; }
void RecordingControls::set_enabled(int id, bool enabled)
{
    with(id, [&](Control& c) { c.enabled = enabled; });
}
void RecordingControls::set_visible(int id, bool visible)
{
    with(id, [&](Control& c) { c.visible = visible; });
}
void RecordingControls::set_text(int id, const std::string& text)
{
    with(id, [&](Control& c) { c.text = text; });
}
std::string RecordingControls::text(int id) const { return get(id).text; }

void RecordingControls::set_range(int id, int min, int max, int page)
{
    with(id, [&](Control& c) {
        c.min = min;
        c.max = max;
        c.page = page;
        c.value = std::clamp(c.value, min, std::max(min, max));
    });
}

void RecordingControls::set_value(int id, int value)
{
    with(id, [&](Control& c) { c.value = value; });
}
int RecordingControls::value(int id) const { return get(id).value; }

void RecordingControls::step(int id)
{
    with(id, [](Control& c) {
        ++c.steps;
        // A progress bar that reaches its end starts again, as the common progress bar does.
        c.value = c.value + 1 > c.max ? c.min : c.value + 1;
    });
}

void RecordingControls::set_items(int id, const std::vector<std::string>& items)
{
    with(id, [&](Control& c) { c.items = items; });
}

void RecordingControls::focus(int id)
{
    std::lock_guard<std::mutex> lock(lock_);
    focused_ = id;
}

RecordingControls::Control RecordingControls::get(int id) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = controls_.find(id);
    return it == controls_.end() ? Control{} : it->second;
}

int RecordingControls::focused() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return focused_;
}

std::vector<int> RecordingControls::ids() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return order_;
}

void RecordingControls::report(int id, int event, int value)
{
    ControlCommand command = get(id).command;
    if (command != nullptr)
        command(id, event, value);
}

void RecordingControls::click(int id)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        auto it = controls_.find(id);
        if (it == controls_.end() || !it->second.enabled)
            return;
        Control& c = it->second;
        if (c.def.kind == ControlKind::CheckBox) {
            c.checked = !c.checked;
        } else if (c.def.kind == ControlKind::RadioButton) {
            // Its group runs from the nearest row at or before it that starts one to the next.
            auto pos = std::find(order_.begin(), order_.end(), id);
            auto first = pos;
            while (first != order_.begin() && !(controls_[*first].def.style & CS_GROUP))
                --first;
            for (auto i = first; i != order_.end(); ++i) {
                if (i != first && (controls_[*i].def.style & CS_GROUP))
                    break;
                if (controls_[*i].def.kind == ControlKind::RadioButton)
                    controls_[*i].checked = false;
            }
            c.checked = true;
        }
    }
    report(id, CONTROL_CLICKED, 0);
}

void RecordingControls::double_click(int id)
{
    click(id);
    if (exists(id))
        report(id, CONTROL_DOUBLE_CLICKED, 0);
}

void RecordingControls::move(int id, int value)
{
    set_value(id, value);
    report(id, CONTROL_VALUE, value);
}

void RecordingControls::scroll(int id, int event, int value) { report(id, event, value); }

void RecordingControls::select(int id, int index)
{
    set_value(id, index);
    report(id, CONTROL_SELECTED, index);
}

void RecordingControls::edit(int id, const std::string& text)
{
    with(id, [&](Control& c) {
        size_t limit = c.def.limit > 0 ? static_cast<size_t>(c.def.limit) : text.size();
        c.text = text.substr(0, limit);
    });
    if (exists(id))
        report(id, CONTROL_EDITED, 0);
}

void RecordingControls::leave(int id)
{
    if (exists(id))
        report(id, CONTROL_FOCUS_LOST, 0);
}
