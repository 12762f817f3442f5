#include "platform/VectorState.h"

#if defined(__x86_64__) || defined(__i386__)
// The C library's header is written for C, whose _Bool is C++'s bool; GCC accepts _Bool in C++
// too, Clang does not.
#if defined(__clang__)
#define _Bool bool
#endif
#include <sys/platform/x86.h>
#if defined(__clang__)
#undef _Bool
#endif
#endif

namespace qv {

void ClearUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
    // The C library has already asked the processor (and the kernel) what may be used; asking
    // the processor again costs far more in a virtual machine, where each question traps.
    static const bool hasAvx = CPU_FEATURE_ACTIVE(AVX);
    if (hasAvx) {
        // The lower halves, all that code built for SSE uses, are left as they are.
        asm volatile("vzeroupper");
    }
#endif
}

}  // namespace qv
