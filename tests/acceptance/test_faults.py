"""Runs under load and under faults around the run: ten runs writing to one
log at the same moment, the log file held by another program, a log folder
that cannot be made, a current folder that cannot be written, a helper.exe
that is no program, and an installer that takes its time.

Whatever happens to the log, a run's console, exit code and course stay
those of a run on a healthy machine. The conditions are made on the Windows
side by zvfault.exe, so that they are real for the program (Wine's sharing
rules, its process start, its file system), and each case first checks that
its condition really holds before it judges the program.
"""

import datetime
import os
import shutil
import subprocess
import unittest
from typing import Callable, Dict, List, NamedTuple, Optional, Sequence, Tuple

from test_profiles import (DEFAULT_REPORT, FINISHED, PROFILES, present_console, present_log,
                           report_block)
from test_install import CALLS_FILE, CREATED, FAILED, HELPER_RUNNING, SUCCEEDED
from test_run import EARLIER_LOG, INSTALLING, START_FAILED
from winelab import (DEPLOY, ENTRY, LOG_PATH, NETFX35_KEY, PROBE, PROGRAM, TOOLS, LabError,
                     LabTestCase, LogFormatError, LogLine, RunResult, closing, crlf_lines, entry,
                     opening, parse_log)

FAULT_TOOL = 'zvfault.exe'
FAULT_TOOL_PATH = TOOLS + '\\' + FAULT_TOOL
PROGRAM_PATH = DEPLOY + '\\' + PROGRAM

WINXP_REPORT = next(p.report for p in PROFILES if p.version == 'winxp')
# How the program starts helper.exe, word for word.
LAUNCHER_ARGUMENTS = ' /p dotnetfx35.exe /l 1033 /v "/qb /norestart"'
ERROR_SHARING_VIOLATION = 32

# A hang detector, not a speed limit: a run takes a little over 5 s, and a
# held log adds a quarter second per log call.
HANG_TIMEOUT_S = 60


def finished_entry(code: int) -> str:
    return 'Process finished. ExitCode = %d' % code


def installer_console(report: List[str], code: int, verdict: str) -> List[str]:
    """A run that starts helper.exe, which runs the stand-in package."""
    return report + ['', INSTALLING, CREATED, HELPER_RUNNING,
                     '', 'Exitcode : %d' % code, '', verdict, '']


def installer_log(report: List[str], code: int, verdict: str) -> List[Tuple]:
    return report_block(report) + [
        opening(0),
        entry(2, INSTALLING),
        entry(2, CREATED),
        entry(2, finished_entry(code)),
        entry(2, ''),
        closing(0),
        entry(0, 'Exitcode : %d' % code),
        entry(0, verdict),
        entry(0, FINISHED)]


class Scenario(NamedTuple):
    """What a run does on a healthy machine: how to arrange it (the case and
    the current folder that the program is started in), and its outcome."""
    arrange: Callable
    env: Dict[str, str]
    exit_code: int
    console: List[str]
    log: List[Tuple]


def _framework_present(case, folder):
    case.reg_dword(NETFX35_KEY, 'SP', 1)


def _installer_beside(case, folder):
    case.set_version('winxp')
    case.put_built('helper.exe', folder)
    case.put_built('dotnetfx35.exe', folder)


FRAMEWORK_PRESENT = Scenario(_framework_present, {}, 0, present_console(DEFAULT_REPORT),
                             present_log(DEFAULT_REPORT))


def installer_scenario(code: int, verdict: str) -> Scenario:
    """Windows XP without the framework: helper.exe and the stand-in package
    lie in the current folder, and the package ends with code."""
    return Scenario(_installer_beside, {'ZV_STANDIN_EXIT_CODE': str(code)}, code,
                    installer_console(WINXP_REPORT, code, verdict),
                    installer_log(WINXP_REPORT, code, verdict))


INSTALLER_FAILS = installer_scenario(5, FAILED)
INSTALLER_SUCCEEDS = installer_scenario(0, SUCCEEDED)


def tool_output(result: RunResult) -> List[str]:
    if result.exit_code != 0:
        raise LabError('%s failed: %s' % (FAULT_TOOL, result.describe()))
    return result.console.decode('latin-1').split('\r\n')[:-1]


class FaultLabTestCase(LabTestCase):
    def new_fault_case(self, name: Optional[str] = None):
        case = self.new_case(name)
        case.put_built(FAULT_TOOL, TOOLS)
        return case

    def assertRunAsOnHealthyMachine(self, result: RunResult, scenario: Scenario) -> None:
        self.assertEqual(result.exit_code, scenario.exit_code, result.describe())
        self.assertConsole(result, scenario.console)


