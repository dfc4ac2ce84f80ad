#include "ui/qt_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QThread>

#include "ui/qt_canvas.h"
#include "ui/window_thread.h"

namespace {

QString qtext(const char* s) { return s != nullptr ? QString::fromLatin1(s) : QString(); }
QString qtext(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// The boxes, labels and frames take the window's colours, as the displays' own texts do.
void window_colours(QWidget* w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, QColor(TEXT.r, TEXT.g, TEXT.b));
    p.setColor(QPalette::Window, QColor(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b));
    // A disabled box or caption is seen to be so.
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
    w->setPalette(p);
}

// A group box whose caption sits in its frame's top line, the line half a caption below the box's
// top edge: what the layouts that put text right under that edge leave room for.
constexpr char CAPTION_IN_FRAME[] =
    "QGroupBox { border: 1px solid rgb(110, 110, 110); border-radius: 2px; margin-top: 8px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0px 2px; }";

// The scroll event for a slider action.
int scroll_event(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return CONTROL_SCROLL_LINE_UP;
    case QAbstractSlider::SliderSingleStepAdd:
        return CONTROL_SCROLL_LINE_DOWN;
    case QAbstractSlider::SliderPageStepSub:
        return CONTROL_SCROLL_PAGE_UP;
    case QAbstractSlider::SliderPageStepAdd:
        return CONTROL_SCROLL_PAGE_DOWN;
    case QAbstractSlider::SliderToMinimum:
        return CONTROL_SCROLL_TOP;
    case QAbstractSlider::SliderToMaximum:
        return CONTROL_SCROLL_BOTTOM;
    case QAbstractSlider::SliderMove:
        return CONTROL_SCROLL_THUMB_TRACK;
    default:
        return -1;
    }
}

// The character a key press stands for, as the main window takes characters; 0 for none.
char key_character(const QKeyEvent* k)
{
    switch (k->key()) {
    case Qt::Key_Tab:
        return '\t';
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return '\r';
    default:
        break;
    }
    if (k->modifiers() & (Qt::AltModifier | Qt::ControlModifier))
        return 0;
    QString t = k->text();
    return t.size() == 1 && t.at(0).unicode() < 128 ? static_cast<char>(t.at(0).unicode()) : 0;
}

bool is_arrow_key(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right;
}

bool is_navigation_key(int key)
{
    return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
           key == Qt::Key_Escape;
}

}  // namespace

QtControls::QtControls(QWidget* parent) : parent_(parent) {}

QtControls::~QtControls()
{
    for (auto& [id, e] : entries_)
        delete e.widget.data();
}

