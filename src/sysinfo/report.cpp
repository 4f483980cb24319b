#include "sysinfo/report.h"

#include <cstring>

#include "common/text.h"
#include "driver/console.h"

namespace zv {

namespace {
void CopyName(char (&line)[kReportLineCapacity], const char* name) {
  if (name != nullptr) CopyText(line, sizeof line, name);
}
}  // namespace

void BuildReportLines(const SystemInfo& info, ReportLines& lines) {
  std::memset(&lines, 0, sizeof lines);
  char (&l)[kReportLineCount][kReportLineCapacity] = lines.line;
  CopyName(l[0], OsKindName(info.GetOsKind()));
  CopyName(l[1], OsEditionName(info.GetOsEdition()));

  const char* platform = "Platform type    : Unknown";
  if (info.IsPlatformNt()) {
    platform = "Platform type    : NT";
  } else if (info.IsPlatformWindows()) {
    platform = "Platform type    : Windows";
  } else if (info.IsPlatformWin32s()) {
    platform = "Platform type    : Win32s";
  }
  CopyText(l[2], sizeof l[2], platform);
  CopyText(l[3], sizeof l[3],
           info.Is64Bit() ? "Architecture     : 64-bit" : "Architecture     : 32-bit");

  // Numbers print as the signed decimals the system's fields are read as.
  FormatText(l[4], sizeof l[4], "Major version    : %d", static_cast<int>(info.GetMajorVersion()));
  FormatText(l[5], sizeof l[5], "Minor version    : %d", static_cast<int>(info.GetMinorVersion()));
  FormatText(l[6], sizeof l[6], "Build number     : %d", static_cast<int>(info.GetBuildNumber()));
  char servicePack[kServicePackTextCapacity] = {};
  info.GetServicePackText(servicePack);
  FormatText(l[7], sizeof l[7], "Service Pack info: %s", servicePack);
  FormatText(l[8], sizeof l[8], "SP (major.minor) : %d.%d",
             static_cast<int>(info.GetServicePackMajor()),
             static_cast<int>(info.GetServicePackMinor()));
}

void ReportSystemInfo(Os& os, ActivityLog& log, const SystemInfo& info) {
  ReportLines lines;
  BuildReportLines(info, lines);
  for (const auto& line : lines.line) EchoLine(os, line);
  for (const auto& line : lines.line) log.WriteLog(0, "%s", line);
}

}  // namespace zv
