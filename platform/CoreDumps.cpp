#include "platform/CoreDumps.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <cstring>

namespace qv {

bool KeepSecretsOutOfCoreDumps() {
    const char* asked = std::getenv(kCoreDumpsVariable);
    if (asked != nullptr && std::strcmp(asked, "1") == 0) {
        return false;
    }
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

}  // namespace qv
