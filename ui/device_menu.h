// The device part of a CommPort menu: the USB serial devices of the machine after the COM items.
//
// Adapters are plugged in and out while a program runs, so the part is built again each time the
// menu opens, never only at start-up.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <QString>

class QAction;
class QMenu;
class QObject;

// Makes one item of the window's menu: text and command id.
using AddMenuItem = std::function<QAction*(QMenu* menu, const QString& text, int id)>;

// Removes every item after the first `com_items` items of `menu` (the device part put there
// before) and the ids of those devices from `commands` and `actions`, then adds a separator and
// the devices there are now, with ids from `first_id` on, through `add`.
void refill_device_items(QMenu* menu, int com_items, int first_id, std::map<int, std::string>& commands,
                         std::map<int, QAction*>& actions, const AddMenuItem& add);

// Refills the device part of `menu` each time it is about to show; `after` (if any) runs after
// each refill (to grey the new items, for one).
void refill_device_items_on_show(QObject* owner, QMenu* menu, int com_items, int first_id,
                                 std::map<int, std::string>& commands, std::map<int, QAction*>& actions,
                                 AddMenuItem add, std::function<void()> after = {});