# --- Load -------------------------------------------------------------------------------

RUNS_AT_ONCE = 10


def check_whole_runs(lines: Sequence[LogLine], run: Sequence[Tuple], runs: int) -> int:
    """The lines are `runs` copies of one run's lines, each copy whole and in
    its own order, interleaved in any way: no line lost, doubled, reordered
    within its run or foreign. One run's lines are all different, so each
    line names its place in the run, and a line may only appear as often as
    the line before it in the run has appeared so far.

    Returns how often a line is not followed by the next line of its own
    run: 0 when the runs wrote one after the other."""
    place = {shape: index for index, shape in enumerate(run)}
    if len(place) != len(run):
        raise ValueError('a run whose lines repeat cannot be told apart')
    seen = [0] * len(run)
    switches = 0
    for number, line in enumerate(lines):
        index = place.get(line.shape())
        if index is None:
            raise LogFormatError('line %d belongs to no run: %r' % (line.number, line.shape()))
        allowed = runs if index == 0 else seen[index - 1]
        if seen[index] >= allowed:
            raise LogFormatError('line %d (%r) appears once more than the line before it in a '
                                 'run (%r): a line was doubled, lost or reordered'
                                 % (line.number, line.shape(), run[index - 1] if index else None))
        seen[index] += 1
        if number + 1 < len(lines) and index + 1 < len(run) \
                and lines[number + 1].shape() != run[index + 1]:
            switches += 1
    missing = [(run[i], runs - n) for i, n in enumerate(seen) if n != runs]
    if missing:
        raise LogFormatError('lines missing (line, how often): %r' % missing)
    return switches


def check_calls_kept_together(lines: Sequence[LogLine]) -> None:
    """The lines of one call are one write: a "{" is followed by its call's
    entry line two blanks deeper, and a "}" follows its call's entry line two
    blanks deeper, whatever other runs write at the same moment."""
    for at, line in enumerate(lines):
        if line.kind == '{':
            partner = lines[at + 1] if at + 1 < len(lines) else None
        elif line.kind == '}':
            partner = lines[at - 1] if at > 0 else None
        else:
            continue
        if partner is None or partner.kind != ENTRY or partner.indent != line.indent + 2:
            raise LogFormatError('line %d (%r) is not beside the entry of its own call: %r'
                                 % (line.number, line.kind, partner))


class LoadTests(FaultLabTestCase):
    def test_ten_runs_at_once(self):
        """Ten runs started at the same moment on one machine, all appending
        to one log: every run exits 0 with the console of a run on its own,
        and the log holds exactly ten whole runs: every line whole and well
        formed, none lost, torn or doubled, each run's lines in their order,
        and the lines of one call ("{" or "}" with their entry) side by
        side, never split by another run's line."""
        case = self.new_fault_case()
        case.reg_dword(NETFX35_KEY, 'SP', 1)
        consoles = TOOLS + '\\console-'
        result = case.run(['many', str(RUNS_AT_ONCE), consoles, PROGRAM_PATH],
                          program=FAULT_TOOL_PATH)
        self.assertEqual(tool_output(result),
                         ['%d 0' % i for i in range(RUNS_AT_ONCE)], result.describe())
        for i in range(RUNS_AT_ONCE):
            console = case.read_file('%s%d.bin' % (consoles, i))
            self.assertEqual(console, crlf_lines(present_console(DEFAULT_REPORT)),
                             'console of run %d' % i)

        log = result.log or b''
        try:
            lines = parse_log(log)
            switches = check_whole_runs(lines, present_log(DEFAULT_REPORT), RUNS_AT_ONCE)
            check_calls_kept_together(lines)
        except LogFormatError as error:
            self.fail('%s\n--- log ---\n%s' % (error, log.decode('latin-1')))
        low = result.started.replace(microsecond=0) - datetime.timedelta(seconds=2)
        high = result.finished + datetime.timedelta(seconds=2)
        late = [line for line in lines if line.kind == ENTRY and not low <= line.stamp <= high]
        self.assertEqual(late, [], 'entries stamped outside the runs (%s to %s)' % (low, high))
        # Runs that wrote one after the other would prove nothing here.
        self.assertGreater(switches, 0,
                           'the runs did not overlap at all\n' + log.decode('latin-1'))
        print('the ten runs took turns in the log %d times' % switches)


# --- Faults -----------------------------------------------------------------------------

class HeldLog(NamedTuple):
    share: str              # the holder's sharing, as zvfault.exe takes it
    open_error: int         # what the log writer's own open meets meanwhile
    written: bool           # whether the run's lines reach the file


