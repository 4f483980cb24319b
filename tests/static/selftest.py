#!/usr/bin/python3
"""Proves that check_pe.py catches the faults it is there for.

Builds small Windows programs with the mingw-w64 cross compilers, each wrong
in one way (and one right, as a control), runs check_pe.py on each and
expects its exit code, with the failing checks naming the fault. The 64-bit
image is the win64 build's Zelvantorix.exe when there is one.

Usage: selftest.py --res-dir <res folder> --work-dir <dir> [--win64-exe <exe>]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from typing import List, NamedTuple, Optional

HERE = os.path.dirname(os.path.abspath(__file__))
CHECKER = os.path.join(HERE, 'check_pe.py')

CC32 = 'i686-w64-mingw32-gcc-win32'
CXX32 = 'i686-w64-mingw32-g++-win32'
CC64 = 'x86_64-w64-mingw32-gcc-win32'
WINDRES = 'i686-w64-mingw32-windres'
# The link flags of the deliverable itself.
DELIVERABLE = ['-static', '-s', '-Wl,--subsystem,console:5.01']

EMPTY_MAIN = 'int main(void) { return 0; }\n'
PRODUCT_INFO_MAIN = '''#include <windows.h>
int main(void) {
  DWORD type = 0;
  GetProductInfo(6, 0, 0, 0, &type);
  return (int)type;
}
'''
CXX_MAIN = '''#include <stdexcept>
#include <string>
int main(int argc, char**) {
  std::string text(static_cast<unsigned>(argc), 'x');
  if (argc > 5) throw std::runtime_error(text);
  return static_cast<int>(text.size());
}
'''
# Resource scripts; the program's res folder is on windres's include path.
PROGRAM_RC = '#include "zelvantorix.rc"\n'
# The program's resources plus what a toolchain's default manifest would add:
# a second manifest, language neutral.
DEFAULT_MANIFEST_RC = PROGRAM_RC + 'LANGUAGE 0, 0\n1 24 "zelvantorix.manifest"\n'
AS_INVOKER_RC = 'LANGUAGE 0x09, 0x01\n1 24 "asinvoker.manifest"\n'
AS_INVOKER_MANIFEST = '''<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="asInvoker" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
</assembly>
'''


class Case(NamedTuple):
    name: str
    role: str               # --role of the checker
    compiler: str           # CXX32 compiles C++, the others C
    source: str
    flags: List[str]
    rc: Optional[str]       # resource script, or None
    exit_code: int          # expected of the checker
    texts: List[str]        # that the checker's output must hold


CASES = [
    Case('correct program (control)', 'program', CC32, EMPTY_MAIN, DELIVERABLE, PROGRAM_RC,
         0, ['all checks passed']),
    Case('64-bit image', 'program', CC64, EMPTY_MAIN, DELIVERABLE, None,
         1, ['FAIL machine', '0x8664', 'PE32+']),
    Case('static import of GetProductInfo', 'helper', CC32, PRODUCT_INFO_MAIN,
         DELIVERABLE + ['-D_WIN32_WINNT=0x0600'], None,
         1, ['FAIL no run-time-only functions imported', 'kernel32.dll!GetProductInfo',
             'FAIL functions exported by Windows XP SP2']),
    Case('C++ runtime DLLs (no -static)', 'helper', CXX32, CXX_MAIN, ['-s'], None,
         1, ['FAIL no runtime DLLs', 'libstdc++-6.dll', 'FAIL system DLLs only']),
    Case('GUI subsystem for Vista', 'helper', CC32, EMPTY_MAIN,
         ['-static', '-s', '-mwindows', '-Wl,--subsystem,windows:6.0'], None,
         1, ['FAIL subsystem:', 'FAIL subsystem version', '6.0']),
    Case('second, default manifest', 'program', CC32, EMPTY_MAIN, DELIVERABLE,
         DEFAULT_MANIFEST_RC,
         1, ['FAIL one manifest resource', 'id 1 language 0']),
    Case('asInvoker manifest, no version resource', 'program', CC32, EMPTY_MAIN, DELIVERABLE,
         AS_INVOKER_RC,
         1, ['FAIL manifest content', 'level="asInvoker"', 'FAIL one version resource']),
]


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True)


def build(case, work, res_dir):
    """Builds the case's image in work and returns its path; raises with the tool's output."""
    stem = ''.join(c if c.isalnum() else '_' for c in case.name)
    source = stem + ('.cpp' if case.compiler == CXX32 else '.c')
    with open(os.path.join(work, source), 'w') as f:
        f.write(case.source)
    objects = []
    if case.rc is not None:
        with open(os.path.join(work, stem + '.rc'), 'w') as f:
            f.write(case.rc)
        objects.append(stem + '.res.o')
        result = run([WINDRES, '--include-dir', res_dir, '-i', stem + '.rc', '-o', objects[0]],
                     work)
        if result.returncode != 0:
            raise RuntimeError('%s failed:\n%s' % (WINDRES, result.stdout))
    exe = os.path.join(work, stem + '.exe')
    result = run([case.compiler, source] + objects + case.flags + ['-o', exe], work)
    if result.returncode != 0:
        raise RuntimeError('%s failed:\n%s' % (case.compiler, result.stdout))
    return exe


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--res-dir', required=True, help="the program's res folder")
    parser.add_argument('--work-dir', required=True)
    parser.add_argument('--win64-exe', help="the win64 build's Zelvantorix.exe, used if present")
    args = parser.parse_args()

    missing = [tool for tool in (CC32, CXX32, CC64, WINDRES) if not shutil.which(tool)]
    if missing:
        print('selftest: cross tools missing: %s (scripts/setup.sh installs them)'
              % ', '.join(missing))
        return 1

    os.makedirs(args.work_dir, exist_ok=True)
    failures = 0
    with tempfile.TemporaryDirectory(dir=args.work_dir) as work:
        with open(os.path.join(work, 'asinvoker.manifest'), 'w') as f:
            f.write(AS_INVOKER_MANIFEST)
        for case in CASES:
            if case.compiler == CC64 and args.win64_exe and os.path.isfile(args.win64_exe):
                exe = args.win64_exe
            else:
                try:
                    exe = build(case, work, args.res_dir)
                except RuntimeError as error:
                    failures += 1
                    print('FAIL %s: the test image could not be built: %s' % (case.name, error))
                    continue
            result = run([sys.executable, CHECKER, exe, '--role', case.role], work)
            absent = [text for text in case.texts if text not in result.stdout]
            if result.returncode == case.exit_code and not absent:
                print('ok   %s (%s): exit code %d'
                      % (case.name, os.path.basename(exe), result.returncode))
                continue
            failures += 1
            print('FAIL %s (%s):\n  found:    exit code %d, output without %s\n'
                  '  expected: exit code %d, output with %s\n  checker output:\n    %s' % (
                      case.name, exe, result.returncode, absent, case.exit_code, case.texts,
                      result.stdout.rstrip().replace('\n', '\n    ')))
    print('%d case(s) failed' % failures if failures else 'the checker caught every fault')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
