#pragma once

#include <QIcon>

namespace qv {

// The program's window and launcher icon.
QIcon AppIcon();
// The notification-area icon, drawn for small sizes.
QIcon TrayIconImage();

}  // namespace qv
