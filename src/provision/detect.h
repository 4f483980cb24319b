#pragma once

#include "platform/os.h"

namespace zv {

constexpr char kNetFx35SetupKey[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5";
constexpr char kNetFx35ServicePackValue[] = "SP";

// True when the framework's setup has recorded Service Pack 1: the value
// "SP" is a REG_DWORD holding exactly 1. Any failure reads as "missing".
bool IsNetFx35Installed(Os& os);

}  // namespace zv
