// Uninstall entries scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanUninstall(RunState&, std::uint32_t, std::wstring_view) {}

}  // namespace bv
