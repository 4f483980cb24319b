"""Whole runs of the program: framework present or missing, the log file as
an earlier run or another program left it, and arguments that must not
change anything. Every case runs under the prefix's default Windows version
(Windows 7, 64-bit), whose report lines the profile table holds.
"""

import unittest

from test_profiles import (DEFAULT_REPORT, FINISHED, present_console, present_log,
                           report_block)
from winelab import (LOG_PATH, NETFX35_KEY, TOOLS, LabTestCase, closing, crlf_lines, entry,
                     opening)

# The system's text for "file not found", as Wine and Windows word it.
FILE_NOT_FOUND_TEXTS = ('File not found.', 'The system cannot find the file specified.')
START_FAILED = 'ERROR: CreateProcess failed. '
INSTALLING = '--- Installing or activating .NET35 ---'

# What an earlier run may have left: it ends inside an open block, as a run
# cut short does, and the next run must still start at depth 0.
EARLIER_LOG = crlf_lines([
    '01-02-03 04:05:06 ---------- Zelvantorix started ----------',
    '{',
    '  01-02-03 04:05:06 --- System Information ---',
    '  01-02-03 04:05:06 Windows XP',
])


class FrameworkPresent(LabTestCase):
    def run_present(self, case, args=()):
        case.reg_dword(NETFX35_KEY, 'SP', 1)
        result = case.run(args)
        self.assertEqual(result.exit_code, 0, result.describe())
        self.assertConsole(result, present_console(DEFAULT_REPORT))
        return result

    def test_fresh_machine(self):
        case = self.new_case()
        self.assertIsNone(case.read_file(LOG_PATH))
        result = self.run_present(case)
        self.assertLogRun(result.log, present_log(DEFAULT_REPORT), result)

    def test_log_folder_already_there(self):
        case = self.new_case()
        case.make_dir('C:\\TQV\\Logs')
        result = self.run_present(case)
        self.assertLogRun(result.log, present_log(DEFAULT_REPORT), result)

    def test_arguments_are_ignored(self):
        case = self.new_case()
        args = ['/x', 'foo', 'bar baz']
        # The arguments really arrive: the probe, started the same way, shows them.
        seen = case.run(args, program=TOOLS + '\\zvprobe.exe')
        self.assertIn('cmdline=' + TOOLS + '\\zvprobe.exe /x foo "bar baz"\r\n',
                      seen.console.decode('latin-1'), seen.describe())
        result = self.run_present(case, args)
        self.assertLogRun(result.log, present_log(DEFAULT_REPORT), result)

    def check_appended(self, earlier: bytes):
        case = self.new_case()
        case.put_file(earlier, LOG_PATH)
        result = self.run_present(case)
        self.assertIsNotNone(result.log)
        self.assertEqual(result.log[:len(earlier)], earlier,
                         'the earlier content of the log changed\n' + result.describe())
        self.assertLogRun(result.log[len(earlier):], present_log(DEFAULT_REPORT), result)

    def test_earlier_log_stays_in_front(self):
        self.check_appended(EARLIER_LOG)

    def test_log_ending_in_ctrl_z_keeps_it(self):
        self.check_appended(EARLIER_LOG + b'\x1a')


# Ways the framework's setup value can fail to say "installed".
MISSING_VARIANTS = {
    'no_key': lambda case: None,
    'key_without_sp': lambda case: case.reg_key(NETFX35_KEY),
    'sp_zero': lambda case: case.reg_dword(NETFX35_KEY, 'SP', 0),
    'sp_two': lambda case: case.reg_dword(NETFX35_KEY, 'SP', 2),
    'sp_string_1': lambda case: case.reg_sz(NETFX35_KEY, 'SP', '1'),
    'sp_qword_1': lambda case: case.reg_qword(NETFX35_KEY, 'SP', 1),
}


class FrameworkMissing(LabTestCase):
    """Without the framework the run takes the install branch. With no
    helper.exe beside the program, the default Windows 7 uses the package
    manager, which a fresh prefix does not have: the start fails with -1."""

    def check_missing(self, arrange):
        case = self.new_case()
        arrange(case)
        result = case.run()
        self.assertEqual(result.exit_code, -1, result.describe())
        self.assertEqual(result.exit_code_unsigned, 0xFFFFFFFF)

        lines = result.console.decode('latin-1').split('\r\n')
        error_line = next((l for l in lines if l.startswith(START_FAILED)), '')
        self.assertIn(error_line[len(START_FAILED):], FILE_NOT_FOUND_TEXTS,
                      'no start failure with the system text\n' + result.describe())
        self.assertConsole(result, DEFAULT_REPORT + [
            '', INSTALLING,
            error_line,
            '', 'Exitcode : -1',
            '', 'Failed, you may close me now.', ''])
        self.assertLogRun(result.log, report_block(DEFAULT_REPORT) + [
            opening(0),
            entry(2, INSTALLING),
            entry(2, error_line),
            entry(2, ''),
            closing(0),
            entry(0, 'Exitcode : -1'),
            entry(0, 'Failed, you may close me now.'),
            entry(0, FINISHED)], result)


def _missing_test(arrange):
    def test(self):
        self.check_missing(arrange)
    return test


for _name, _arrange in MISSING_VARIANTS.items():
    setattr(FrameworkMissing, 'test_%s' % _name, _missing_test(_arrange))

if __name__ == '__main__':
    unittest.main()
