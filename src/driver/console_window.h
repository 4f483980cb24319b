#pragma once

#include "platform/os.h"

namespace zv {

// Both titles are the same in every run, so the search finds the window of
// the console this program writes to, not a window of another program.
constexpr char kTemporaryConsoleTitle[] = "Zelvantorix-{5D2E8A61-93C4-4B7F-8E06-C1F47A9B3D52}";
constexpr size_t kConsoleTitleCapacity = 1024;
constexpr unsigned kTitlePauseMs = 40;
constexpr unsigned kMinimizePauseMs = 250;

// Minimizes the console window the program runs in: the console gets a
// unique title for a moment, the top-level window bearing it is looked up,
// the old title goes back, and the window is shown minimized. Nothing is
// reported, whatever fails.
void MinimizeConsoleWindow(Os& os);

}  // namespace zv
