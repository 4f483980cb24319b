#include "provision/install.h"

#include "common/text.h"
#include "driver/console.h"
#include "platform/handles.h"
#include "platform/system_error.h"

namespace zv {

namespace {

constexpr size_t kPathCapacity = 300;
constexpr size_t kArgumentCapacity = 100;
constexpr size_t kMessageCapacity = 200;
constexpr size_t kErrorTextCapacity = 160;

}  // namespace

bool MeansRestartRequired(int32_t result) {
  return result == kResultRestartRequired || result == kResultRestartInitiated;
}

Installer ChooseInstaller(int osKind, unsigned servicePackMajor) {
  switch (osKind) {
    case kWinXp:
      return servicePackMajor >= 2 ? Installer::kLauncher : Installer::kRefused;
    case kWinServer2003:
    case kWinServer2003R2:
    case kWinVista:
    case kWinServer2008:
      return Installer::kLauncher;
    case kWinServer2008R2:
    case kWin7:
      return Installer::kPackageManager;
    default:
      return Installer::kRefused;
  }
}

bool NeedsRedirectionSwitch(uint32_t majorVersion, bool system64Bit, bool process64Bit) {
  // A native 64-bit process has no redirection, and Windows refuses to
  // switch it off there.
  return majorVersion >= 6 && system64Bit && !process64Bit;
}

bool InstallNetFx35(Os& os, ActivityLog& log, const SystemInfo& info, int32_t& installResult) {
  char path[kPathCapacity] = {};
  char arguments[kArgumentCapacity] = {};
  char message[kMessageCapacity] = {};

  const Installer installer = ChooseInstaller(info.GetOsKind(), info.GetServicePackMajor());
  if (installer == Installer::kRefused) {
    FormatText(message, sizeof message, "%s", "Not a supported OS! Windows XP SP2 is minimum.");
    AnnounceLine(os, message);
    log.WriteLog(0, "%s", message);
    installResult = kResultUnsupportedSystem;
    return false;
  }
  if (installer == Installer::kLauncher) {
    CopyText(path, sizeof path, kLauncherPath);
    CopyText(arguments, sizeof arguments, kLauncherArguments);
  } else {
    // Without the system folder the path stays empty and the start fails
    // below with the system's own reason.
    if (os.SystemFolder(path, sizeof path)) os.JoinPath(path, kPackageManagerName);
    CopyText(arguments, sizeof arguments, kPackageManagerArguments);
  }

  const bool switchRedirection =
      NeedsRedirectionSwitch(info.GetMajorVersion(), info.Is64Bit(), os.IsNativeProcess64());
  bool startable = true;
  uint32_t startError = 0;
  OsHandle saved = 0;
  if (switchRedirection) {
    log.WriteLog(0, "%s", "Disabling FileSystemRedirection...");
    if (os.DisableFsRedirection(saved) != RedirectionResult::kDone) {
      // The reason is taken now, before the log's own calls replace it.
      startError = os.LastError();
      log.WriteLog(0, "%s", "Reverted to FileSystemRedirection.");
      startable = false;
    }
  }

  // Declared thread first so that, leaving scope, the process handle is
  // closed before the thread handle.
  UniqueKernelHandle thread(os);
  UniqueKernelHandle process(os);
  bool started = false;
  bool revertFailed = false;
  if (startable) {
    started = os.StartProcess(path, arguments, process.Receive(), thread.Receive());
    if (!started) startError = os.LastError();
    // Redirection goes back on right after the start, before anything
    // else runs on this thread.
    if (switchRedirection) revertFailed = os.RevertFsRedirection(saved) != RedirectionResult::kDone;
  }

  if (!started) {
    char reason[kErrorTextCapacity] = {};
    DescribeSystemError(os, startError, reason, sizeof reason);
    FormatText(message, sizeof message, "ERROR: CreateProcess failed. %s", reason);
    EchoLine(os, message);
    log.WriteLog(0, "%s", message);
    installResult = kResultStartFailed;
    return false;
  }

  CopyText(message, sizeof message, "Process was created. Waiting for it to finish...");
  EchoLine(os, message);
  log.WriteLog(0, "%s", message);
  os.WaitForProcess(process.Get());
  uint32_t exitCode = 0;
  bool exitCodeRead = os.ReadExitCode(process.Get(), exitCode);
  if (exitCodeRead) {
    // Bit for bit: a code with its top bit set is a negative result.
    const int32_t code = static_cast<int32_t>(exitCode);
    log.WriteLog(0, "Process finished. ExitCode = %d", static_cast<int>(code));
    installResult = code;
  } else {
    // The installer ran but nobody knows how it ended: never call that a
    // success.
    installResult = revertFailed ? kResultRedirectionNotRestored : kResultExitCodeUnknown;
  }
  process.Reset();
  thread.Reset();
  return exitCodeRead;
}

}  // namespace zv
