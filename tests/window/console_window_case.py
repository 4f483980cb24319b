#!/usr/bin/python3
"""Zelvantorix minimizes its own console window and puts its title back.

Runs the win64 Zelvantorix.exe under Wine with a real console window on a
private X display (Xvfb) that a window manager (openbox) manages, and reads
what the window system holds about that window while the program sits in its
final pause:

- the window is minimized: ICCCM WM_STATE is IconicState (3) and the
  manager's _NET_WM_STATE holds _NET_WM_STATE_HIDDEN;
- its title is the one the console had before the program touched it. A
  console that wineconsole opens for a program is titled with the program's
  full image path, so that is the expected title, in WM_NAME and in
  _NET_WM_NAME, and the program's temporary title must not be left behind.

A second console (wineconsole cmd) stays open beside it as the control: the
same reader must report it as NormalState (1) without _NET_WM_STATE_HIDDEN and
titled with cmd's full image path, although it was started as plain "cmd".
This shows that the reader can tell a normal window from a minimized one,
that the program minimized only its own console, and where the default title
comes from.

The program's whole 32-bit exit code is read on the Windows side: cmd runs
wineconsole (which passes on the program's exit code) and writes
!ERRORLEVEL! to a file. The log of the run must be complete.

Usage: /usr/bin/python3 console_window_case.py --exe <Zelvantorix.exe>
           [--wine /usr/lib/wine/wine64] [--wineserver /usr/lib/wine/wineserver]
           [--keep]
Exit code 0 when every check passes, 1 when one fails, 77 (skip) when no
display can be made here because Xvfb, openbox or the X utilities are missing.
"""

import argparse
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77

# Everything, the prefix made from nothing included, must end well within this.
BUDGET_S = 85.0
POLL_S = 0.1

TEMPORARY_TITLE = b'Zelvantorix-{5D2E8A61-93C4-4B7F-8E06-C1F47A9B3D52}'
PROGRAM_WINDOWS_PATH = 'C:\\deploy\\Zelvantorix.exe'
EXIT_CODE_WINDOWS_PATH = 'C:\\deploy\\exitcode.txt'
CONTROL_COMMAND = 'cmd'
CONTROL_TITLE = b'C:\\windows\\system32\\cmd.exe'
CONSOLE_CLASS = 'conhost.exe'

FRAMEWORK_KEY = 'HKLM\\Software\\Microsoft\\NET Framework Setup\\NDP\\v3.5'

# ICCCM WM_STATE values.
WITHDRAWN_STATE, NORMAL_STATE, ICONIC_STATE = 0, 1, 3
STATE_NAMES = {WITHDRAWN_STATE: 'WithdrawnState', NORMAL_STATE: 'NormalState',
               ICONIC_STATE: 'IconicState'}
HIDDEN = '_NET_WM_STATE_HIDDEN'

STAMP = rb'\d\d-\d\d-\d\d \d\d:\d\d:\d\d '
REPORT_LABELS = (b'Platform type    : ', b'Architecture     : ', b'Major version    : ',
                 b'Minor version    : ', b'Build number     : ', b'Service Pack info: ',
                 b'SP (major.minor) : ')
FINISH_BANNER = b'---------- Finished ----------'


class Failure(Exception):
  """A step could not be done; the case fails with this message."""


class Interrupted(Exception):
  """CTest or a user asked the case to stop."""


class Deadline:
  def __init__(self, seconds):
    self.end = time.monotonic() + seconds

  def left(self, cap=None):
    left = max(0.0, self.end - time.monotonic())
    return left if cap is None else min(left, cap)


def log(text):
  print(text, flush=True)


def quoted(data):
  return repr(data.decode('latin-1')) if data is not None else '(none)'


# --- X side --------------------------------------------------------------------------------------

