// The nine lines of system facts that every run shows and logs.
#pragma once

#include <cstddef>

#include "log/activity_log.h"
#include "platform/os.h"
#include "sysinfo/system_info.h"

namespace zv {

constexpr size_t kReportLineCount = 9;
// Wide enough for every name and number the record can hold.
constexpr size_t kReportLineCapacity = 200;

struct ReportLines {
  char line[kReportLineCount][kReportLineCapacity];
};

// Product, edition, platform, architecture, major, minor and build numbers,
// service-pack text and service-pack numbers, in that order.
void BuildReportLines(const SystemInfo& info, ReportLines& lines);

// Echoes the nine lines on the console, then logs each as an entry line.
void ReportSystemInfo(Os& os, ActivityLog& log, const SystemInfo& info);

}  // namespace zv
