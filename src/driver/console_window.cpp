#include "driver/console_window.h"

#include "common/text.h"

namespace zv {

void MinimizeConsoleWindow(Os& os) {
  char temporaryTitle[kConsoleTitleCapacity] = {};
  char savedTitle[kConsoleTitleCapacity] = {};
  FormatText(temporaryTitle, sizeof temporaryTitle, "%s", kTemporaryConsoleTitle);
  // The system answers an empty title and a failed read alike, so when
  // nothing can be read the empty title goes back: that is the old title
  // in the first case, and in the second there is no console whose title
  // could change. Either way the temporary title never stays behind.
  if (!os.ReadConsoleTitle(savedTitle, sizeof savedTitle)) savedTitle[0] = '\0';
  savedTitle[sizeof savedTitle - 1] = '\0';
  os.ChangeConsoleTitle(temporaryTitle);
  os.Pause(kTitlePauseMs);
  OsHandle window = os.FindTopLevelWindow(temporaryTitle);
  os.ChangeConsoleTitle(savedTitle);
  // Asked twice: the first request of a process that was started with a
  // show command of its own may be taken as that command instead.
  os.ShowWindowMinimized(window);
  os.ShowWindowMinimized(window);
  os.Pause(kMinimizePauseMs);
}

}  // namespace zv