class WindowFacts:
  """What xprop tells about one top-level client window."""

  def __init__(self, window_id, text):
    self.window_id = window_id
    self.raw = text
    self.wm_class = None
    self.wm_name = None
    self.net_wm_name = None
    self.wm_state = None
    self.net_wm_state = None
    self.pid = None
    for line in text.splitlines():
      name, _, value = line.partition(' = ')
      if not _:
        continue
      prop = name.split('(')[0]
      if prop == 'WM_CLASS':
        self.wm_class = re.findall(r'"([^"]*)"', value)
      elif prop in ('WM_NAME', '_NET_WM_NAME'):
        data = hex_bytes(value)
        if prop == 'WM_NAME':
          self.wm_name = data
        else:
          self.net_wm_name = data
      elif prop == 'WM_STATE':
        self.wm_state = int(value.split(',')[0])
      elif prop == '_NET_WM_STATE':
        self.net_wm_state = [atom.strip() for atom in value.split(',') if atom.strip()]
      elif prop == '_NET_WM_PID':
        self.pid = int(value)

  def is_console(self):
    return self.wm_class is not None and CONSOLE_CLASS in self.wm_class

  def state_name(self):
    if self.wm_state is None:
      return 'no WM_STATE'
    return STATE_NAMES.get(self.wm_state, 'state %d' % self.wm_state)

  def describe(self):
    return ('window 0x%x: WM_STATE %s (%s), _NET_WM_STATE %s, WM_NAME %s, _NET_WM_NAME %s' %
            (self.window_id, self.state_name(),
             self.wm_state if self.wm_state is not None else '-',
             '[' + ', '.join(self.net_wm_state) + ']' if self.net_wm_state is not None
             else '(none)', quoted(self.wm_name), quoted(self.net_wm_name)))


def hex_bytes(value):
  """Bytes from xprop's 8x format: '0x43, 0x3a, ...'; empty for an empty text."""
  return bytes(int(item, 16) for item in re.findall(r'0x[0-9a-fA-F]+', value))


class Display:
  def __init__(self, env):
    self.env = env

  def run(self, args, timeout=10.0):
    try:
      done = subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
      return None
    if done.returncode != 0:
      return None
    return done.stdout.decode('latin-1')

  def wm_name(self):
    """The window manager's name once it has announced itself, else None."""
    text = self.run(['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'])
    match = re.search(r'window id # (0x[0-9a-fA-F]+)', text or '')
    if not match:
      return None
    text = self.run(['xprop', '-id', match.group(1), '-f', '_NET_WM_NAME', '8x',
                     '_NET_WM_NAME'])
    match = re.search(r'= (.*)', text or '')
    return hex_bytes(match.group(1)).decode('utf-8', 'replace') if match else None

  def clients(self):
    """The top-level windows that the window manager manages, iconified ones included."""
    text = self.run(['xprop', '-root', '_NET_CLIENT_LIST'])
    if text is None or '#' not in text:
      return []
    return [int(item, 16) for item in re.findall(r'0x[0-9a-fA-F]+', text.split('#', 1)[1])]

  def facts(self, window_id):
    text = self.run(['xprop', '-id', '0x%x' % window_id,
                     '-f', 'WM_NAME', '8x', '-f', '_NET_WM_NAME', '8x', '-f', 'WM_STATE', '32c',
                     'WM_CLASS', 'WM_NAME', '_NET_WM_NAME', 'WM_STATE', '_NET_WM_STATE',
                     '_NET_WM_PID'])
    return WindowFacts(window_id, text) if text is not None else None

  def consoles(self):
    found = []
    for window_id in self.clients():
      facts = self.facts(window_id)
      if facts is not None and facts.is_console():
        found.append(facts)
    return found

  def tree(self):
    return self.run(['xwininfo', '-root', '-tree']) or '(xwininfo gave nothing)'


# --- Processes -----------------------------------------------------------------------------------