QWidget* QtControls::make(const ControlDef& s, QButtonGroup*& radio_group)
{
    QWidget* w = nullptr;
    switch (s.kind) {
    case ControlKind::PushButton: {
        auto* b = new QPushButton(qtext(s.text), parent_);
        b->setFlat((s.style & CS_FLAT) != 0);
        b->setAutoDefault(false);
        if (s.style & CS_FLAT) {
            // Without its raised face a button still covers what is drawn under it, in the
            // window's colours.
            window_colours(b);
            QPalette p = b->palette();
            p.setColor(QPalette::ButtonText, QColor(TEXT.r, TEXT.g, TEXT.b));
            p.setColor(QPalette::Button, QColor(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b));
            b->setPalette(p);
            b->setAutoFillBackground(true);
        }
        w = b;
        break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
        QAbstractButton* b;
        if (s.style & CS_PUSH_LIKE) {
            auto* p = new QPushButton(qtext(s.text), parent_);
            p->setCheckable(true);
            p->setAutoDefault(false);
            b = p;
        } else {
            if (s.kind == ControlKind::CheckBox)
                b = new QCheckBox(qtext(s.text), parent_);
            else
                b = new QRadioButton(qtext(s.text), parent_);
            window_colours(b);
            if (s.style & CS_TEXT_LEFT)
                b->setLayoutDirection(Qt::RightToLeft);
        }
        if (s.kind == ControlKind::RadioButton) {
            // Radio buttons are exclusive within their group of rows, not among all siblings.
            b->setAutoExclusive(false);
            if (radio_group == nullptr || (s.style & CS_GROUP))
                radio_group = new QButtonGroup(b);
            radio_group->addButton(b);
        }
        w = b;
        break;
    }
    case ControlKind::GroupBox: {
        auto* g = new QGroupBox(qtext(s.text), parent_);
        window_colours(g);
        if (s.style & CS_CAPTION_IN_FRAME)
            g->setStyleSheet(CAPTION_IN_FRAME);
        w = g;
        break;
    }
    case ControlKind::Label: {
        auto* l = new QLabel(qtext(s.text), parent_);
        window_colours(l);
        w = l;
        break;
    }
    case ControlKind::Edit: {
        auto* e = new QLineEdit(qtext(s.text), parent_);
        if (s.limit > 0)
            e->setMaxLength(s.limit);
        w = e;
        break;
    }
    case ControlKind::ComboBox:
        w = new QComboBox(parent_);
        break;
    case ControlKind::ProgressBar: {
        auto* p = new QProgressBar(parent_);
        p->setTextVisible(false);
        p->setRange(0, 100);
        p->setValue(0);
        w = p;
        break;
    }
    case ControlKind::Trackbar: {
        auto* t = new QSlider(Qt::Horizontal, parent_);
        t->setTickPosition(QSlider::TicksBelow);
        t->setRange(0, 100);
        w = t;
        break;
    }
    case ControlKind::ScrollBar:
        w = new QScrollBar((s.style & CS_HORIZONTAL) ? Qt::Horizontal : Qt::Vertical, parent_);
        break;
    case ControlKind::TabBar: {
        auto* t = new QTabBar(parent_);
        t->setDrawBase(false);
        w = t;
        break;
    }
    }
    if (s.kind != ControlKind::RadioButton && (s.style & CS_GROUP))
        radio_group = nullptr;
    if (s.font != Font::Default)
        w->setFont(display_font(s.font));
    w->setGeometry(s.x, s.y, s.w, s.h);
    w->setEnabled((s.style & CS_DISABLED) == 0);
    bool focusable = (s.style & CS_TAB_STOP) || s.kind == ControlKind::Edit || s.kind == ControlKind::ComboBox;
    w->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::ClickFocus);
    if (s.kind == ControlKind::ProgressBar || s.kind == ControlKind::GroupBox || s.kind == ControlKind::Label)
        w->setFocusPolicy(Qt::NoFocus);
    if (s.kind == ControlKind::GroupBox)
        w->lower();   // the frame stays behind the controls inside it
    w->setVisible((s.style & CS_HIDDEN) == 0);
    w->installEventFilter(this);
    return w;
}

void QtControls::connect_events(Entry& e)
{
    int id = e.def.id;
    QWidget* w = e.widget;
    switch (e.def.kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
        connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this,
                [this, id] { report(id, CONTROL_CLICKED, 0); });
        break;
    case ControlKind::Edit:
        connect(static_cast<QLineEdit*>(w), &QLineEdit::textEdited, this, [this, id] { report(id, CONTROL_EDITED, 0); });
        break;
    case ControlKind::ComboBox:
        connect(static_cast<QComboBox*>(w), &QComboBox::activated, this,
                [this, id](int index) { report(id, CONTROL_SELECTED, index); });
        break;
    case ControlKind::TabBar:
        connect(static_cast<QTabBar*>(w), &QTabBar::tabBarClicked, this, [this, id](int index) {
            if (index >= 0)
                report(id, CONTROL_SELECTED, index);
        });
        break;
    case ControlKind::Trackbar:
        connect(static_cast<QSlider*>(w), &QSlider::valueChanged, this, [this, id](int v) {
            if (Entry* en = find(id))
                en->value = v;
            report(id, CONTROL_VALUE, v);
        });
        break;
    case ControlKind::ScrollBar: {
        auto* bar = static_cast<QScrollBar*>(w);
        // The bar moves only where the command routine puts it (a drag moves the thumb meanwhile).
        connect(bar, &QAbstractSlider::actionTriggered, this, [this, id, bar](int action) {
            int event = scroll_event(action);
            if (event < 0)
                return;
            report(id, event, bar->sliderPosition());
            if (Entry* en = find(id); en != nullptr && event != CONTROL_SCROLL_THUMB_TRACK)
                bar->setSliderPosition(en->value);
        });
        connect(bar, &QAbstractSlider::sliderReleased, this, [this, id, bar] {
            report(id, CONTROL_SCROLL_THUMB_POSITION, bar->sliderPosition());
            if (Entry* en = find(id))
                bar->setSliderPosition(en->value);
        });
        break;
    }
    default:
        break;
    }
}

