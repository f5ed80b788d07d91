// ExtensionsAndClasses scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanFileExts(RunState&) {}
void ScanClassKeys(RunState&) {}

}  // namespace bv
