"""Runs that find the framework missing and start an installer: the sibling
launcher helper.exe on Windows XP SP3, the package manager on Windows 7 and
Windows Server 2008 R2, and nothing at all on the products that are refused.

Stand-ins from the win64 binary folder take the installers' places
(dotnetfx35.exe for the redistributable package, pkgmgr.exe for the package
manager): each appends "<its file name>|<its command line>" and CR LF to
C:\\zv-standin-calls.txt, ends with the code that ZV_STANDIN_EXIT_CODE names
and, when that code means "installed" (0, 3010, 1641), records the framework
the way the real installers do, so that the next run finds it.

The test build is a native 64-bit program: it never switches the file-system
redirection off, so no install block holds "Disabling FileSystemRedirection...".
Every case first asks zvprobe.exe what Wine answers under its version, since
the installer that the program picks hangs on exactly those answers.
"""

import unittest
from typing import List, NamedTuple, Optional, Sequence, Tuple

from test_profiles import (FINISHED, PROFILES, Profile, facts, present_console, present_log,
                           report, report_block)
from test_run import FILE_NOT_FOUND_TEXTS, INSTALLING, START_FAILED
from winelab import DEPLOY, Case, LabTestCase, RunResult, closing, entry, opening

SUCCEEDED = 'Succeeded, you may close me now.'
RESTART_NEEDED = 'Succeeded, Windows must restart, you may close me now.'
FAILED = 'Failed, you may close me now.'
CREATED = 'Process was created. Waiting for it to finish...'
FINISHED_WITH = 'Process finished. ExitCode = %d'
REFUSED = 'Not a supported OS! Windows XP SP2 is minimum.'
# helper.exe's own progress line, on the console it shares with the program.
HELPER_RUNNING = 'helper: running dotnetfx35.exe /qb /norestart (language 1033)'

CALLS_FILE = 'C:\\zv-standin-calls.txt'
SYSTEM_FOLDER = 'C:\\windows\\system32'
EXIT_CODE_VARIABLE = 'ZV_STANDIN_EXIT_CODE'

# What each installer must see as its whole command line. helper.exe puts
# the package's quoted full path in front of the arguments it was given; the
# package manager gets the program's text as it stands, without its own name
# and starting with a blank.
PACKAGE_CALL_IN_DEPLOY = ('dotnetfx35.exe', '"C:\\deploy\\dotnetfx35.exe" /qb /norestart')
PACKAGE_MANAGER_CALL = ('pkgmgr.exe',
                        ' /l:C:\\TQV\\Logs\\NetFx3.log /iu:NetFx3;WCF-HTTP-Activation')

PROFILE = {p.version: p for p in PROFILES}
XP_SP3 = PROFILE['winxp']
# Windows XP Professional x64 answers as version 5.2 workstation on an x64
# processor; a version-5 workstation without the personal suite bit is the
# Professional edition.
XP_X64 = Profile('winxp64',
                 facts(5, 2, 3790, 2, 'Service Pack 2', (2, 0), 0x100, 1, 0),
                 report('Windows XP Professional x64', 'Professional Edition', 'NT', 5, 2, 3790,
                        'Service Pack 2 (Build 3790)', (2, 0)))


def install_console(report_lines: List[str], install_lines: Sequence[str], code: int,
                    verdict: str) -> List[str]:
    return (report_lines + ['', INSTALLING] + list(install_lines)
            + ['', 'Exitcode : %d' % code, '', verdict, ''])


def install_log(report_lines: List[str], install_entries: Sequence[str], code: int,
                verdict: str) -> List[Tuple]:
    return (report_block(report_lines)
            + [opening(0), entry(2, INSTALLING)]
            + [entry(2, text) for text in install_entries]
            + [entry(2, ''), closing(0),
               entry(0, 'Exitcode : %d' % code), entry(0, verdict), entry(0, FINISHED)])


def standin_calls(case: Case) -> Optional[List[Tuple[str, str]]]:
    """The stand-ins' calls as (file name in lower case, command line); None
    when no stand-in ran."""
    data = case.read_file(CALLS_FILE)
    if data is None:
        return None
    if not data.endswith(b'\r\n'):
        raise AssertionError('%s does not end with CR LF: %r' % (CALLS_FILE, data))
    calls = []
    for line in data[:-2].decode('latin-1').split('\r\n'):
        name, bar, command_line = line.partition('|')
        if not bar:
            raise AssertionError('%s holds a line without "|": %r' % (CALLS_FILE, line))
        calls.append((name.lower(), command_line))
    return calls