void QtControls::create(std::span<const ControlDef> table, ControlCommand command)
{
    if (parent_ == nullptr)
        return;
    QButtonGroup* radio_group = nullptr;
    QWidget* take_focus = nullptr;
    for (const ControlDef& s : table) {
        if (entries_.count(s.id) != 0)
            continue;
        Entry& e = entries_[s.id];
        e.def = s;
        e.command = command;
        e.widget = make(s, radio_group);
        connect_events(e);
        order_.push_back(s.id);
        if (s.style & CS_TAKES_FOCUS)
            take_focus = e.widget;
    }
    if (take_focus != nullptr)
        take_focus->setFocus();
}

void QtControls::destroy(std::span<const ControlDef> table)
{
    for (const ControlDef& s : table) {
        auto it = entries_.find(s.id);
        if (it == entries_.end())
            continue;
        QWidget* w = it->second.widget;
        bool had_focus = w != nullptr && w->hasFocus();
        entries_.erase(it);
        std::erase(order_, s.id);
        delete w;
        if (had_focus && parent_ != nullptr)
            parent_->setFocus();
    }
}

QtControls::Entry* QtControls::find(int id)
{
    auto it = entries_.find(id);
    return it == entries_.end() || it->second.widget == nullptr ? nullptr : &it->second;
}

const QtControls::Entry* QtControls::find(int id) const
{
    auto it = entries_.find(id);
    return it == entries_.end() || it->second.widget == nullptr ? nullptr : &it->second;
}

QtControls::Entry* QtControls::find(QObject* widget)
{
    for (auto& [id, e] : entries_)
        if (e.widget == widget)
            return &e;
    return nullptr;
}

QWidget* QtControls::widget(int id) const
{
    const Entry* e = find(id);
    return e != nullptr ? e->widget.data() : nullptr;
}

bool QtControls::exists(int id) const { return find(id) != nullptr; }

bool QtControls::elsewhere(std::function<void()> work)
{
    if (QThread::currentThread() == thread())
        return false;
    QPointer<QtControls> self(this);
    post_to_window_thread([self, work = std::move(work)] {
        if (self != nullptr)
            work();
    });
    return true;
}

void QtControls::report(int id, int event, int value)
{
    Entry* e = find(id);
    if (e != nullptr && e->command != nullptr)
        e->command(id, event, value);
}

void QtControls::set_checked(int id, bool checked)
{
    if (elsewhere([=, this] { set_checked(id, checked); }))
        return;
    if (Entry* e = find(id))
        if (auto* b = qobject_cast<QAbstractButton*>(e->widget.data())) {
            QSignalBlocker quiet(b);
            b->setChecked(checked);
        }
}

bool QtControls::checked(int id) const
{
    const Entry* e = find(id);
    auto* b = e != nullptr ? qobject_cast<QAbstractButton*>(e->widget.data()) : nullptr;
    return b != nullptr && b->isChecked();
}

void QtControls::set_enabled(int id, bool enabled)
{
    if (elsewhere([=, this] { set_enabled(id, enabled); }))
        return;
    if (Entry* e = find(id))
        e->widget->setEnabled(enabled);
}

