// helper.exe: runs the package named on its command line from its own
// folder and exits with the package's exit code (see helper/helper.h).
#include "helper/helper.h"

int main() { return zv::RunHelper(zv::DefaultOs()); }
