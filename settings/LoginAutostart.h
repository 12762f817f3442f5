#pragma once

#include <QString>

namespace qv {

// Starting Quorvane at log-in, as the user's own autostart entry:
// $XDG_CONFIG_HOME/autostart/quorvane.desktop (~/.config when XDG_CONFIG_HOME is unset). The
// file itself is the choice; nothing else stores it.
namespace LoginAutostart {

QString EntryPath();

// The entry exists and neither hides itself nor is switched off by the desktop's own key.
bool IsOn();

// Writes the entry starting `program`, or removes it. False when the file could not be
// written or removed.
bool Set(bool on, const QString& program);

}  // namespace LoginAutostart
}  // namespace qv