HELD_LOGS = {
    # An editor or a copy that keeps the file to itself: every write of the
    # run is refused, and each is given up after a quarter second.
    'held_without_sharing': ('held open without sharing',
                             HeldLog('none', ERROR_SHARING_VIOLATION, False)),
    # A log viewer that lets others write: the run writes as ever.
    'held_by_sharing_viewer': ('held open by a viewer that shares reading and writing',
                               HeldLog('readwrite', 0, True)),
}

# The current folder of the cases that need one apart from C:\deploy.
OWN_FOLDER = 'C:\\work'


class FaultTests(FaultLabTestCase):
    # The log file held open by another program ------------------------------------

    def check_held_log(self, held: HeldLog):
        case = self.new_fault_case()
        _framework_present(case, DEPLOY)
        case.put_file(EARLIER_LOG, LOG_PATH)
        report = TOOLS + '\\hold-report.txt'
        result = case.run(['hold', report, LOG_PATH, held.share, PROGRAM_PATH],
                          program=FAULT_TOOL_PATH, timeout=HANG_TIMEOUT_S)
        self.assertEqual(case.read_file(report),
                         b'trial_open_error=%d\r\n' % held.open_error,
                         'the hold did not treat the log writer\'s open as the case needs')
        self.assertRunAsOnHealthyMachine(result, FRAMEWORK_PRESENT)
        if held.written:
            self.assertEqual(result.log[:len(EARLIER_LOG)], EARLIER_LOG, result.describe())
            self.assertLogRun(result.log[len(EARLIER_LOG):], FRAMEWORK_PRESENT.log, result)
        else:
            self.assertEqual(result.log, EARLIER_LOG,
                             'the log changed although it was held\n' + result.describe())

    # The log folder cannot be made: a file named C:\TQV is in its way ----------------

    def check_log_folder_blocked(self, scenario: Scenario):
        case = self.new_case()
        blocker = b'a file, not a folder\r\n'
        case.put_file(blocker, 'C:\\TQV')
        scenario.arrange(case, DEPLOY)
        deployed = sorted(p.name for p in case.host_path(DEPLOY).iterdir())
        result = case.run(env=scenario.env)
        self.assertRunAsOnHealthyMachine(result, scenario)
        self.assertEqual(case.read_file('C:\\TQV'), blocker, 'C:\\TQV changed')
        self.assertIsNone(result.log)
        self.assertEqual(sorted(p.name for p in case.host_path(DEPLOY).iterdir()), deployed,
                         'the run left a file in its folder')

    # The current folder cannot be written ---------------------------------------

    def folder_takes_new_files(self, case, folder: str) -> bool:
        probe = case.run(['try-create', 'zv-write-probe.txt'], cwd=folder,
                         program=FAULT_TOOL_PATH)
        return tool_output(probe) == ['created']

    def make_unwritable(self, case, folder: str) -> Callable[[], None]:
        """Makes folder refuse new files inside Wine, and returns what undoes
        it. Wine asks the Unix permissions; root passes them by, so for root
        the folder is made immutable instead."""
        host = case.host_path(folder)
        os.chmod(host, 0o555)
        undo = [lambda: os.chmod(host, 0o755)]

        def undo_all():
            while undo:
                undo.pop()()
        self.addCleanup(undo_all)
        if self.folder_takes_new_files(case, folder) and shutil.which('chattr'):
            subprocess.run(['chattr', '+i', str(host)], stdin=subprocess.DEVNULL,
                           capture_output=True)
            undo.append(lambda: subprocess.run(['chattr', '-i', str(host)],
                                               stdin=subprocess.DEVNULL, capture_output=True))
        if self.folder_takes_new_files(case, folder):
            undo_all()
            self.skipTest('cannot make a folder unwritable for Wine here (root without '
                          'the right to make a folder immutable)')
        return undo_all

    def check_read_only_folder(self, scenario: Scenario):
        case = self.new_fault_case()
        case.make_dir(OWN_FOLDER)
        scenario.arrange(case, OWN_FOLDER)
        writable_again = self.make_unwritable(case, OWN_FOLDER)
        try:
            result = case.run(cwd=OWN_FOLDER, env=scenario.env)
        finally:
            writable_again()
        self.assertRunAsOnHealthyMachine(result, scenario)
        self.assertLogRun(result.log, scenario.log, result)

    # helper.exe is there but is no program -------------------------------------

    def check_helper_not_a_program(self, make_helper: Callable):
        case = self.new_fault_case()
        case.set_version('winxp', programs=(PROGRAM, PROBE, FAULT_TOOL))
        make_helper(case, DEPLOY + '\\helper.exe')
        # The system's own reason for refusing this helper.exe, asked the way
        # the program asks it.
        answer = tool_output(case.run(['start-error', 'helper.exe', LAUNCHER_ARGUMENTS],
                                      program=FAULT_TOOL_PATH))
        self.assertEqual(len(answer), 2, answer)
        self.assertTrue(answer[0].startswith('error=') and answer[1].startswith('text='),
                        'the start did not fail: %r' % answer)
        reason = answer[1][len('text='):]
        self.assertNotEqual(reason.strip(), '', 'the system gives no text for %s' % answer[0])

        result = case.run()
        error_line = START_FAILED + reason
        self.assertEqual(result.exit_code, -1, result.describe())
        self.assertConsole(result, WINXP_REPORT + [
            '', INSTALLING, error_line, '', 'Exitcode : -1', '', FAILED, ''])
        self.assertLogRun(result.log, report_block(WINXP_REPORT) + [
            opening(0),
            entry(2, INSTALLING),
            entry(2, error_line),
            entry(2, ''),
            closing(0),
            entry(0, 'Exitcode : -1'),
            entry(0, FAILED),
            entry(0, FINISHED)], result)

    # An installer that takes several seconds -----------------------------------

    def test_slow_installer(self):
        """An installer that runs 4 s before it ends with 7: the run waits for
        it (the finish entry is stamped at least 4 s, less 1 s for the stamps'
        resolution, after the entry that announced the wait), then passes 7 on
        with the verdict "Failed, you may close me now."."""
        seconds = 4
        case = self.new_case()
        INSTALLER_FAILS.arrange(case, DEPLOY)
        result = case.run(env={'ZV_STANDIN_SECONDS': str(seconds), 'ZV_STANDIN_EXIT_CODE': '7'})
        self.assertEqual(result.exit_code, 7, result.describe())
        self.assertConsole(result, installer_console(WINXP_REPORT, 7, FAILED))
        self.assertLogRun(result.log, installer_log(WINXP_REPORT, 7, FAILED), result)
        self.assertEqual(case.read_file(CALLS_FILE),
                         b'dotnetfx35.exe|"C:\\deploy\\dotnetfx35.exe" /qb /norestart\r\n',
                         'the stand-in was not started exactly once')
        stamps = {line.message: line.stamp for line in parse_log(result.log)
                  if line.kind == ENTRY}
        waited = stamps[finished_entry(7)] - stamps[CREATED]
        self.assertGreaterEqual(waited, datetime.timedelta(seconds=seconds - 1),
                                'the run did not wait for the installer\n' + result.describe())


