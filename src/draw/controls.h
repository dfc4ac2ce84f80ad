// Child controls of the displays, as data.
//
// A display (or a dialog) declares its buttons, boxes, bars and sliders as one table of
// ControlDef rows, in the order they are created, and has one command routine that clicks,
// slider moves, scroll actions and selections come back to. The ControlHost turns a table into
// real controls and lets the core set and read their state. The desktop programs attach a host
// that makes Qt widgets on the main window's client area (ui/qt_controls.h); tests attach the
// recording host below; with none attached the displays run without controls.
//
// Threading: create, destroy and the queries run on the window thread. The setters may also be
// called from the display thread (the playback progress bar steps there); the Qt host then carries
// them over to the window thread without waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "draw/canvas.h"

enum class ControlKind : uint8_t {
    PushButton,
    CheckBox,      // with CS_PUSH_LIKE a button that stays down
    RadioButton,   // automatic: one of a group is checked
    GroupBox,
    Label,
    Edit,          // a one-line text field
    ComboBox,      // a drop-down list of items
    ProgressBar,
    Trackbar,      // a horizontal slider with ticks
    ScrollBar,     // vertical unless CS_HORIZONTAL
    TabBar,        // a row of tabs; its items are the tab captions
};

// Styles, combined with |.
enum ControlStyle : uint32_t {
    CS_NONE = 0,
    CS_GROUP = 1u << 0,          // starts a group: a new set of radio buttons, a new tab-stop group
    CS_TAB_STOP = 1u << 1,
    CS_TEXT_LEFT = 1u << 2,      // check box, radio button: the text left of the box
    CS_PUSH_LIKE = 1u << 3,      // check box or radio button drawn as a button
    CS_FLAT = 1u << 4,           // push button without a raised frame
    CS_DOUBLE_CLICKS = 1u << 5,  // push button: a double-click reports CONTROL_DOUBLE_CLICKED
    CS_DISABLED = 1u << 6,       // created disabled
    CS_HORIZONTAL = 1u << 7,     // scroll bar
    CS_TAKES_FOCUS = 1u << 8,    // gets the keyboard focus when created (the last such row wins)
    CS_HIDDEN = 1u << 9,         // created hidden
    CS_CAPTION_IN_FRAME = 1u << 10,  // group box: the caption in the frame's top line, 8 pixels down
};

// What a control does with the keys it gets.
enum class KeyRoute : uint8_t {
    Own,           // its own behaviour only
    // The display keys go on to the main window (which keys is the host's key rule: '1' to '5',
    // and TAB, Enter and Space while logging); the control then handles the key as it would anyway.
    DisplayKeys,
    // Tab, Enter and Esc move the focus to the next control with a tab stop (the previous one
    // with Shift held) and go no further.
    NextControl,
    // As NextControl, on a page with a table: the arrow keys are the table's whichever control
    // has the focus. Up and Down go on to the page (a line up or down), Left and Right do nothing.
    TableNextControl,
};

// One row of a control table.
struct ControlDef {
    int id;            // unique in the program (see CONTROL_ID ranges)
    ControlKind kind;
    const char* text;  // caption; nullptr for none
    int x, y, w, h;    // in the parent's client area
    uint32_t style;
    KeyRoute keys;
    Font font = Font::Default;
    int limit = 0;     // edit field: the most characters it takes (0: no limit)
};

// Where each display's control ids start; a display numbers its controls from its base.
enum ControlIdBase : int {
    CONTROL_IDS_PLAYBACK = 1000,
    CONTROL_IDS_TRIP = 1100,
    CONTROL_IDS_KNOCK = 1200,
    CONTROL_IDS_VE = 1300,
    CONTROL_IDS_ANALYSIS = 1400,
    CONTROL_IDS_FLASH = 1500,
    CONTROL_IDS_DIAGNOSTICS = 1600,
    CONTROL_IDS_GRAPH = 1700,
    CONTROL_IDS_DIALOGS = 2000,   // dialogs and tool windows: 2000 and up, 100 each
};