void QtControls::set_visible(int id, bool visible)
{
    if (elsewhere([=, this] { set_visible(id, visible); }))
        return;
    if (Entry* e = find(id))
        e->widget->setVisible(visible);
}

void QtControls::set_text(int id, const std::string& text)
{
    if (elsewhere([=, this] { set_text(id, text); }))
        return;
    Entry* e = find(id);
    if (e == nullptr)
        return;
    QWidget* w = e->widget;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(qtext(text));
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(qtext(text));
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(qtext(text));
    else if (auto* ed = qobject_cast<QLineEdit*>(w))
        ed->setText(qtext(text));
}

std::string QtControls::text(int id) const
{
    const Entry* e = find(id);
    if (e == nullptr)
        return {};
    QWidget* w = e->widget;
    QString t;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        t = b->text();
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        t = g->title();
    else if (auto* l = qobject_cast<QLabel*>(w))
        t = l->text();
    else if (auto* ed = qobject_cast<QLineEdit*>(w))
        t = ed->text();
    else if (auto* c = qobject_cast<QComboBox*>(w))
        t = c->currentText();
    return t.toLatin1().toStdString();
}

void QtControls::set_range(int id, int min, int max, int page)
{
    if (elsewhere([=, this] { set_range(id, min, max, page); }))
        return;
    Entry* e = find(id);
    if (e == nullptr)
        return;
    QWidget* w = e->widget;
    if (auto* p = qobject_cast<QProgressBar*>(w)) {
        p->setRange(min, max);
    } else if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
        QSignalBlocker quiet(s);
        s->setRange(min, max);
        if (auto* t = qobject_cast<QSlider*>(w); t != nullptr && page > 0)
            t->setTickInterval(page);
        if (qobject_cast<QScrollBar*>(w) != nullptr && page > 0)
            s->setPageStep(page);
        e->value = s->value();
    }
}

void QtControls::set_value(int id, int value)
{
    if (elsewhere([=, this] { set_value(id, value); }))
        return;
    Entry* e = find(id);
    if (e == nullptr)
        return;
    QWidget* w = e->widget;
    if (auto* p = qobject_cast<QProgressBar*>(w)) {
        p->setValue(value);
    } else if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
        QSignalBlocker quiet(s);
        s->setValue(value);
        e->value = s->value();
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        QSignalBlocker quiet(c);
        c->setCurrentIndex(value);
    } else if (auto* t = qobject_cast<QTabBar*>(w)) {
        QSignalBlocker quiet(t);
        t->setCurrentIndex(value);
    }
}

int QtControls::value(int id) const
{
    const Entry* e = find(id);
    if (e == nullptr)
        return 0;
    QWidget* w = e->widget;
    if (auto* p = qobject_cast<QProgressBar*>(w))
        return p->value();
    if (auto* s = qobject_cast<QAbstractSlider*>(w))
        return s->value();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentIndex();
    if (auto* t = qobject_cast<QTabBar*>(w))
        return t->currentIndex();
    return 0;
}

void QtControls::step(int id)
{
    if (elsewhere([=, this] { step(id); }))
        return;
    Entry* e = find(id);
    auto* p = e != nullptr ? qobject_cast<QProgressBar*>(e->widget.data()) : nullptr;
    if (p == nullptr)
        return;
    // Past its end the bar starts again from the beginning.
    p->setValue(p->value() + 1 > p->maximum() ? p->minimum() : p->value() + 1);
}

void QtControls::set_items(int id, const std::vector<std::string>& items)
{
    if (elsewhere([=, this] { set_items(id, items); }))
        return;
    Entry* e = find(id);
    if (e == nullptr)
        return;
    if (auto* c = qobject_cast<QComboBox*>(e->widget.data())) {
        QSignalBlocker quiet(c);
        c->clear();
        for (const std::string& s : items)
            c->addItem(qtext(s));
    } else if (auto* t = qobject_cast<QTabBar*>(e->widget.data())) {
        QSignalBlocker quiet(t);
        while (t->count() > 0)
            t->removeTab(0);
        for (const std::string& s : items)
            t->addTab(qtext(s));
    }
}

