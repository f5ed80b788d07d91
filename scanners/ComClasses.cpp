// ComClasses scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanComClasses(RunState&) {}

}  // namespace bv
