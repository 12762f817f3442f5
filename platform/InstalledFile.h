#pragma once

#include <QString>

namespace qv {

// A file installed with the program: `name` in <prefix>/`folder`/quorvane/, the prefix being the
// folder above the one of the running program; else `built`, where the build made it (a program
// run from the build tree).
QString InstalledFile(const char* folder, const char* name, const char* built);

}  // namespace qv
