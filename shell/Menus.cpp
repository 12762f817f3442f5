#include "shell/Menus.h"

#include <QAction>
#include <QMenu>

#include "resources/Ids.h"
#include "resources/StringTable.h"

namespace qv {

QString CommandPrompt(int command) {
    const QString text = LoadString(command);
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.left(newline);
}

QAction* AddCommand(QMenu* menu, const QString& text, int command) {
    QAction* action = menu->addAction(text);
    action->setData(command);
    action->setStatusTip(CommandPrompt(command));
    return action;
}

int CommandOf(const QAction* action) {
    return action ? action->data().toInt() : 0;
}

QMenu* CreateTrayMenu() {
    auto* menu = new QMenu(QStringLiteral("&Tray"));
    QAction* open = AddCommand(menu, QStringLiteral("&Open Quorvane"), kCmdOpen);
    AddCommand(menu, QStringLiteral("&Manual send IP Address to URL"), kCmdTrayManualSend);
    menu->addSeparator();
    AddCommand(menu, QStringLiteral("&About Quorvane"), kCmdAbout);
    menu->addSeparator();
    AddCommand(menu, QStringLiteral("Shut &Down Quorvane"), kCmdShutDown);
    menu->setDefaultAction(open);  // drawn bold; a double click on the icon runs it
    return menu;
}

}  // namespace qv
