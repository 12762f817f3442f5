#pragma once

#include <QString>

class QAction;
class QMenu;

namespace qv {

// The status-bar prompt of a command: the first line of the string whose number is the command's.
QString CommandPrompt(int command);

// A menu item that carries its command number (QAction::data) and prompt (status tip).
QAction* AddCommand(QMenu* menu, const QString& text, int command);

// The command number of an item made by AddCommand, 0 for any other.
int CommandOf(const QAction* action);

// The tray menu: Open (the default item), Manual send, About and Shut Down. The caller
// owns it.
QMenu* CreateTrayMenu();

}  // namespace qv
