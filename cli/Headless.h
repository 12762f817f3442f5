#pragma once

#include <cstdio>

namespace qv {

struct Arguments;
class ConsoleOutput;

// `watch [--address A | --interface NAME]`: watches the ticked address without a display,
// forwarding each change by the stored method, until SIGTERM, SIGINT or SIGHUP; then sends the
// off-line notice that is owed and ends with 0. Its lines go to `say`.
int WatchCommand(const Arguments& args, ConsoleOutput& say);
// `check [--probe]`: reads the settings and reports on `out` what forwarding would do: the method,
// the target (its password masked) and whether its URL is well formed, the ticked address and
// whether it is on this machine, whether the keyring gives the passwords it keeps; with --probe
// the connection check against the target too. 0 when all of it would work, else 1.
int CheckCommand(const Arguments& args, std::FILE* out, ConsoleOutput& say);
// `send`: forwards the ticked address once, now. 0 when the host took it.
int SendCommand(ConsoleOutput& say);
// `offline`: sends the off-line notice once, now. 0 when the host took it.
int OfflineCommand(ConsoleOutput& say);

}  // namespace qv