class Session:
  """Everything the case starts, so that all of it can be ended."""

  def __init__(self, work, wine, wineserver):
    self.work = work
    self.wine = wine
    self.wineserver = wineserver
    self.prefix = os.path.join(work, 'prefix')
    self.processes = []  # (name, Popen)
    self.env = dict(os.environ)
    for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'XAUTHORITY'):
      self.env.pop(name, None)
    for name, sub in (('XDG_CONFIG_HOME', 'config'), ('XDG_CACHE_HOME', 'cache'),
                      ('XDG_DATA_HOME', 'data')):
      self.env[name] = os.path.join(work, 'xdg', sub)
      os.makedirs(self.env[name], exist_ok=True)
    self.env['WINEPREFIX'] = self.prefix
    self.env['WINEDEBUG'] = '-all'
    self.env['WINEDLLOVERRIDES'] = 'mscoree,mshtml='

  def start(self, name, args, **extra):
    output = open(os.path.join(self.work, name + '.out'), 'wb')
    try:
      process = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL, stdout=output,
                                 stderr=subprocess.STDOUT, start_new_session=True, **extra)
    finally:
      output.close()
    self.processes.append((name, process))
    return process

  def output_of(self, name):
    try:
      with open(os.path.join(self.work, name + '.out'), 'rb') as stream:
        return stream.read().decode('latin-1', 'replace').strip() or '(no output)'
    except OSError:
      return '(no output file)'

  def wine_run(self, name, args, timeout):
    process = self.start(name, [self.wine] + args)
    try:
      return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
      raise Failure('%s did not end within %.0f s; its output: %s' %
                    (' '.join(args), timeout, self.output_of(name)))

  def drive_c(self, *parts):
    return os.path.join(self.prefix, 'drive_c', *parts)

  def prefix_processes(self):
    """Ids of live processes that run under this case's Wine prefix."""
    marker = b'WINEPREFIX=' + self.prefix.encode() + b'\0'
    found = []
    for entry in os.listdir('/proc'):
      if not entry.isdigit() or int(entry) == os.getpid():
        continue
      try:
        with open('/proc/%s/environ' % entry, 'rb') as stream:
          if marker in stream.read() + b'\0':
            found.append(int(entry))
      except OSError:
        pass
    return found

  def end_all(self):
    """Ends the Wine server and every process the case started. Returns what stayed."""
    notes = []
    if os.path.isdir(self.prefix):
      for flag in ('-k', '-w'):
        try:
          subprocess.run([self.wineserver, flag], env=self.env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=15)
        except (subprocess.TimeoutExpired, OSError) as error:
          notes.append('wineserver %s: %s' % (flag, error))
    # Wine processes first, the display last.
    for name, process in reversed(self.processes):
      if process.poll() is not None:
        continue
      for sig, wait in ((signal.SIGTERM, 3.0), (signal.SIGKILL, 3.0)):
        try:
          os.killpg(process.pid, sig)
        except ProcessLookupError:
          break
        try:
          process.wait(timeout=wait)
          break
        except subprocess.TimeoutExpired:
          continue
    left = self.prefix_processes()
    for pid in left:
      try:
        os.kill(pid, signal.SIGKILL)
      except ProcessLookupError:
        pass
    if left:
      notes.append('processes of the Wine prefix were still running after wineserver -k '
                   'and were killed: %s' % ', '.join(map(str, left)))
    return notes


