#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz target in turn for the
# given time. Each target grows its own corpus in build/fuzz/corpus/<target>,
# starting from the seeds in tests/fuzz/corpus/<target> (never written to),
# so that later runs go on from where earlier ones stopped.
# Fails when any target finds something: a crash, a failed check, a
# sanitizer report, an input that runs too long or takes too much memory.
# What it found is kept in build/fuzz/findings/<target>/, its output in
# build/fuzz/logs/<target>.log.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 300)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-300}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
  exit 2
fi

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
summary=()
failed=()
for source in tests/fuzz/fuzz_*.cpp; do
  target="$(basename "$source" .cpp)"
  corpus="$out/corpus/$target"
  findings="$out/findings/$target"
  log="$out/logs/$target.log"
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  seeds=()
  [ -d "tests/fuzz/corpus/$target" ] && seeds=("tests/fuzz/corpus/$target")

  echo "fuzz: $target for ${seconds} s"
  status=0
  "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" \
      >"$log" 2>&1 || status=$?

  # The last status line says how far the target got: "cov: N ft: N".
  reached="$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 |
             sed -E 's/.*(cov: [0-9]+ ft: [0-9]+ corp: [^ ]+).*/\1/')" || true
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  if [ "$status" -eq 0 ]; then
    summary+=("$(printf '%-20s ok      %10s runs %8s exec/s  %s' \
                 "$target" "${runs:-?}" "${speed:-?}" "${reached:-?}")")
  else
    summary+=("$(printf '%-20s FAILED  (exit %s) see %s' "$target" "$status" "$log")")
    failed+=("$target")
    grep -E 'check failed|ERROR: |SUMMARY: |runtime error' "$log" | head -n 5 | sed 's/^/  /'
    ls "$findings" | sed "s|^|  input: $findings/|"
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: ${#failed[@]} target(s) found something: ${failed[*]}" >&2
  echo "fuzz: run one input again with build/fuzz/<target> <input>" >&2
  exit 1
fi