class InstallTestCase(LabTestCase):
    def new_profile_case(self, profile: Profile) -> Case:
        """A case under the profile's Windows version, after checking that
        Wine still answers as the profile says."""
        case = self.new_case()
        case.set_version(profile.version)
        seen = case.probe()
        changed = ['Wine now reports %s=%r under %s (the table assumes %r)'
                   % (key, seen.get(key), profile.version, want)
                   for key, want in profile.facts.items() if seen.get(key) != want]
        if changed:
            self.fail('\n'.join(changed) + '\nall answers: %r' % seen)
        return case

    def assertExitCode(self, result: RunResult, code: int) -> None:
        self.assertEqual(result.exit_code, code, result.describe())
        self.assertEqual(result.exit_code_unsigned, code & 0xFFFFFFFF, result.describe())

    def assertRun(self, result: RunResult, code: int, console: List[str],
                  log: List[Tuple]) -> None:
        self.assertExitCode(result, code)
        self.assertConsole(result, console)
        self.assertLogRun(result.log, log, result)

    def assertCalls(self, case: Case, expected: Optional[List[Tuple[str, str]]],
                    result: RunResult) -> None:
        self.assertEqual(standin_calls(case), expected,
                         'the installers were called otherwise\n' + result.describe())

    def assertInstallerRan(self, result: RunResult, report_lines: List[str],
                           console_lines: Sequence[str], code: int, verdict: str) -> None:
        self.assertRun(result, code,
                       install_console(report_lines, console_lines, code, verdict),
                       install_log(report_lines, [CREATED, FINISHED_WITH % code], code, verdict))


# --- helper.exe on Windows XP SP3 ------------------------------------------------------

class LauncherCode(NamedTuple):
    standin_code: str     # what the stand-in is told to end with
    code: int             # the run's exit code, signed
    verdict: str
    installed: bool       # whether the stand-in recorded the framework


LAUNCHER_CODES = {
    'exit_0': LauncherCode('0', 0, SUCCEEDED, True),
    'exit_5': LauncherCode('5', 5, FAILED, False),
    'exit_3010': LauncherCode('3010', 3010, RESTART_NEEDED, True),
    # All 32 bits come back: the top bit set makes it negative, and the
    # program's own -1 (start failed) is told apart by the log.
    'exit_0xffffffff': LauncherCode('0xFFFFFFFF', -1, FAILED, False),
}


class LauncherInstall(InstallTestCase):
    """helper.exe and the package beside it in the current folder; the
    launcher's exit code, which is the package's, becomes the run's."""

    def check_code(self, outcome: LauncherCode) -> None:
        case = self.new_profile_case(XP_SP3)
        case.put_built('helper.exe')
        case.put_built('dotnetfx35.exe')
        env = {EXIT_CODE_VARIABLE: outcome.standin_code}

        first = case.run(cwd=DEPLOY, env=env)
        self.assertInstallerRan(first, XP_SP3.report, [CREATED, HELPER_RUNNING], outcome.code,
                                outcome.verdict)
        self.assertCalls(case, [PACKAGE_CALL_IN_DEPLOY], first)
        if not outcome.installed:
            return

        # The installer recorded the framework: the next run finds it and
        # starts nothing, and its log follows the first run's untouched.
        again = case.run(cwd=DEPLOY, env=env)
        self.assertExitCode(again, 0)
        self.assertConsole(again, present_console(XP_SP3.report))
        self.assertIsNotNone(again.log, again.describe())
        self.assertEqual(again.log[:len(first.log)], first.log,
                         'the first run\'s log changed\n' + again.describe())
        self.assertLogRun(again.log[len(first.log):], present_log(XP_SP3.report), again)
        self.assertCalls(case, [PACKAGE_CALL_IN_DEPLOY], again)


def _launcher_test(outcome):
    def test(self):
        self.check_code(outcome)
    return test


for _name, _outcome in LAUNCHER_CODES.items():
    setattr(LauncherInstall, 'test_%s' % _name, _launcher_test(_outcome))


# Where helper.exe is looked for: in the current folder, and only there.
class StartFailure(NamedTuple):
    deployed: Tuple[str, ...]  # built files put beside Zelvantorix.exe in C:\deploy
    cwd: str


START_FAILURES = {
    'helper_missing': StartFailure(('dotnetfx35.exe',), DEPLOY),
    'helper_only_beside_program': StartFailure(('helper.exe', 'dotnetfx35.exe'), 'C:\\work'),
}