def start_display(session, deadline):
  """Xvfb on a free display number (it picks one itself), then openbox on it."""
  reader, writer = os.pipe()
  try:
    xvfb = session.start('xvfb', ['Xvfb', '-displayfd', str(writer), '-screen', '0',
                                  '1024x768x24', '-nolisten', 'tcp', '-noreset'],
                         pass_fds=(writer,))
  finally:
    os.close(writer)
  number = b''
  try:
    end = deadline.left(20.0) + time.monotonic()
    while not number.endswith(b'\n'):
      wait = end - time.monotonic()
      if wait <= 0 or xvfb.poll() is not None:
        raise Failure('Xvfb gave no display number; its output: %s' % session.output_of('xvfb'))
      ready, _, _ = select.select([reader], [], [], min(wait, 0.5))
      if ready:
        chunk = os.read(reader, 64)
        if not chunk:
          raise Failure('Xvfb closed its display pipe; its output: %s' %
                        session.output_of('xvfb'))
        number += chunk
  finally:
    os.close(reader)
  session.env['DISPLAY'] = ':' + number.decode().strip()
  display = Display(session.env)
  log('display %s: Xvfb is up' % session.env['DISPLAY'])

  openbox = session.start('openbox', ['openbox', '--sm-disable'])
  end = time.monotonic() + deadline.left(20.0)
  while True:
    name = display.wm_name()
    if name:
      log('window manager %r is up' % name)
      return display
    if openbox.poll() is not None:
      raise Failure('openbox ended at once; its output: %s' % session.output_of('openbox'))
    if time.monotonic() >= end:
      raise Failure('openbox did not announce itself (_NET_SUPPORTING_WM_CHECK)')
    time.sleep(POLL_S)


def make_prefix(session, exe, deadline):
  started = time.monotonic()
  code = session.wine_run('wineboot', ['wineboot', '-i'], deadline.left(50.0))
  if code != 0:
    raise Failure('wineboot -i ended with %d: %s' % (code, session.output_of('wineboot')))
  code = session.wine_run('reg', ['reg', 'add', FRAMEWORK_KEY, '/v', 'SP', '/t', 'REG_DWORD',
                                  '/d', '1', '/f'], deadline.left(20.0))
  if code != 0:
    raise Failure('reg add of the framework value ended with %d: %s' %
                  (code, session.output_of('reg')))
  os.makedirs(session.drive_c('deploy'), exist_ok=True)
  shutil.copy2(exe, session.drive_c('deploy', 'Zelvantorix.exe'))
  log('prefix made in %.1f s' % (time.monotonic() - started))


def wait_for_control(session, display, control, deadline):
  """The control console, once the window manager shows it as a normal window."""
  end = time.monotonic() + deadline.left(25.0)
  last = []
  while time.monotonic() < end:
    if control.poll() is not None:
      raise Failure('the control console ended early; its output: %s' %
                    session.output_of('control'))
    last = display.consoles()
    for facts in last:
      if facts.wm_state == NORMAL_STATE:
        return facts
    time.sleep(POLL_S)
  raise Failure('the control console did not come up as a normal window; seen: %s' %
                ('; '.join(facts.describe() for facts in last) or 'no console window'))


def read_log(session):
  try:
    with open(session.drive_c('TQV', 'Logs', 'Zelvantorix.log'), 'rb') as stream:
      return stream.read()
  except OSError:
    return b''


# --- Checks --------------------------------------------------------------------------------------

class Checks:
  def __init__(self):
    self.failed = 0

  def expect(self, ok, what, detail=''):
    log('%s %s%s' % ('PASS' if ok else 'FAIL', what, (': ' + detail) if detail else ''))
    if not ok:
      self.failed += 1
    return ok


def check_program_window(checks, facts):
  checks.expect(facts.wm_state == ICONIC_STATE, 'program console is minimized (WM_STATE)',
                'WM_STATE %s, wanted IconicState' % facts.state_name())
  checks.expect(facts.net_wm_state is not None and HIDDEN in facts.net_wm_state,
                'program console is minimized (_NET_WM_STATE)',
                '_NET_WM_STATE %s, wanted %s in it' % (facts.net_wm_state, HIDDEN))
  expected = PROGRAM_WINDOWS_PATH.encode()
  for prop, value in (('WM_NAME', facts.wm_name), ('_NET_WM_NAME', facts.net_wm_name)):
    checks.expect(value is not None and TEMPORARY_TITLE not in value,
                  'program console does not keep the temporary title (%s)' % prop,
                  '%s is %s' % (prop, quoted(value)))
    checks.expect(value == expected, 'program console has its old title back (%s)' % prop,
                  '%s is %s, wanted %s' % (prop, quoted(value), quoted(expected)))