// What a control reports to its command routine.
enum ControlEvent : int {
    CONTROL_CLICKED,          // push button, check box (after its state changed), radio button
    CONTROL_DOUBLE_CLICKED,   // push button with CS_DOUBLE_CLICKS (after the click of its first press)
    CONTROL_VALUE,            // trackbar moved by the user; value: the new position
    CONTROL_SELECTED,         // combo box or tab bar; value: the chosen index
    CONTROL_EDITED,           // edit field text changed by the user
    // Scroll bar actions; value: the position the action proposes. The bar moves only where the
    // command routine sets it.
    CONTROL_SCROLL_LINE_UP,
    CONTROL_SCROLL_LINE_DOWN,
    CONTROL_SCROLL_PAGE_UP,
    CONTROL_SCROLL_PAGE_DOWN,
    CONTROL_SCROLL_TOP,
    CONTROL_SCROLL_BOTTOM,
    CONTROL_SCROLL_THUMB_TRACK,      // the thumb is being dragged
    CONTROL_SCROLL_THUMB_POSITION,   // the thumb was let go
    // Edit field: the keyboard focus went to another control of the same window (reported once
    // the focus has moved, so the routine may give it back).
    CONTROL_FOCUS_LOST,
};

using ControlCommand = void (*)(int id, int event, int value);

class ControlHost {
public:
    virtual ~ControlHost() = default;
    // Creates the controls of `table` that do not exist yet, in order; their events go to `command`.
    virtual void create(std::span<const ControlDef> table, ControlCommand command) = 0;
    // Destroys the controls of `table` that exist.
    virtual void destroy(std::span<const ControlDef> table) = 0;
    virtual bool exists(int id) const = 0;

    virtual void set_checked(int id, bool checked) = 0;
    virtual bool checked(int id) const = 0;
    virtual void set_enabled(int id, bool enabled) = 0;
    virtual void set_visible(int id, bool visible) = 0;
    virtual void set_text(int id, const std::string& text) = 0;
    virtual std::string text(int id) const = 0;
    // Progress bar, trackbar, scroll bar: the range; `page` is a scroll bar's page size, a
    // trackbar's tick interval.
    virtual void set_range(int id, int min, int max, int page = 0) = 0;
    // The position of a progress bar, trackbar or scroll bar; the chosen item of a combo box or
    // tab bar.
    virtual void set_value(int id, int value) = 0;
    virtual int value(int id) const = 0;
    // A progress bar's position moved on by one.
    virtual void step(int id) = 0;
    // A combo box's or tab bar's items.
    virtual void set_items(int id, const std::vector<std::string>& items) = 0;
    // Gives the keyboard focus to a control (an edit field with its text selected); 0 gives it
    // back to the main window.
    virtual void focus(int id) = 0;
};

// The host the displays use; one that does nothing while none is attached.
ControlHost& controls();
void attach_controls(ControlHost* host);

// Creates or destroys a whole table on the attached host.
inline void create_controls(std::span<const ControlDef> table, ControlCommand command)
{
    controls().create(table, command);
}
inline void destroy_controls(std::span<const ControlDef> table) { controls().destroy(table); }

// A host that keeps each control's state without showing anything, for tests: they read back what
// the displays set and press controls through `click`, `move` and `select`.
class RecordingControls : public ControlHost {
public:
    struct Control {
        ControlDef def;
        ControlCommand command = nullptr;
        bool checked = false;
        bool enabled = true;
        bool visible = true;
        std::string text;
        int min = 0, max = 100, page = 0, value = 0;
        int steps = 0;   // progress steps taken
        std::vector<std::string> items;
    };

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

    // A copy of a control's state (a default one when it does not exist).
    Control get(int id) const;
    int focused() const;
    // What the user does: a click (a check box toggles, a radio button is checked and its group
    // mates cleared), a double-click, a slider or scroll action, a choice.
    void click(int id);
    void double_click(int id);
    void move(int id, int value);
    void scroll(int id, int event, int value);
    void select(int id, int index);
    // Typing: an edit field's text replaced (cut to its limit), then reported as edited.
    void edit(int id, const std::string& text);
    // The focus leaves an edit field.
    void leave(int id);
    // The ids created so far, in creation order, of the controls that exist.
    std::vector<int> ids() const;

private:
    void report(int id, int event, int value);
    void with(int id, const std::function<void(Control&)>& change);

    mutable std::mutex lock_;
    std::map<int, Control> controls_;
    std::vector<int> order_;
    int focused_ = 0;
};
