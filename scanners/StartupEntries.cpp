// Startup entries scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanRunKeys(RunState&, std::uint32_t) {}
void ScanStartupReg(RunState&) {}

}  // namespace bv
