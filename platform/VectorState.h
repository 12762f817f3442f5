#pragma once

namespace qv {

// Clears the upper halves of the processor's AVX registers. Some library code (reading a settings
// file is one) returns with them still marked in use, and until they are cleared every SSE
// instruction that follows runs far slower on some processors: a long refresh took several times
// as long. Nothing is done on processors without AVX.
void ClearUpperVectorState();

}  // namespace qv
