// Starting the installer that suits the running Windows, waiting for it,
// and handing its exit code back as the run's result.
#pragma once

#include <cstdint>

#include "log/activity_log.h"
#include "platform/os.h"
#include "sysinfo/system_info.h"

namespace zv {

// The run's own result codes; an installer's code is passed on unchanged.
constexpr int32_t kResultStartFailed = -1;          // the installer could not be started
constexpr int32_t kResultExitCodeUnknown = -2;      // it ran, its exit code could not be read
constexpr int32_t kResultRedirectionNotRestored = -3;  // as -2, and redirection stayed off
constexpr int32_t kResultUnsupportedSystem = -4;    // no installer for this Windows

// Installer codes that mean "installed, Windows must restart".
constexpr int32_t kResultRestartRequired = 3010;
constexpr int32_t kResultRestartInitiated = 1641;
bool MeansRestartRequired(int32_t result);

constexpr char kLauncherPath[] = "helper.exe";
// Each command line starts with a blank: it is handed over as the whole
// command line, without the application's name in front.
constexpr char kLauncherArguments[] = " /p dotnetfx35.exe /l 1033 /v \"/qb /norestart\"";
constexpr char kPackageManagerName[] = "pkgmgr.exe";
constexpr char kPackageManagerArguments[] =
    " /l:C:\\TQV\\Logs\\NetFx3.log /iu:NetFx3;WCF-HTTP-Activation";

enum class Installer { kRefused, kLauncher, kPackageManager };

// Which installer suits a product code (and, for Windows XP, its
// service-pack major number).
Installer ChooseInstaller(int osKind, unsigned servicePackMajor);

// Whether the thread's file-system redirection must be off around the
// start: a 32-bit process on 64-bit Windows Vista or later.
bool NeedsRedirectionSwitch(uint32_t majorVersion, bool system64Bit, bool process64Bit);

// Runs the installer and leaves its exit code (or a result of the run's
// own) in installResult. True exactly when a child ran and its exit code
// was read.
bool InstallNetFx35(Os& os, ActivityLog& log, const SystemInfo& info, int32_t& installResult);

}  // namespace zv