void QtControls::focus(int id)
{
    if (elsewhere([=, this] { focus(id); }))
        return;
    if (id == 0) {
        if (parent_ != nullptr)
            parent_->setFocus();
        return;
    }
    if (Entry* e = find(id)) {
        e->widget->setFocus();
        if (auto* ed = qobject_cast<QLineEdit*>(e->widget.data()))
            ed->selectAll();
    }
}

void QtControls::focus_next(QWidget* from, bool backwards)
{
    std::vector<QWidget*> stops;
    for (int id : order_) {
        const Entry* e = find(id);
        if (e != nullptr && (e->def.style & CS_TAB_STOP) && e->widget->isEnabled() && e->widget->isVisible())
            stops.push_back(e->widget);
    }
    if (stops.empty())
        return;
    auto it = std::find(stops.begin(), stops.end(), from);
    size_t n = stops.size();
    size_t at = it == stops.end() ? 0 : static_cast<size_t>(it - stops.begin());
    size_t next = it == stops.end() ? 0 : backwards ? (at + n - 1) % n : (at + 1) % n;
    stops[next]->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
}

bool QtControls::eventFilter(QObject* watched, QEvent* event)
{
    QEvent::Type type = event->type();
    bool key = type == QEvent::KeyPress || type == QEvent::KeyRelease;
    Entry* e = find(watched);
    if (e == nullptr)
        return false;

    if (type == QEvent::FocusOut && e->def.kind == ControlKind::Edit) {
        // Only a move to another control counts: the window losing the focus to a message box or
        // another program does not. Reported once the move is over, so the routine may take the
        // focus back.
        Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            QPointer<QtControls> self(this);
            int id = e->def.id;
            QMetaObject::invokeMethod(
                this,
                [self, id] {
                    if (self != nullptr)
                        self->report(id, CONTROL_FOCUS_LOST, 0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
    if (type == QEvent::MouseButtonDblClick && e->def.kind == ControlKind::PushButton &&
        (e->def.style & CS_DOUBLE_CLICKS)) {
        // The second press of a double-click reports only the double-click.
        report(e->def.id, CONTROL_DOUBLE_CLICKED, 0);
        return true;
    }
    if (!key)
        return false;
    auto* k = static_cast<QKeyEvent*>(event);

    switch (e->def.keys) {
    case KeyRoute::TableNextControl:
        if (is_arrow_key(k->key())) {
            // Not the control's: a button would move the focus, a scroll bar would take Left and
            // Right as lines. The page scrolls its table for Up and Down.
            if (type == QEvent::KeyPress && (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down)) {
                QKeyEvent to_page(QEvent::KeyPress, k->key(), k->modifiers());
                QCoreApplication::sendEvent(parent_, &to_page);
            }
            return true;
        }
        [[fallthrough]];
    case KeyRoute::NextControl:
        if (!is_navigation_key(k->key()))
            return false;
        if (type == QEvent::KeyPress) {
            bool backwards = k->key() == Qt::Key_Backtab || (k->modifiers() & Qt::ShiftModifier);
            focus_next(e->widget, backwards);
        }
        return true;
    case KeyRoute::DisplayKeys: {
        if (type != QEvent::KeyPress)
            return false;
        char c = key_character(k);
        if (c == 0 || key_rule_ == nullptr || !key_rule_(c))
            return false;
        // Handed on as the main window would get it, after the control has had the key.
        QPointer<QtControls> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, c] {
                if (self != nullptr && self->key_target_)
                    self->key_target_(c);
            },
            Qt::QueuedConnection);
        // A button presses on Space; every other key handed on means nothing to the control, and
        // were it left to travel up to the window it would arrive there twice.
        return !(c == ' ' && qobject_cast<QAbstractButton*>(e->widget.data()) != nullptr);
    }
    default:
        return false;
    }
}
