#pragma once

#include <QString>
#include <QStringList>

namespace qv {

// The old help-file naming rule: a path whose extension starts with ".hl" (".hlp", ".HLP") gets
// the extension ".chm"; anything else, and a path without an extension, is returned unchanged.
// Only the last path component is looked at, so a dot in a folder name is never an extension.
QString RewriteHelpExtension(const QString& path);

// The help file is an HTML page installed with the program. These are the places it may be,
// most specific first: beside the program (a build tree), under the installation prefix that
// holds the program's folder, then the system's data folders.
QStringList HelpFileCandidates(const QString& programFolder);

// The first candidate that exists, or an empty string when none does.
QString FindHelpFile(const QString& programFolder);

inline constexpr const char* kHelpFileName = "quorvane.html";

}  // namespace qv
