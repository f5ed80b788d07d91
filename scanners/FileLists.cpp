// FileLists scanner (not built yet).
#include "scanners/Scanners.h"

namespace bv {

void ScanSharedDlls(RunState&) {}
void ScanInstallerFolders(RunState&) {}
void ScanHtmlHelp(RunState&) {}
void ScanFonts(RunState&) {}

}  // namespace bv
