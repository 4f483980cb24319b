// Zelvantorix: makes sure the .NET Framework 3.5 SP1 is on this machine.
// Takes no arguments (any given are ignored) and reads no input.
#include "driver/run.h"

int main() { return zv::RunZelvantorix(zv::DefaultOs()); }
