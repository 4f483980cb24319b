"""The acceptance lab: runs the real Zelvantorix.exe under wine64, every case
in a Wine prefix of its own.

One ready prefix (the template) is made per test run: CTest makes it in a
fixture (``winelab.py make-template``) and removes it afterwards; a case run
outside CTest makes it on first use. Every case copies it (``cp -a``), so no
case sees another's registry, files or wineserver.

    lab = Lab.from_environment()        # ZV_WIN64_DIR: the win64 binary folder,
                                        # ZV_ACCEPT_DIR: where prefixes live
    case = lab.case('framework_present')  # own prefix; Zelvantorix.exe is in C:\\deploy
    try:
        case.set_version('winxp')       # Wine's Windows version for Zelvantorix.exe
                                        # and zvprobe.exe (AppDefaults)
        case.reg_dword(NETFX35_KEY, 'SP', 1)     # also reg_sz, reg_qword, reg_value,
                                                 # reg_key, reg_delete_key/_value
        case.put_file(b'bytes', 'C:\\deploy\\x.dat')   # bytes or a host file
        case.put_built('helper.exe')    # a file of the win64 binary folder -> C:\\deploy
        case.make_dir('C:\\TQV\\Logs')
        result = case.run(['/x'], cwd='C:\\deploy', env={'NAME': 'value'})
                                        # program='C:\\...' runs another file of the prefix
        result.exit_code                # the full exit code, signed 32-bit
        result.exit_code_unsigned       # the same bits, unsigned
        result.console                  # bytes the program wrote to standard output
        result.log                      # bytes of C:\\TQV\\Logs\\Zelvantorix.log (None if absent)
        facts = case.probe()            # zvprobe.exe's answers as a dict of strings
    finally:
        case.close()                    # ends the case's wineserver, deletes the prefix

Registry changes are collected and imported (``regedit /S``) right before the
next run or probe, then read back with ``reg query``, so that a value Wine
did not take fails the case loudly. Programs run through zvrun.exe, which
reports the whole 32-bit exit code that a Unix parent cannot see. Wine's
stderr is kept in ``result.stderr`` but is never part of the console text.
With ZV_KEEP_PREFIX=1 the prefixes (the template too) are kept for a look
afterwards, until the next run's fixture clears them.

A new case is a test method in a test_*.py module beside this one: CMake
registers every such method as a CTest test of its own (label acceptance).
``LabTestCase`` is a unittest base class whose ``new_case`` closes the case
whatever the test's outcome. The log checker is ``parse_log``: it accepts
only CR LF terminated brace and entry lines and gives (indent, kind, message)
triples to compare with the expected ones built by ``entry``, ``opening``
and ``closing``.
"""

import datetime
import fcntl
import os
import re
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path, PureWindowsPath
from typing import Dict, Iterable, List, NamedTuple, Optional, Sequence, Tuple, Union

WINE = os.environ.get('ZV_WINE', '/usr/lib/wine/wine64')
WINESERVER = os.environ.get('ZV_WINESERVER', '/usr/lib/wine/wineserver')
REPO = Path(__file__).resolve().parents[2]

PROGRAM = 'Zelvantorix.exe'
RUNNER = 'zvrun.exe'
PROBE = 'zvprobe.exe'
DEPLOY = 'C:\\deploy'
TOOLS = 'C:\\zvtools'
LOG_PATH = 'C:\\TQV\\Logs\\Zelvantorix.log'
NETFX35_KEY = 'HKLM\\Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5'

# A run of the program takes a little over 5 s; anything far beyond that is
# a hang, not a slow machine.
RUN_TIMEOUT_S = 180
# A registry tool takes a second or two; one that has not ended long after
# that hangs, and is tried again, this many times in all.
TOOL_TIMEOUT_S = 60
TOOL_ATTEMPTS = 3
# Seconds the case's wineserver outlives its last client: a safety net for
# a harness that was killed before it could end the server itself.
SERVER_LINGER_S = 60

