#!/usr/bin/env bash
# The benchmark: a full run of Zelvantorix.exe (framework present) set side
# by side with zvnull.exe, an empty program built and linked like it, and
# zvwait.exe, the same empty program making the program's three fixed waits,
# all under the same Wine with its server already running, in turns
# (A B C A B C ...).
#
#   bash scripts/bench.sh [--short] [--reps N] [--clean]
#
# 10 rounds by default, 3 with --short, N with --reps. Prints the figures and
# the targets met or not, and writes them to results.txt in the bench folder.
# The Wine prefix there is made on the first run and kept for the next ones;
# --clean removes it at the end.
#
# Figures:
#   Overhead ratio     what the program takes beyond its fixed waits, per
#                      empty program: (Zelvantorix - (zvwait - zvnull)) /
#                      zvnull, the waits as this system really makes them;
#                      and (Zelvantorix - 5.290 s) / zvnull, the waits at their
#                      nominal length (a timer that overshoots counts as the
#                      program's own time there).
#   Windows-side time  CreateProcess to the end of the program, measured
#                      inside Wine by zvmeasure.exe: the main time figure.
#   Unix-side time     start to end of "wine64 zvmeasure.exe ...", Wine's
#                      own start-up and that of the measuring tool included.
#   Peak memory        the peak resident set of the program's own process
#                      (what Wine reports as its peak working set), read when
#                      the process is reaped: this script's driver adopts
#                      Wine's processes as a child subreaper.
#   Windows-side peak  zvmeasure's GetProcessMemoryInfo through the open
#                      handle after the end: exact on Windows; under Wine
#                      answered only while the Unix process is still there
#                      (0 otherwise), so a second figure over the runs that
#                      got an answer.
#
# Exit status: 0 when every run could be made and measured and the 32-bit
# program's size is within its target; 1 otherwise. Time and memory figures
# never fail it: this machine is shared and noisy.
#
# Environment: ZV_WIN64_DIR, ZV_WIN32_DIR (binary folders; build/win64 and
# build/win32 by default, built here when needed), ZV_BENCH_DIR (the Wine
# prefix, samples and results; build/bench by default).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
reps=10
clean=0
while [ $# -gt 0 ]; do
  case "$1" in
    --short) reps=3 ;;
    --clean) clean=1 ;;
    --reps)
      [ $# -ge 2 ] || { echo "bench: --reps needs a number" >&2; exit 2; }
      reps=$2
      shift ;;
    *) echo "usage: bash scripts/bench.sh [--short] [--reps N] [--clean]" >&2; exit 2 ;;
  esac
  shift
done
case "$reps" in
  '' | *[!0-9]* | 0) echo "bench: --reps takes a positive whole number" >&2; exit 2 ;;
esac

win64=${ZV_WIN64_DIR:-$repo/build/win64}
win32=${ZV_WIN32_DIR:-$repo/build/win32}
bench=${ZV_BENCH_DIR:-$repo/build/bench}
python=${ZV_PYTHON:-/usr/bin/python3}
wine=${ZV_WINE:-/usr/lib/wine/wine64}
wineserver=${ZV_WINESERVER:-/usr/lib/wine/wineserver}

bash "$repo/scripts/setup.sh"

# A binary folder: built when it lacks anything, else brought up to date
# (nothing to do in CI, whose test script built it first).
build() {
  local preset=$1 dir=$2 toolchain=$3 type=$4
  if [ ! -f "$dir/build.ninja" ]; then
    echo "bench: configuring $preset in $dir"
    if [ "$dir" -ef "$repo/build/$preset" ] || [ "$dir" = "$repo/build/$preset" ]; then
      (cd "$repo" && cmake --preset "$preset" >/dev/null)
    else
      cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$toolchain" \
        -DCMAKE_BUILD_TYPE="$type" >/dev/null
    fi
  fi
  cmake --build "$dir"
}
build win64 "$win64" mingw-w64-x86_64.cmake Release
build win32 "$win32" mingw-w64-i686.cmake MinSizeRel

for tool in "$win64/Zelvantorix.exe" "$win64/zvnull.exe" "$win64/zvwait.exe" \
            "$win64/zvmeasure.exe" \
            "$win32/Zelvantorix.exe" "$wine" "$wineserver" "$python"; do
  [ -e "$tool" ] || { echo "bench: $tool is missing" >&2; exit 1; }
done

# One benchmark at a time per bench folder.
mkdir -p "$bench"
exec 9>"$bench/.lock"
flock -w 900 9 || { echo "bench: $bench is busy with another benchmark" >&2; exit 1; }