class LauncherStart(InstallTestCase):
    def check_start_failure(self, failure: StartFailure) -> None:
        case = self.new_profile_case(XP_SP3)
        for name in failure.deployed:
            case.put_built(name)
        case.make_dir(failure.cwd)
        result = case.run(cwd=failure.cwd)

        # The system's text, whichever wording Wine uses, on the same line
        # and with no line break of its own left in it.
        lines = result.console.decode('latin-1').split('\r\n')
        error_line = next((l for l in lines if l.startswith(START_FAILED)), '')
        self.assertIn(error_line[len(START_FAILED):], FILE_NOT_FOUND_TEXTS,
                      'no start failure with the system text\n' + result.describe())
        self.assertRun(result, -1,
                       install_console(XP_SP3.report, [error_line], -1, FAILED),
                       install_log(XP_SP3.report, [error_line], -1, FAILED))
        self.assertCalls(case, None, result)

    def test_helper_in_current_folder(self):
        # Nothing beside the program: the current folder holds helper.exe,
        # which runs the package beside itself.
        case = self.new_profile_case(XP_SP3)
        case.put_built('helper.exe', 'C:\\setup')
        case.put_built('dotnetfx35.exe', 'C:\\setup')
        result = case.run(cwd='C:\\setup')
        self.assertInstallerRan(result, XP_SP3.report, [CREATED, HELPER_RUNNING], 0, SUCCEEDED)
        self.assertCalls(case, [('dotnetfx35.exe',
                                 '"C:\\setup\\dotnetfx35.exe" /qb /norestart')], result)

    def test_package_missing(self):
        # helper.exe starts, cannot start the package and says so with its
        # own code, which the program passes on like any installer's.
        case = self.new_profile_case(XP_SP3)
        case.put_built('helper.exe')
        result = case.run(cwd=DEPLOY)
        self.assertInstallerRan(result, XP_SP3.report, [CREATED, HELPER_RUNNING], -11, FAILED)
        self.assertIn(b'helper: cannot start C:\\deploy\\dotnetfx35.exe: ', result.stderr,
                      result.describe())
        self.assertCalls(case, None, result)


def _start_failure_test(failure):
    def test(self):
        self.check_start_failure(failure)
    return test


for _name, _failure in START_FAILURES.items():
    setattr(LauncherStart, 'test_%s' % _name, _start_failure_test(_failure))


# --- pkgmgr.exe on Windows 7 and Windows Server 2008 R2 --------------------------------

class PackageManagerRun(NamedTuple):
    profile: Profile
    standin_code: str
    code: int
    verdict: str


# Wine 8.0 answers win7 as Windows Server 2008 R2 and win2008r2 as Windows 7:
# between them both products take the package manager.
PACKAGE_MANAGER_RUNS = {
    'win7': PackageManagerRun(PROFILE['win7'], '1641', 1641, RESTART_NEEDED),
    # The package manager's "source files not found", a code with its top bit set.
    'win2008r2': PackageManagerRun(PROFILE['win2008r2'], '0x800F081F', -2146498529, FAILED),
}


class PackageManagerInstall(InstallTestCase):
    """pkgmgr.exe from the system folder, even with helper.exe and the
    package in the current folder."""

    def check_run(self, run: PackageManagerRun) -> None:
        case = self.new_profile_case(run.profile)
        case.put_built('pkgmgr.exe', SYSTEM_FOLDER)
        case.put_built('helper.exe')
        case.put_built('dotnetfx35.exe')
        result = case.run(cwd=DEPLOY, env={EXIT_CODE_VARIABLE: run.standin_code})
        # pkgmgr.exe prints nothing: the console shows the program's line alone.
        self.assertInstallerRan(result, run.profile.report, [CREATED], run.code, run.verdict)
        self.assertCalls(case, [PACKAGE_MANAGER_CALL], result)


def _package_manager_test(run):
    def test(self):
        self.check_run(run)
    return test


for _name, _run in PACKAGE_MANAGER_RUNS.items():
    setattr(PackageManagerInstall, 'test_%s' % _name, _package_manager_test(_run))


# --- Refused products --------------------------------------------------------------------

REFUSED_PROFILES = [PROFILE['win2k'], PROFILE['nt40'], XP_X64]


class RefusedProduct(InstallTestCase):
    """Every installer lies ready, and none may be started."""

    def check_refused(self, profile: Profile) -> None:
        case = self.new_profile_case(profile)
        case.put_built('helper.exe')
        case.put_built('dotnetfx35.exe')
        case.put_built('pkgmgr.exe', SYSTEM_FOLDER)
        result = case.run(cwd=DEPLOY)
        self.assertRun(result, -4,
                       install_console(profile.report, ['', REFUSED], -4, FAILED),
                       install_log(profile.report, [REFUSED], -4, FAILED))
        self.assertCalls(case, None, result)


def _refused_test(profile):
    def test(self):
        self.check_refused(profile)
    return test


for _profile in REFUSED_PROFILES:
    setattr(RefusedProduct, 'test_%s' % _profile.version, _refused_test(_profile))


if __name__ == '__main__':
    unittest.main()
