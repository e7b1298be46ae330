#!/usr/bin/env bash
# Runs a fuzzer for SECONDS (default 60) on a work copy of its seed corpus
# (fuzz/corpus-work*/, not tracked), then prints the executions and the
# coverage libFuzzer reached. Crash, leak and timeout inputs land in
# BUILD/fuzz-artifacts/; the exit status is non-zero on a finding.
# FUZZ_BUILD picks the build directory (default build-fuzz), FUZZ_TARGET the
# harness: identify (the default, seeds fuzz/seeds), tzif (fuzz/seeds-tzif,
# real zone files) or arrow_import (no seeds).
#   fuzz/run.sh [SECONDS] [extra libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${FUZZ_BUILD:-build-fuzz}
[ -n "${FUZZ_NO_BUILD:-}" ] || bash fuzz/build.sh "$build" >/dev/null

target=${FUZZ_TARGET:-identify}
case "$target" in
  identify) seeds=fuzz/seeds; corpus=fuzz/corpus-work; extra=(-dict=fuzz/identify.dict) ;;
  tzif) seeds=fuzz/seeds-tzif; corpus=fuzz/corpus-work-tzif; extra=() ;;
  arrow_import) seeds=; corpus=fuzz/corpus-work-arrow; extra=() ;;
  *) echo "unknown FUZZ_TARGET $target" >&2; exit 2 ;;
esac
artifacts=$build/fuzz-artifacts
mkdir -p "$corpus" "$artifacts"
[ -z "$seeds" ] || cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
log=$(mktemp)
trap 'rm -f "$log"' EXIT

status=0
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -max_len=${FUZZ_MAX_LEN:-4096} "${extra[@]}" -print_final_stats=1 \
  -artifact_prefix="$artifacts/$target-" "$@" "$corpus" >"$log" 2>&1 || status=$?

# The last status line carries the coverage (cov: edges, ft: features).
grep -E '^#[0-9]+' "$log" | tail -n 1 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|SUMMARY|runtime error|Test unit written|deadly signal' "$log" | head -n 20 >&2 || true
  echo "fuzzer stopped with status $status; full log kept in $artifacts/last.log" >&2
  cp "$log" "$artifacts/last.log"
fi
exit "$status"