def _add_cases(cls, prefix: str, check: str, table: Dict[str, Tuple[str, object]],
               doc: str) -> None:
    """One test per row: test_<prefix>_<row name>, running check(row)."""
    for name, (description, row) in table.items():
        def test(self, row=row):
            getattr(self, check)(row)
        test.__doc__ = doc % description
        setattr(cls, 'test_%s_%s' % (prefix, name), test)


def _write_text(case, path):
    case.put_file(b'This is not a program.\r\n', path)


def _make_folder(case, path):
    case.make_dir(path)


_add_cases(FaultTests, 'log', 'check_held_log', HELD_LOGS,
           'The log %s by another program from before the start to the end: the '
           'console and exit code are those of a healthy run, the run does not hang, '
           'and the log gets exactly the run\'s lines when the holder shares writing, '
           'and not one byte otherwise.')
_add_cases(FaultTests, 'log_folder_blocked', 'check_log_folder_blocked', {
    'framework_present': ('framework present', FRAMEWORK_PRESENT),
    'installer_fails': ('framework missing, the installer ends with 5', INSTALLER_FAILS),
}, 'A file named C:\\TQV keeps the log folder from being made (%s): the console and '
   'exit code are those of a healthy run, and nothing is written: no log, C:\\TQV '
   'unchanged, no file left in the current folder.')
_add_cases(FaultTests, 'read_only_folder', 'check_read_only_folder', {
    'framework_present': ('framework present', FRAMEWORK_PRESENT),
    'installer_succeeds': ('framework missing, the installer in it ends with 0',
                           INSTALLER_SUCCEEDS),
}, 'The current folder refuses new files (%s): console, exit code and log are those '
   'of a healthy run.')
_add_cases(FaultTests, 'helper_is', 'check_helper_not_a_program', {
    'text_file': ('a text file', _write_text),
    'folder': ('a folder', _make_folder),
}, 'helper.exe is %s, on Windows XP without the framework: the start fails with '
   '"ERROR: CreateProcess failed. " and the system\'s own text for the reason, on one '
   'line of the console and of the log, and the run ends with -1.')

if __name__ == '__main__':
    unittest.main()
