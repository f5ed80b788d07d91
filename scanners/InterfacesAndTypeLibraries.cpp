// InterfacesAndTypeLibraries scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanInterfaces(RunState&) {}
void ScanTypeLibraries(RunState&) {}

}  // namespace bv