REG_SZ = 1
REG_BINARY = 3
REG_DWORD = 4
REG_MULTI_SZ = 7
REG_QWORD = 11
_REG_TYPE_NAMES = {REG_SZ: 'REG_SZ', REG_BINARY: 'REG_BINARY', REG_DWORD: 'REG_DWORD',
                   REG_MULTI_SZ: 'REG_MULTI_SZ', REG_QWORD: 'REG_QWORD', 2: 'REG_EXPAND_SZ',
                   0: 'REG_NONE'}
_ROOTS = {'HKLM': 'HKEY_LOCAL_MACHINE', 'HKCU': 'HKEY_CURRENT_USER',
          'HKCR': 'HKEY_CLASSES_ROOT', 'HKU': 'HKEY_USERS'}


class LabError(Exception):
    """The lab itself could not do what a case asked (not a program fault)."""


def keep_prefixes() -> bool:
    return os.environ.get('ZV_KEEP_PREFIX') == '1'


def wine_environment(prefix: Path, extra: Optional[Dict[str, str]] = None) -> Dict[str, str]:
    env = dict(os.environ)
    # No display: every case sees the same windowless Wine, whoever runs it.
    env.pop('DISPLAY', None)
    env.pop('WAYLAND_DISPLAY', None)
    env.update(WINEPREFIX=str(prefix), WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=')
    if extra:
        env.update(extra)
    return env


def full_key(key: str) -> str:
    root, _, rest = key.partition('\\')
    return _ROOTS.get(root.upper(), root) + ('\\' + rest if rest else '')


# --- Results -----------------------------------------------------------------

class RunResult(NamedTuple):
    exit_code: int            # signed 32-bit
    exit_code_unsigned: int   # the same 32 bits, unsigned
    console: bytes            # standard output, byte for byte
    stderr: bytes             # Wine's noise and anything written to standard error
    log: Optional[bytes]      # the log file after the run, None when there is none
    started: datetime.datetime
    finished: datetime.datetime

    def describe(self) -> str:
        """A readable account for failure messages."""
        return ('exit code %d (0x%08X)\n--- console ---\n%s\n--- log ---\n%s\n--- stderr ---\n%s'
                % (self.exit_code, self.exit_code_unsigned,
                   self.console.decode('latin-1'),
                   '(none)' if self.log is None else self.log.decode('latin-1'),
                   self.stderr.decode('latin-1', 'replace')[-2000:]))


# --- The log checker -------------------------------------------------------------

OPEN = '{'
CLOSE = '}'
ENTRY = 'entry'

_ENTRY_RE = re.compile(rb'( *)(\d\d)-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d) (.*)', re.S)
_BRACE_RE = re.compile(rb'( *)([{}])')


class LogFormatError(AssertionError):
    pass


class LogLine(NamedTuple):
    number: int                       # 1-based line number in the checked bytes
    indent: int
    kind: str                         # OPEN, CLOSE or ENTRY
    message: Optional[str]            # entry lines only (8-bit text as latin-1)
    stamp: Optional[datetime.datetime]

    def shape(self) -> Tuple[int, str, Optional[str]]:
        return (self.indent, self.kind, self.message)


def entry(indent: int, message: str) -> Tuple[int, str, str]:
    return (indent, ENTRY, message)


def opening(indent: int) -> Tuple[int, str, None]:
    return (indent, OPEN, None)


def closing(indent: int) -> Tuple[int, str, None]:
    return (indent, CLOSE, None)


def parse_log(data: bytes) -> List[LogLine]:
    """Splits log bytes into lines and checks each one's form.

    Every line must end with CR LF (no CR CR LF, no bare CR or LF) and be an
    opening brace line, a closing brace line or an entry line, indented by
    an even number of blanks, whose stamps name a real date and time.
    """
    if not data:
        return []
    at = data.find(b'\r\r\n')
    if at >= 0:
        raise LogFormatError('CR CR LF at line %d: %r'
                             % (data.count(b'\r\n', 0, at) + 1, data[max(0, at - 60):at + 3]))
    if not data.endswith(b'\r\n'):
        raise LogFormatError('the log does not end with CR LF: %r' % data[-60:])
    lines = []
    for number, raw in enumerate(data[:-2].split(b'\r\n'), start=1):
        if b'\r' in raw or b'\n' in raw:
            raise LogFormatError('line %d holds a bare CR or LF: %r' % (number, raw))
        brace = _BRACE_RE.fullmatch(raw)
        match = _ENTRY_RE.fullmatch(raw)
        if brace:
            indent, kind, message, stamp = len(brace.group(1)), brace.group(2).decode(), None, None
        elif match:
            indent, kind = len(match.group(1)), ENTRY
            day, month, year, hour, minute, second = (int(g) for g in match.group(2, 3, 4, 5, 6, 7))
            try:
                stamp = datetime.datetime(2000 + year, month, day, hour, minute, second)
            except ValueError as error:
                raise LogFormatError('line %d: stamps name no real time (%s): %r'
                                     % (number, error, raw)) from None
            message = match.group(8).decode('latin-1')
        else:
            raise LogFormatError('line %d is neither a brace line nor an entry line: %r'
                                 % (number, raw))
        if indent % 2:
            raise LogFormatError('line %d is indented by an odd %d blanks: %r'
                                 % (number, indent, raw))
        lines.append(LogLine(number, indent, kind, message, stamp))
    return lines


def check_stamps(lines: Sequence[LogLine], not_before: datetime.datetime,
                 not_after: datetime.datetime, slack_s: float = 2.0) -> None:
    """Entry stamps lie within the run (to the second, with a little slack
    for rounding) and never go backwards."""
    low = not_before.replace(microsecond=0) - datetime.timedelta(seconds=slack_s)
    high = not_after + datetime.timedelta(seconds=slack_s)
    previous = None
    for line in lines:
        if line.kind != ENTRY:
            continue
        if not low <= line.stamp <= high:
            raise LogFormatError('line %d is stamped %s, outside the run (%s to %s)'
                                 % (line.number, line.stamp, low, high))
        if previous is not None and line.stamp < previous:
            raise LogFormatError('line %d is stamped %s, before the line above it (%s)'
                                 % (line.number, line.stamp, previous))
        previous = line.stamp


def shapes(lines: Iterable[LogLine]) -> List[Tuple[int, str, Optional[str]]]:
    return [line.shape() for line in lines]


def crlf_lines(lines: Iterable[str]) -> bytes:
    """Console text: each line followed by CR LF."""
    return b''.join(line.encode('latin-1') + b'\r\n' for line in lines)


# --- The lab -----------------------------------------------------------------------

class Lab:
    def __init__(self, win64_dir: Path, work_dir: Path):
        self.win64_dir = Path(win64_dir)
        self.work_dir = Path(work_dir)
        self.template = self.work_dir / 'prefix-template'
        self.cases_dir = self.work_dir / 'cases'

    @classmethod
    def from_environment(cls) -> 'Lab':
        return cls(Path(os.environ.get('ZV_WIN64_DIR', REPO / 'build' / 'win64')),
                   Path(os.environ.get('ZV_ACCEPT_DIR', REPO / 'build' / 'host' / 'acceptance')))

    def built(self, name: str) -> Path:
        path = self.win64_dir / name
        if not path.is_file():
            raise LabError('%s is missing: build the win64 preset first (ZV_WIN64_DIR=%s)'
                           % (name, self.win64_dir))
        return path

    # The template prefix --------------------------------------------------------

    @property
    def _ready_mark(self) -> Path:
        return self.template / '.zv-ready'

    def make_template(self) -> float:
        """Makes the ready prefix afresh; returns the seconds it took."""
        begin = time.monotonic()
        self.remove_template()
        self.remove_stale_cases()
        self.work_dir.mkdir(parents=True, exist_ok=True)
        env = wine_environment(self.template)
        boot_log = self.work_dir / 'wineboot.log'
        with open(boot_log, 'wb') as out:
            # Files rather than pipes: Wine's background processes may keep
            # what they inherit open for as long as they live.
            boot = subprocess.run([WINE, 'wineboot', '-i'], env=env, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=out, timeout=600)
            subprocess.run([WINESERVER, '-w'], env=env, stdin=subprocess.DEVNULL,
                           stdout=out, stderr=out, timeout=600)
        if boot.returncode != 0 or not (self.template / 'drive_c' / 'windows').is_dir():
            raise LabError('wineboot -i failed (status %d); see %s' % (boot.returncode, boot_log))
        self._ready_mark.write_text('ready\n')
        return time.monotonic() - begin

    def remove_template(self) -> None:
        if self.template.exists():
            subprocess.run([WINESERVER, '-k'], env=wine_environment(self.template),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            shutil.rmtree(self.template)

    def remove_stale_cases(self) -> None:
        """Prefixes that earlier runs kept or could not delete."""
        if not self.cases_dir.is_dir():
            return
        for prefix in self.cases_dir.iterdir():
            subprocess.run([WINESERVER, '-k'], env=wine_environment(prefix),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            shutil.rmtree(prefix, ignore_errors=True)

    def ensure_template(self) -> None:
        """Makes the template when no fixture did (a case run on its own)."""
        if self._ready_mark.exists():
            return
        self.work_dir.mkdir(parents=True, exist_ok=True)
        with open(self.work_dir / 'template.lock', 'w') as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not self._ready_mark.exists():
                self.make_template()

    def case(self, name: str) -> 'Case':
        self.ensure_template()
        return Case(self, name)


class Case:
    """One case's own prefix, with the program deployed in C:\\deploy."""

    def __init__(self, lab: Lab, name: str):
        self.lab = lab
        self.name = name
        self.prefix = lab.cases_dir / ('%s.%d' % (name, os.getpid()))
        self._pending: List[Tuple] = []
        self._runs = 0
        self._calls = 0
        self._closed = False
        deployed = [(lab.built(PROGRAM), DEPLOY), (lab.built(RUNNER), TOOLS),
                    (lab.built(PROBE), TOOLS)]
        lab.cases_dir.mkdir(parents=True, exist_ok=True)
        if self.prefix.exists():
            self._end_server()
            shutil.rmtree(self.prefix)
        try:
            copy = subprocess.run(['cp', '-a', str(lab.template), str(self.prefix)],
                                  stdin=subprocess.DEVNULL, capture_output=True)
            if copy.returncode != 0:
                raise LabError('copying the prefix failed: %s'
                               % copy.stderr.decode(errors='replace'))
            for source, folder in deployed:
                self.put_file(source, folder + '\\' + source.name)
        except BaseException:
            shutil.rmtree(self.prefix, ignore_errors=True)
            raise

    # Files ---------------------------------------------------------------------------

    def host_path(self, windows_path: str) -> Path:
        """Where a path on drive C: of this prefix lies on the host."""
        path = PureWindowsPath(windows_path)
        if path.drive.upper() != 'C:' or not path.root:
            raise LabError('only absolute paths on C: are supported: %r' % windows_path)
        return self.prefix.joinpath('drive_c', *path.parts[1:])

    def make_dir(self, windows_path: str) -> Path:
        target = self.host_path(windows_path)
        target.mkdir(parents=True, exist_ok=True)
        return target

    def put_file(self, source: Union[bytes, str, Path], windows_path: str) -> Path:
        """Writes bytes, or copies a host file, to a path on C: (folders made)."""
        target = self.host_path(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(source, bytes):
            target.write_bytes(source)
        else:
            shutil.copyfile(source, target)
        return target

    def put_built(self, name: str, folder: str = DEPLOY) -> Path:
        """Copies a file of the win64 binary folder (helper.exe, a stand-in) here."""
        return self.put_file(self.lab.built(name), folder + '\\' + name)

    def read_file(self, windows_path: str) -> Optional[bytes]:
        target = self.host_path(windows_path)
        return target.read_bytes() if target.is_file() else None

    # Registry ----------------------------------------------------------------------

    def reg_value(self, key: str, name: str, reg_type: int, data: bytes) -> None:
        """Any value as raw bytes of the given type."""
        self._pending.append(('value', full_key(key), name, reg_type, data))

    def reg_dword(self, key: str, name: str, value: int) -> None:
        self.reg_value(key, name, REG_DWORD, (value & 0xFFFFFFFF).to_bytes(4, 'little'))

    def reg_qword(self, key: str, name: str, value: int) -> None:
        self.reg_value(key, name, REG_QWORD, (value & (2**64 - 1)).to_bytes(8, 'little'))

    def reg_sz(self, key: str, name: str, text: str) -> None:
        self.reg_value(key, name, REG_SZ, text.encode('latin-1') + b'\0')

    def reg_key(self, key: str) -> None:
        """An empty key (its parents made as needed)."""
        self._pending.append(('key', full_key(key)))

    def reg_delete_key(self, key: str) -> None:
        self._pending.append(('delete_key', full_key(key)))

    def reg_delete_value(self, key: str, name: str) -> None:
        self._pending.append(('delete_value', full_key(key), name))

    def set_version(self, version: str, programs: Sequence[str] = (PROGRAM, PROBE)) -> None:
        """Wine's Windows version (winxp, win7, nt40, ...) for these programs."""
        for program in programs:
            self.reg_sz('HKCU\\Software\\Wine\\AppDefaults\\' + program, 'Version', version)

    @staticmethod
    def _reg_line(name: str, reg_type: int, data: bytes) -> str:
        quoted = '@' if name == '' else '"%s"' % name.replace('\\', '\\\\').replace('"', '\\"')
        if reg_type == REG_DWORD and len(data) == 4:
            return '%s=dword:%08x' % (quoted, int.from_bytes(data, 'little'))
        if reg_type == REG_SZ and data.endswith(b'\0') and b'\0' not in data[:-1]:
            text = data[:-1].decode('latin-1')
            return '%s="%s"' % (quoted, text.replace('\\', '\\\\').replace('"', '\\"'))
        hex_bytes = ','.join('%02x' % b for b in data)
        return '%s=%s:%s' % (quoted, 'hex' if reg_type == REG_BINARY else 'hex(%x)' % reg_type,
                             hex_bytes)

    def _apply_registry(self) -> None:
        if not self._pending:
            return
        pending, self._pending = self._pending, []
        sections = ['REGEDIT4', '']
        for op in pending:
            if op[0] == 'value':
                sections += ['[%s]' % op[1], self._reg_line(op[2], op[3], op[4]), '']
            elif op[0] == 'key':
                sections += ['[%s]' % op[1], '']
            elif op[0] == 'delete_key':
                sections += ['[-%s]' % op[1], '']
            else:
                sections += ['[%s]' % op[1], '"%s"=-' % op[2], '']
        reg_file = '%s\\settings-%d.reg' % (TOOLS, self._runs)
        self.put_file('\r\n'.join(sections).encode('latin-1') + b'\r\n', reg_file)
        self._wine(['regedit', '/S', reg_file])
        self._verify_registry(pending)

    def _verify_registry(self, ops: Sequence[Tuple]) -> None:
        """Reads back what was imported: regedit itself stays silent on errors."""
        final: Dict[Tuple[str, str], Optional[int]] = {}
        keys: Dict[str, bool] = {}
        for op in ops:
            if op[0] == 'value':
                final[(op[1], op[2])] = op[3]
                keys[op[1]] = True
            elif op[0] == 'key':
                keys[op[1]] = True
            elif op[0] == 'delete_key':
                keys[op[1]] = False
                for k in [k for k in final if k[0].lower() == op[1].lower()]:
                    del final[k]
            else:
                final[(op[1], op[2])] = None
        for key, present in keys.items():
            query = self._wine(['reg', 'query', key], check=False)
            if (query.returncode == 0) != present:
                raise LabError('registry key %s is %s after the import' %
                               (key, 'missing' if present else 'still there'))
            if not present:
                continue
            listed = {}
            for line in query.stdout.decode('latin-1').splitlines():
                m = re.match(r'    (.*?)    (REG_\w+)', line)
                if m:
                    listed[m.group(1).lower()] = m.group(2)
            for (value_key, name), reg_type in final.items():
                if value_key != key:
                    continue
                shown = listed.get((name or '(Default)').lower())
                expected = None if reg_type is None else _REG_TYPE_NAMES.get(reg_type)
                if reg_type is None and shown is not None:
                    raise LabError('registry value %s\\%s is still there' % (key, name))
                if reg_type is not None and shown is None:
                    raise LabError('registry value %s\\%s was not imported' % (key, name))
                if expected is not None and shown != expected:
                    raise LabError('registry value %s\\%s has type %s, not %s'
                                   % (key, name, shown, expected))

    # Running ----------------------------------------------------------------------

    def _ensure_server(self) -> None:
        # Started here, detached from every pipe, so that no output of a
        # run stays open behind a lingering server; "already running" (2)
        # is fine.
        subprocess.run([WINESERVER, '-p%d' % SERVER_LINGER_S], env=wine_environment(self.prefix),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def _wine(self, args: Sequence[str], check: bool = True) -> subprocess.CompletedProcess:
        """Runs a Wine tool (regedit, reg) and returns its status and output.
        These tools only set or read the registry, so one that Wine leaves
        hanging (seen about once in a few hundred calls) is ended with the
        case's server and started again."""
        for attempt in range(1, TOOL_ATTEMPTS + 1):
            self._ensure_server()
            self._calls += 1
            out_path = self.prefix / ('tool-%d.out' % self._calls)
            with open(out_path, 'w+b') as out, open(out_path.with_suffix('.err'), 'w+b') as err:
                # Files, not pipes: a pipe stays open as long as any Wine process
                # that inherited it lives, and Wine's background services linger.
                try:
                    status = subprocess.run(
                        [WINE, *args], env=wine_environment(self.prefix),
                        cwd=str(self.host_path('C:\\')), stdin=subprocess.DEVNULL,
                        stdout=out, stderr=err, timeout=TOOL_TIMEOUT_S).returncode
                except subprocess.TimeoutExpired:
                    if attempt == TOOL_ATTEMPTS:
                        raise
                    self._end_server()
                    continue
                out.seek(0)
                err.seek(0)
                done = subprocess.CompletedProcess(args, status, out.read(), err.read())
                break
        if check and done.returncode != 0:
            raise LabError('wine %s failed (status %d): %s' % (' '.join(args), done.returncode,
                                                              done.stderr.decode(errors='replace')))
        return done

    def run(self, args: Sequence[str] = (), cwd: str = DEPLOY,
            env: Optional[Dict[str, str]] = None, program: str = DEPLOY + '\\' + PROGRAM,
            timeout: float = RUN_TIMEOUT_S) -> RunResult:
        """Runs a program of this prefix through zvrun.exe with the current
        folder cwd and returns what it did."""
        self._apply_registry()
        self._runs += 1
        result_path = '%s\\result-%d.txt' % (TOOLS, self._runs)
        result_file = self.host_path(result_path)
        if result_file.exists():
            result_file.unlink()
        folder = self.host_path(cwd)
        if not folder.is_dir():
            raise LabError('the current folder %s does not exist in the prefix' % cwd)
        out_path = self.prefix / ('console-%d.bin' % self._runs)
        err_path = self.prefix / ('stderr-%d.txt' % self._runs)
        self._ensure_server()
        started = datetime.datetime.now()
        with open(out_path, 'wb') as out, open(err_path, 'wb') as err:
            try:
                unix = subprocess.run([WINE, TOOLS + '\\' + RUNNER, result_path, program, *args],
                                      env=wine_environment(self.prefix, env), cwd=str(folder),
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                      timeout=timeout)
            except subprocess.TimeoutExpired:
                self._end_server()
                raise LabError('%s did not end within %d s' % (program, timeout)) from None
        finished = datetime.datetime.now()
        console = out_path.read_bytes()
        stderr = err_path.read_bytes()
        if not result_file.is_file():
            raise LabError('zvrun.exe reported no exit code (Unix status %d); stderr: %s'
                           % (unix.returncode, stderr.decode('latin-1')[-2000:]))
        unsigned, signed = (int(v) for v in result_file.read_text().split())
        if unsigned & 0xFFFFFFFF != signed & 0xFFFFFFFF:
            raise LabError('zvrun.exe wrote an inconsistent exit code: %r' % result_file.read_text())
        return RunResult(signed, unsigned, console, stderr, self.read_file(LOG_PATH),
                         started, finished)

    def probe(self, cwd: str = DEPLOY) -> Dict[str, str]:
        """zvprobe.exe's answers, run as the program would be."""
        result = self.run(program=TOOLS + '\\' + PROBE, cwd=cwd)
        if result.exit_code != 0:
            raise LabError('zvprobe.exe failed: ' + result.describe())
        facts = {}
        for line in result.console.decode('latin-1').split('\r\n'):
            key, sep, value = line.partition('=')
            if sep:
                facts[key] = value
        return facts

    # The end -------------------------------------------------------------------------

    def _end_server(self) -> None:
        env = wine_environment(self.prefix)
        subprocess.run([WINESERVER, '-k'], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, '-w'], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def close(self) -> None:
        """Ends the case's wineserver and deletes its prefix (kept with
        ZV_KEEP_PREFIX=1). Safe to call more than once."""
        if self._closed:
            return
        self._closed = True
        self._end_server()
        if keep_prefixes():
            print('kept the prefix of %s: %s' % (self.name, self.prefix), file=sys.stderr)
        else:
            shutil.rmtree(self.prefix, ignore_errors=True)

    def __enter__(self) -> 'Case':
        return self

    def __exit__(self, *exc) -> None:
        self.close()


class LabTestCase(unittest.TestCase):
    """Base class for acceptance tests: one lab for the class, and cases
    that are closed whatever happens to the test."""

    lab: Lab
    maxDiff = None

    @classmethod
    def setUpClass(cls) -> None:
        cls.lab = Lab.from_environment()

    def new_case(self, name: Optional[str] = None) -> Case:
        case = self.lab.case(name or self._testMethodName)
        self.addCleanup(case.close)
        return case

    def assertConsole(self, result: RunResult, lines: Sequence[str]) -> None:
        """The console holds exactly these lines, each ending with CR LF."""
        got = result.console.decode('latin-1').split('\r\n')
        self.assertEqual(got, list(lines) + [''], 'console lines differ\n' + result.describe())
        self.assertEqual(result.console, crlf_lines(lines))

    def assertLogRun(self, log: bytes, expected: Sequence[Tuple], result: RunResult) -> None:
        """log (the bytes one run appended) has exactly the expected lines,
        stamped within the run."""
        if log is None:
            self.fail('the run left no log file\n' + result.describe())
        try:
            lines = parse_log(log)
            check_stamps(lines, result.started, result.finished)
        except LogFormatError as error:
            self.fail('%s\n%s' % (error, result.describe()))
        self.assertEqual(shapes(lines), list(expected), 'log lines differ\n' + result.describe())


def main(argv: Sequence[str]) -> int:
    lab = Lab.from_environment()
    if argv[1:] == ['make-template']:
        print('made the prefix template %s in %.1f s' % (lab.template, lab.make_template()))
        return 0
    if argv[1:] == ['remove-template']:
        if keep_prefixes():
            print('kept the prefix template %s' % lab.template)
        else:
            lab.remove_template()
        return 0
    print('usage: winelab.py make-template | remove-template', file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
