#include "platform/VectorState.h"

namespace qv {

void ClearUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) {
        // The lower halves, all that code built for SSE uses, are left as they are.
        asm volatile("vzeroupper");
    }
#endif
}

}  // namespace qv
