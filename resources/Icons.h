#pragma once

#include <QIcon>

namespace qv {

// Icon group 102: the program's window and launcher icon.
QIcon AppIcon();
// Icon group 101: the notification-area icon, drawn for small sizes.
QIcon TrayIconImage();

}  // namespace qv
