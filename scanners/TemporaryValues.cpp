// Temporary values scanners (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanMruList(RunState&, std::wstring_view) {}
void ScanInvalidValues(RunState&, std::uint32_t, std::wstring_view) {}

}  // namespace bv
