#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each.
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
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  seeds=()
  if [ -f "$root/tests/fuzz/$t.seeds" ]; then
    while read -r line; do
      line="${line%%#*}"; line="$(echo "$line" | xargs)"
      [ -n "$line" ] && [ -d "$root/$line" ] && seeds+=("$root/$line")
    done < "$root/tests/fuzz/$t.seeds"
  fi
  echo "== fuzzing $t for ${seconds}s"
  "$build/fuzzers/$t" -max_total_time="$seconds" -seed=1 -rss_limit_mb=4096 -timeout=30 \
    "$corpus" "${seeds[@]}"
done
