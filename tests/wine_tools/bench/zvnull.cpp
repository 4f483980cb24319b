// zvnull: the empty program that the benchmark sets Zelvantorix.exe against.
// It is built like the program (static C and C++ runtimes, the same start-up
// code, the same link options) and imports from the same system DLLs:
// KERNEL32, ADVAPI32, USER32, SHELL32, SHLWAPI and msvcrt. So the loader maps
// and binds what it maps and binds for the program, and then nothing else
// happens: main calls none of the imported functions and ends with 0.
// Built as zvwait.exe it also makes the program's three fixed waits, so the
// benchmark can take away what those waits really cost under this system.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstddef>
#include <cstring>

namespace {

using Import = void (*)();

// One function of each DLL. main reads the table, so neither the compiler nor
// the linker's section collection drops an import; void (*)() takes any
// function type without a cast warning.
Import const volatile kImports[] = {
    reinterpret_cast<Import>(&GetVersionExA),     // KERNEL32
    reinterpret_cast<Import>(&RegOpenKeyExA),     // ADVAPI32
    reinterpret_cast<Import>(&FindWindowA),       // USER32
    reinterpret_cast<Import>(&SHGetFolderPathA),  // SHELL32
    reinterpret_cast<Import>(&PathAppendA),       // SHLWAPI
    reinterpret_cast<Import>(&std::strlen),       // msvcrt
};

}  // namespace

int main() {
#if defined(ZV_WAITS)
  Sleep(40);
  Sleep(250);
  Sleep(5000);
#endif
  // 0 when the loader bound every import, which it must have to get here.
  int unbound = 0;
  for (std::size_t i = 0; i < sizeof kImports / sizeof kImports[0]; ++i) {
    if (kImports[i] == nullptr) ++unbound;
  }
  return unbound;
}