def check_control_window(checks, facts):
  if not checks.expect(facts is not None, 'control console still open'):
    return
  checks.expect(facts.wm_state == NORMAL_STATE and
                (facts.net_wm_state is not None and HIDDEN not in facts.net_wm_state),
                'control console reads as a normal window', facts.describe())
  checks.expect(facts.wm_name is not None and facts.wm_name.lower() == CONTROL_TITLE.lower(),
                'control console is titled with its full image path', facts.describe())


def check_log(checks, data):
  """A complete run from an empty log: banner, the report block, the verdict, banner."""
  # The line ends are the log's own business and are checked elsewhere; here any CR before
  # the LF is taken as part of the line end.
  lines = re.split(rb'\r*\n', data)
  complete_ends = lines[-1] == b''
  lines = lines[:-1] if complete_ends else lines
  entry = lambda indent, text: re.compile(b' ' * indent + STAMP + text + b'$')
  patterns = [entry(0, re.escape(b'---------- Zelvantorix started ----------')),
              re.compile(b'{$'),
              entry(2, re.escape(b'--- System Information ---')),
              entry(2, b'[^ ].*'),  # product
              entry(2, b'[^ ].*')]  # edition
  patterns += [entry(2, re.escape(label) + b'.*') for label in REPORT_LABELS]
  patterns += [entry(2, b''),
               re.compile(b'}$'),
               entry(0, re.escape(b'The .NET Framework 3.5 is already installed.')),
               entry(0, re.escape(b'You may close me now.')),
               entry(0, re.escape(FINISH_BANNER))]
  problems = []
  if not complete_ends:
    problems.append('the log does not end with a line end')
  if len(lines) != len(patterns):
    problems.append('%d lines, wanted %d' % (len(lines), len(patterns)))
  for number, (line, pattern) in enumerate(zip(lines, patterns), 1):
    if not pattern.match(line):
      problems.append('line %d is %r' % (number, line))
  checks.expect(not problems, 'the log holds one complete run', '; '.join(problems) or
                '%d lines, the nine report lines inside the System Information block' %
                len(lines))
  if problems:
    log('--- the log ---\n' + data.decode('latin-1', 'replace') + '--- end of the log ---')


# --- The case ------------------------------------------------------------------------------------

