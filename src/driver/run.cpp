#include "driver/run.h"

#include "common/text.h"
#include "driver/console.h"
#include "driver/console_window.h"
#include "log/activity_log.h"
#include "provision/detect.h"
#include "provision/install.h"
#include "sysinfo/report.h"
#include "sysinfo/system_info.h"

namespace zv {

namespace {

constexpr size_t kAnnouncementCapacity = 100;

// Console first, then the log, with the same words.
void Announce(Os& os, ActivityLog& log, char (&buffer)[kAnnouncementCapacity], int blockDelta,
              const char* text) {
  FormatText(buffer, sizeof buffer, "%s", text);
  AnnounceLine(os, buffer);
  log.WriteLog(blockDelta, "%s", buffer);
}

}  // namespace

const char* InstallVerdict(int32_t installResult) {
  if (installResult == 0) return kVerdictSucceeded;
  if (MeansRestartRequired(installResult)) return kVerdictRestartRequired;
  return kVerdictFailed;
}

int32_t RunZelvantorix(Os& os) {
  const SystemInfo info(os);
  int32_t installResult = 0;
  char buffer[kAnnouncementCapacity] = {};

  os.MakeDirectory(kTqvFolder);
  os.MakeDirectory(kLogFolder);
  ActivityLog log(os);
  log.WriteLog(0, "---------- Zelvantorix started ----------");

  MinimizeConsoleWindow(os);

  log.WriteLog(+1, "--- System Information ---");
  ReportSystemInfo(os, log, info);
  log.WriteLog(-1, "%s", "");

  const char* verdict = kVerdictAlreadyInstalled;
  if (IsNetFx35Installed(os)) {
    Announce(os, log, buffer, 0, "The .NET Framework 3.5 is already installed.");
  } else {
    Announce(os, log, buffer, +1, "--- Installing or activating .NET35 ---");
    InstallNetFx35(os, log, info, installResult);
    log.WriteLog(-1, "%s", "");
    FormatText(buffer, sizeof buffer, "Exitcode : %d", static_cast<int>(installResult));
    AnnounceLine(os, buffer);
    log.WriteLog(0, "%s", buffer);
    verdict = InstallVerdict(installResult);
  }

  FormatText(buffer, sizeof buffer, "%s", verdict);
  AnnounceLine(os, buffer);
  EchoLine(os, "");
  log.WriteLog(0, "%s", buffer);
  log.WriteLog(0, "---------- Finished ----------");
  os.Pause(kFinalPauseMs);
  return installResult;
}

}  // namespace zv
