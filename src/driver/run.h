#pragma once

#include <cstdint>

#include "platform/os.h"

namespace zv {

// Closing verdicts of a run.
constexpr char kVerdictAlreadyInstalled[] = "You may close me now.";
constexpr char kVerdictSucceeded[] = "Succeeded, you may close me now.";
constexpr char kVerdictRestartRequired[] = "Succeeded, Windows must restart, you may close me now.";
constexpr char kVerdictFailed[] = "Failed, you may close me now.";
constexpr unsigned kFinalPauseMs = 5000;

// The closing verdict for a run in which the installer ran (or was meant
// to) and left installResult.
const char* InstallVerdict(int32_t installResult);

// One whole run of the program; returns the exit code.
int32_t RunZelvantorix(Os& os);

}  // namespace zv
