#pragma once

namespace qv {

// The environment variable by which a user asks for core dumps of the program ("1").
inline constexpr const char* kCoreDumpsVariable = "QUORVANE_CORE_DUMPS";

// The process holds passwords (the settings, the keyring's answers, the log-in typed at a
// challenge): it is made non-dumpable, as password managers do, so that no core file and no
// other process of the user (ptrace, /proc/<pid>/mem) can read them. Left dumpable only when the
// user asks for core dumps with QUORVANE_CORE_DUMPS=1. Returns whether the process is protected.
bool KeepSecretsOutOfCoreDumps();

}  // namespace qv