prefix=$bench/prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
end_server() {
  "$wineserver" -k >/dev/null 2>&1 9>&- || true
  "$wineserver" -w >/dev/null 2>&1 9>&- || true
}
finish() {
  end_server
  if [ "$clean" = 1 ]; then rm -rf "$prefix"; fi
}
trap finish EXIT

# The prefix is made once and kept for the next run; one that a stopped run
# left half made is made again.
end_server
if [ ! -f "$prefix/.zv-ready" ]; then
  rm -rf "$prefix"
  echo "bench: making the Wine prefix $prefix"
  if ! "$wine" wineboot -i </dev/null >"$bench/wineboot.log" 2>&1 9>&-; then
    echo "bench: wineboot -i failed; see $bench/wineboot.log" >&2
    exit 1
  fi
  "$wineserver" -w 9>&-
  touch "$prefix/.zv-ready"
fi

# The programs in C:\zvbench, and the framework present.
mkdir -p "$prefix/drive_c/zvbench"
cp "$win64/Zelvantorix.exe" "$win64/zvnull.exe" "$win64/zvwait.exe" "$win64/zvmeasure.exe" \
  "$prefix/drive_c/zvbench/"
if ! "$wine" reg add 'HKLM\Software\Microsoft\NET Framework Setup\NDP\v3.5' /v SP \
       /t REG_DWORD /d 1 /f </dev/null >"$bench/reg.log" 2>&1 9>&-; then
  echo "bench: setting the framework's registry value failed; see $bench/reg.log" >&2
  exit 1
fi
end_server

"$python" - "$reps" "$bench" "$prefix" "$win32/Zelvantorix.exe" "$wine" "$wineserver" <<'PY'
import ctypes
import os
import shutil
import statistics
import subprocess
import sys
import time

reps = int(sys.argv[1])
bench, prefix, deliverable, wine, wineserver = sys.argv[2:7]

FIXED_WAITS_S = 5.290          # the program's fixed waits: 40 + 250 + 5000 ms
RATIO_TARGET = 1.10            # overhead beyond the fixed waits, per empty program
MEMORY_TARGET_KIB = 1024       # peak memory at most this much above the empty program's
SIZE_TARGET_BYTES = 64 * 1024  # the 32-bit Zelvantorix.exe
PROGRAMS = ('Zelvantorix.exe', 'zvnull.exe', 'zvwait.exe')
REAP_WAIT_S = 15
RUN_TIMEOUT_S = 180

folder = os.path.join(prefix, 'drive_c', 'zvbench')
samples_path = os.path.join(bench, 'samples.tsv')
results_path = os.path.join(bench, 'results.txt')


class BenchError(Exception):
    pass


# Wine starts a Windows program as an orphan of the process that asked for
# it; as a child subreaper this driver adopts it and reads its peak resident
# set when reaping it.
PR_SET_CHILD_SUBREAPER = 36
libc = ctypes.CDLL(None, use_errno=True)
if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
    print('bench: cannot become a child subreaper (errno %d)' % ctypes.get_errno(),
          file=sys.stderr)
    sys.exit(1)


def reap(wanted=None, deadline=0.0):
    """Reaps the adopted processes that have ended; returns the peak resident
    set (KiB) of the one whose name is wanted, waiting for it until the
    deadline."""
    found = None
    while True:
        try:
            info = os.waitid(os.P_ALL, 0, os.WEXITED | os.WNOHANG | os.WNOWAIT)
        except ChildProcessError:
            info = None
        if info is None:
            if found is not None or wanted is None or time.monotonic() > deadline:
                return found
            time.sleep(0.01)
            continue
        try:
            with open('/proc/%d/comm' % info.si_pid) as f:
                name = f.read().strip()
        except OSError:
            name = ''
        _, _, usage = os.wait4(info.si_pid, 0)
        if wanted is not None and name == wanted[:15]:
            found = usage.ru_maxrss


def quiet(args):
    return subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode


def run(program, label):
    """One measured run: zvmeasure.exe starts the program and reports."""
    result_file = os.path.join(folder, 'result.txt')
    if os.path.exists(result_file):
        os.remove(result_file)
    if program == 'Zelvantorix.exe':
        # Every run starts as on a machine without the log folder.
        shutil.rmtree(os.path.join(prefix, 'drive_c', 'TQV'), ignore_errors=True)
    console = os.path.join(bench, label + '.console')
    errors = os.path.join(bench, label + '.stderr')
    with open(console, 'wb') as out, open(errors, 'wb') as err:
        begin = time.monotonic()
        try:
            status = subprocess.run(
                [wine, 'C:\\zvbench\\zvmeasure.exe', 'C:\\zvbench\\result.txt',
                 'C:\\zvbench\\' + program],
                cwd=folder, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                timeout=RUN_TIMEOUT_S).returncode
        except subprocess.TimeoutExpired:
            raise BenchError('%s did not end within %d s' % (program, RUN_TIMEOUT_S)) from None
        unix_s = time.monotonic() - begin
    if status != 0 or not os.path.exists(result_file):
        raise BenchError('zvmeasure.exe failed on %s (status %d); see %s'
                         % (program, status, errors))
    with open(result_file) as f:
        figures = dict(line.strip().split('=', 1) for line in f if '=' in line)
    if int(figures['exit_code']) != 0:
        raise BenchError('%s ended with exit code %s, not 0; its console is in %s'
                         % (program, figures['exit_code'], console))
    rss = reap(program, time.monotonic() + REAP_WAIT_S)
    if rss is None:
        raise BenchError('the process of %s was not seen to end' % program)
    return {'windows_s': int(figures['wall_us']) / 1e6, 'unix_s': unix_s, 'rss_kib': rss,
            'win_peak_kib': int(figures['peak_working_set']) // 1024}


def spread(values):
    middle = statistics.median(values)
    return middle, min(values), max(values), (max(values) - min(values)) / middle * 100


def verdict(met):
    return 'MET' if met else 'NOT MET'


def main():
    samples = {p: [] for p in PROGRAMS}
    # Started once, outside any measured span; "already running" (2) will do.
    if quiet([wineserver, '-p']) not in (0, 2):
        raise BenchError('cannot start the wineserver')
    try:
        # Warm-up, not counted: the first program of a server starts Wine's
        # own services, and the files come into the page cache.
        for program in PROGRAMS:
            run(program, 'warmup.' + program)
        with open(samples_path, 'w') as table:
            table.write('round\tprogram\twindows_s\tunix_s\tpeak_rss_kib\twin_peak_ws_kib\n')
            for round_number in range(1, reps + 1):
                for program in PROGRAMS:
                    figures = run(program, 'run.' + program)
                    samples[program].append(figures)
                    table.write('%d\t%s\t%.6f\t%.6f\t%d\t%d\n'
                                % (round_number, program, figures['windows_s'],
                                   figures['unix_s'], figures['rss_kib'],
                                   figures['win_peak_kib']))
                print('bench: round %d of %d: %s' % (round_number, reps, ', '.join(
                    '%s %.3f s' % (p, samples[p][-1]['windows_s']) for p in PROGRAMS)),
                    flush=True)
    finally:
        quiet([wineserver, '-k'])
        quiet([wineserver, '-w'])
        reap()

    def column(program, key):
        return [s[key] for s in samples[program]]

    zv, null, wait = PROGRAMS
    win_zv, win_null = spread(column(zv, 'windows_s')), spread(column(null, 'windows_s'))
    win_wait = spread(column(wait, 'windows_s'))
    waits_s = win_wait[0] - win_null[0]
    unix_zv, unix_null = spread(column(zv, 'unix_s')), spread(column(null, 'unix_s'))
    rss_zv, rss_null = spread(column(zv, 'rss_kib')), spread(column(null, 'rss_kib'))
    ratio = (win_zv[0] - waits_s) / win_null[0]
    ratio_nominal = (win_zv[0] - FIXED_WAITS_S) / win_null[0]
    ratio_fastest = (win_zv[1] - (win_wait[1] - win_null[1])) / win_null[1]
    unix_wait = spread(column(wait, 'unix_s'))
    ratio_unix = (unix_zv[0] - (unix_wait[0] - unix_null[0])) / unix_null[0]
    rss_diff = rss_zv[0] - rss_null[0]
    size = os.path.getsize(deliverable)
    met = {'overhead': ratio <= RATIO_TARGET, 'memory': rss_diff <= MEMORY_TARGET_KIB,
           'size': size <= SIZE_TARGET_BYTES}

    def seconds(name, figures):
        return ('  %-16s median %.3f s  (min %.3f, max %.3f, spread %.0f%% of the median)'
                % ((name,) + figures))

    print()
    print('Benchmark: %d rounds, Zelvantorix.exe (framework present), zvnull.exe and'
          ' zvwait.exe in turns,' % reps)
    print('64-bit builds under %s, wineserver running throughout.' % wine)
    print('Windows-side time (main figure: CreateProcess to the end, measured inside Wine):')
    print(seconds(zv, win_zv))
    print(seconds(null, win_null))
    print(seconds(wait, win_wait))
    print('Unix-side time (second figure: wine64 start to end, measuring tool included):')
    print(seconds(zv, unix_zv))
    print(seconds(null, unix_null))
    print(seconds(wait, unix_wait))
    print('Overhead beyond the fixed waits per empty program; the waits as this Wine makes them')
    print('(zvwait - zvnull = %.3f s against %.3f s nominal):' % (waits_s, FIXED_WAITS_S))
    print('  Windows side: (%.3f - %.3f) / %.3f = %.2f   target <= %.2f   %s'
          % (win_zv[0], waits_s, win_null[0], ratio, RATIO_TARGET,
             verdict(met['overhead'])))
    print('  with the nominal waits: (%.3f - %.3f) / %.3f = %.2f   (timer overshoot counted)'
          % (win_zv[0], FIXED_WAITS_S, win_null[0], ratio_nominal))
    print('  from the fastest runs: %.2f   (less touched by a busy machine)' % ratio_fastest)
    print('  Unix side:    (%.3f - %.3f) / %.3f = %.2f   (for comparison only)'
          % (unix_zv[0], unix_wait[0] - unix_null[0], unix_null[0], ratio_unix))
    print('Peak memory (peak resident set of the program\'s process):')
    for name, figures in ((zv, rss_zv), (null, rss_null)):
        print('  %-16s median %d KiB  (min %d, max %d)' % ((name,) + figures[:3]))
    print('  difference       %+d KiB   target <= +%d KiB   %s'
          % (rss_diff, MEMORY_TARGET_KIB, verdict(met['memory'])))
    print('Peak working set by GetProcessMemoryInfo after the end (Windows side, second figure;')
    print('Wine answers only while the Unix process is still there):')
    for name in PROGRAMS:
        answered = [v for v in column(name, 'win_peak_kib') if v > 0]
        print('  %-16s %s   (answered in %d of %d runs)'
              % (name, 'median %d KiB' % statistics.median(answered) if answered else 'no answer',
                 len(answered), reps))
    print('Size of the 32-bit %s: %d bytes = %.1f KiB   target <= %d KiB   %s'
          % (deliverable, size, size / 1024, SIZE_TARGET_BYTES // 1024, verdict(met['size'])))

    figures = [
        ('rounds', reps),
        ('fixed_waits_s', '%.3f' % FIXED_WAITS_S),
    ]
    for key, program in (('zv', zv), ('null', null), ('wait', wait)):
        for name, stats in (('windows_s', spread(column(program, 'windows_s'))),
                            ('unix_s', spread(column(program, 'unix_s')))):
            figures += [('%s_%s_median' % (key, name), '%.6f' % stats[0]),
                        ('%s_%s_min' % (key, name), '%.6f' % stats[1]),
                        ('%s_%s_max' % (key, name), '%.6f' % stats[2])]
        rss = spread(column(program, 'rss_kib'))
        figures += [('%s_peak_rss_kib_median' % key, '%d' % rss[0]),
                    ('%s_peak_rss_kib_min' % key, rss[1]),
                    ('%s_peak_rss_kib_max' % key, rss[2])]
    figures += [
        ('measured_waits_s', '%.6f' % waits_s),
        ('overhead_ratio_windows', '%.3f' % ratio),
        ('overhead_ratio_windows_nominal_waits', '%.3f' % ratio_nominal),
        ('overhead_ratio_windows_fastest', '%.3f' % ratio_fastest),
        ('overhead_ratio_unix', '%.3f' % ratio_unix),
        ('peak_rss_diff_kib', '%d' % rss_diff),
        ('win32_size_bytes', size),
        ('win32_size_kib', '%.1f' % (size / 1024)),
        ('target_overhead_ratio', '%.2f' % RATIO_TARGET),
        ('target_overhead', verdict(met['overhead'])),
        ('target_memory_diff_kib', MEMORY_TARGET_KIB),
        ('target_memory', verdict(met['memory'])),
        ('target_size_bytes', SIZE_TARGET_BYTES),
        ('target_size', verdict(met['size'])),
    ]
    with open(results_path, 'w') as f:
        f.write(''.join('%s=%s\n' % item for item in figures))
    print('Figures written to %s (each run: %s).' % (results_path, samples_path))
    if not met['size']:
        print('bench: FAILED: the 32-bit Zelvantorix.exe is over its size target',
              file=sys.stderr)
        return 1
    return 0


try:
    sys.exit(main())
except BenchError as error:
    print('bench: FAILED: %s' % error, file=sys.stderr)
    sys.exit(1)
PY
