#include "ui/device_menu.h"

#include <QAction>
#include <QMenu>

#include "link/serial_devices.h"

void refill_device_items(QMenu* menu, int com_items, int first_id, std::map<int, std::string>& commands,
                         std::map<int, QAction*>& actions, const AddMenuItem& add)
{
    QList<QAction*> items = menu->actions();
    for (qsizetype i = com_items; i < items.size(); ++i) {
        menu->removeAction(items[i]);
        items[i]->deleteLater();
    }
    for (const auto& [id, path] : commands)
        actions.erase(id);
    commands.clear();

    std::vector<std::string> devices = serial_device_names();
    if (!devices.empty())
        menu->addSeparator();
    int id = first_id;
    for (const std::string& path : devices) {
        add(menu, QString::fromLocal8Bit(path.c_str()), id);
        commands[id++] = path;
    }
}

void refill_device_items_on_show(QObject* owner, QMenu* menu, int com_items, int first_id,
                                 std::map<int, std::string>& commands, std::map<int, QAction*>& actions,
                                 AddMenuItem add, std::function<void()> after)
{
    QObject::connect(menu, &QMenu::aboutToShow, owner, [=, &commands, &actions] {
        refill_device_items(menu, com_items, first_id, commands, actions, add);
        if (after)
            after();
    });
}
