#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each, several at
# once (FUZZ_JOBS, default half the cores); each target's log is printed
# when it ends, and the run fails when any target failed.
# usage: tools/run-fuzz.sh BUILD-DIR SECONDS [TARGET...]
# A target's seed folders are listed in tests/fuzz/<target>.seeds, one a line,
# relative to the project root; missing folders are skipped.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"; seconds="$2"; shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/fuzzers/*; do [ -x "$f" ] && targets+=("$(basename "$f")"); done
fi
jobs="${FUZZ_JOBS:-$(( ($(nproc) + 1) / 2 ))}"
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

fuzz_one() {
  local t="$1" corpus="$build/corpus/$1" seeds=() line
  mkdir -p "$corpus"
  if [ -f "$root/tests/fuzz/$t.seeds" ]; then
    while read -r line; do
      line="${line%%#*}"; line="$(echo "$line" | xargs)"
      [ -n "$line" ] && [ -d "$root/$line" ] && seeds+=("$root/$line")
    done < "$root/tests/fuzz/$t.seeds"
  fi
  "$build/fuzzers/$t" -max_total_time="$seconds" -seed=1 -rss_limit_mb=4096 -timeout=30 \
    -artifact_prefix="$build/corpus/$t-" "$corpus" "${seeds[@]}" > "$logs/$t.log" 2>&1
}

failed=()
running=()
report() {  # waits for the oldest running target and prints its log
  local t="${running[0]}" pid="${pids[0]}"
  running=("${running[@]:1}"); pids=("${pids[@]:1}")
  local status=0
  wait "$pid" || status=$?
  echo "== fuzzing $t for ${seconds}s"
  cat "$logs/$t.log"
  [ "$status" -eq 0 ] || failed+=("$t")
}
pids=()
for t in "${targets[@]}"; do
  [ ${#running[@]} -ge "$jobs" ] && report
  fuzz_one "$t" &
  running+=("$t"); pids+=("$!")
done
while [ ${#running[@]} -gt 0 ]; do report; done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