def run_case(session, exe, checks):
  deadline = Deadline(BUDGET_S)
  begin = time.monotonic()
  display = start_display(session, deadline)
  make_prefix(session, exe, deadline)

  control = session.start('control', [session.wine, 'wineconsole', CONTROL_COMMAND])
  control_window = wait_for_control(session, display, control, deadline)
  log('control console: ' + control_window.describe())

  started = time.monotonic()
  run = session.start('run', [session.wine, 'cmd', '/v:on', '/c',
                              'wineconsole %s & echo !ERRORLEVEL! > %s' %
                              (PROGRAM_WINDOWS_PATH, EXIT_CODE_WINDOWS_PATH)])

  # Until the finish banner, note every change of the program's console as the window system
  # shows it. Only what is seen during the final pause is judged; the rest is for the reader.
  history = []
  end = time.monotonic() + deadline.left(40.0)
  while FINISH_BANNER not in read_log(session):
    if run.poll() is not None:
      raise Failure('the program ended before its finish banner; cmd output: %s' %
                    session.output_of('run'))
    if time.monotonic() >= end:
      raise Failure('no finish banner in the log within the time allowed')
    for facts in display.consoles():
      if facts.window_id == control_window.window_id:
        continue
      seen = (facts.wm_state, tuple(facts.net_wm_state or ()), facts.wm_name)
      if not history or history[-1][1] != seen:
        history.append((time.monotonic() - started, seen, facts.describe()))
    time.sleep(POLL_S)
  banner_at = time.monotonic() - started
  log('finish banner in the log %.1f s after the start' % banner_at)
  for at, _, text in history:
    log('  seen at %.2f s: %s' % (at, text))

  # The final pause: the program does nothing more to its window for 5 s. Give the window
  # manager time to catch up, and take the last reading as the verdict.
  settle_end = time.monotonic() + min(3.0, deadline.left())
  program_window = None
  while True:
    consoles = [facts for facts in display.consoles()
                if facts.window_id != control_window.window_id]
    if len(consoles) == 1:
      program_window = consoles[0]
      if (program_window.wm_state == ICONIC_STATE and program_window.wm_name is not None and
          TEMPORARY_TITLE not in program_window.wm_name):
        break
    if time.monotonic() >= settle_end or run.poll() is not None:
      break
    time.sleep(POLL_S)
  still_running = run.poll() is None
  control_now = next((facts for facts in display.consoles()
                      if facts.window_id == control_window.window_id), None)

  if checks.expect(program_window is not None and len(consoles) == 1,
                   'one console window of the program during its final pause',
                   '%d found: %s' % (len(consoles), '; '.join(f.describe() for f in consoles))):
    log('program console: ' + program_window.describe())
    check_program_window(checks, program_window)
  else:
    log('--- xwininfo -root -tree ---\n' + display.tree())
  checks.expect(still_running, 'the program was still in its final pause when read')
  if control_now is not None:
    log('control console: ' + control_now.describe())
  check_control_window(checks, control_now)

  try:
    run.wait(timeout=deadline.left(30.0))
  except subprocess.TimeoutExpired:
    raise Failure('the program did not end within the time allowed after its finish banner')
  ended_at = time.monotonic() - started
  log('program ended %.1f s after the start, %.1f s after its finish banner' %
      (ended_at, ended_at - banner_at))
  try:
    with open(session.drive_c('deploy', 'exitcode.txt'), 'rb') as stream:
      code_text = stream.read().decode('latin-1').strip()
  except OSError:
    code_text = None
  checks.expect(code_text == '0', 'the program exit code (all 32 bits, read by cmd) is 0',
                'cmd wrote %r; cmd output: %s' % (code_text, session.output_of('run'))
                if code_text != '0' else 'cmd wrote 0')
  check_log(checks, read_log(session))
  log('case body took %.1f s' % (time.monotonic() - begin))


def interrupt(signum, _frame):
  raise Interrupted('signal %d' % signum)


def main():
  parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
  parser.add_argument('--exe', required=True, help='the win64 Zelvantorix.exe')
  parser.add_argument('--wine', default='/usr/lib/wine/wine64')
  parser.add_argument('--wineserver', default='/usr/lib/wine/wineserver')
  parser.add_argument('--keep', action='store_true', help='keep the work folder')
  options = parser.parse_args()

  missing = [tool for tool in ('Xvfb', 'openbox', 'xprop', 'xwininfo') if not shutil.which(tool)]
  if missing:
    log('SKIP: no display can be made here, missing: %s (scripts/setup.sh installs them)' %
        ', '.join(missing))
    return SKIP
  for path, what in ((options.exe, 'the program'), (options.wine, 'wine64'),
                     (options.wineserver, 'wineserver')):
    if not os.path.isfile(path):
      log('FAIL: %s is missing: %s' % (what, path))
      return 1

  for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    signal.signal(signum, interrupt)
  work = tempfile.mkdtemp(prefix='zv-window-')
  session = Session(work, options.wine, options.wineserver)
  checks = Checks()
  began = time.monotonic()
  try:
    run_case(session, options.exe, checks)
  except (Failure, Interrupted) as error:
    checks.expect(False, 'the case ran to its end', str(error))
  finally:
    # A second signal must not cut the cleanup short.
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
      signal.signal(signum, signal.SIG_IGN)
    for note in session.end_all():
      checks.expect(False, 'clean end', note)
    if options.keep:
      log('work folder kept: %s' % work)
    else:
      shutil.rmtree(work, ignore_errors=True)
  log('%s in %.1f s' % ('FAILED' if checks.failed else 'passed', time.monotonic() - began))
  return 1 if checks.failed else 0


if __name__ == '__main__':
  sys.exit(main())
