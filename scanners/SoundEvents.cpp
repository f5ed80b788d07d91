// SoundEvents scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanSoundEvents(RunState&) {}

}  // namespace bv
