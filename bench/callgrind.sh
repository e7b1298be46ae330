#!/usr/bin/env bash
# Instruction counts of identify_json for one input of each class, from
# valgrind's callgrind: exact and repeatable for the same binary whatever
# else the machine is doing, so later changes can be compared to the count.
#
#   bench/callgrind.sh [BUILD_DIR]     (default build/bench)
#
# Builds epochsift_bench (Release, -DEPOCHSIFT_BENCH=ON) in BUILD_DIR, runs
# `epochsift_bench --probe VALUE COUNT` under callgrind collecting only
# inside probe_loop (COUNT calls after one warm-up call), and writes
# bench/callgrind_results.txt (Ir per call) and bench/callgrind_profile.txt
# (the functions that spend the instructions, self cost, per input).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
count=${CALLGRIND_CALLS:-20}
results=bench/callgrind_results.txt
profile=bench/callgrind_profile.txt

command -v valgrind >/dev/null || { echo "valgrind is not installed (apt-get install valgrind)" >&2; exit 1; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEPOCHSIFT_BENCH=ON >/dev/null
cmake --build "$build" --target epochsift_bench >/dev/null

inputs=(
  "integer|1700000000"
  "decimal|45000.5"
  "matching_string|2024-05-01T12:00:00+02:00"
  "junk|field counter system update tunnel"
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  echo "# Instructions (Ir) per identify_json call, callgrind, mean of $count calls after one warm-up."
  echo "# commit $(git rev-parse --short HEAD)$(git diff --quiet -- src || echo ' + uncommitted src changes'), $(c++ --version | head -n 1)"
  printf '%-16s %12s %10s  %s\n' "input" "Ir/call" "out bytes" "value"
} >"$results"
: >"$profile"
for entry in "${inputs[@]}"; do
  name=${entry%%|*}
  value=${entry#*|}
  out="$work/$name.out"
  bytes=$(valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect='*probe_loop*' \
            "$build/epochsift_bench" --probe "$value" "$count" 2>/dev/null | awk '{print $1}')
  total=$(awk '/^(summary|totals):/ {print $2; exit}' "$out")
  printf '%-16s %12d %10s  %s\n' "$name" $((total / count)) "$bytes" "$value" >>"$results"
  {
    echo "== $name: $value  (self Ir over $count calls)"
    callgrind_annotate --threshold=98 "$out" 2>/dev/null |
      awk '/^-+$/ {dash++; next} dash >= 3 && NF && shown++ < 25 {print}' |
      sed -e 's/ \[[^]]*\]$//' -e 's/^\([ 0-9,]*([ 0-9.%]*)\)  [^:]*:/\1  /' \
          -e 's/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g' \
          -e 's/std::basic_string_view<char, std::char_traits<char> >/std::string_view/g' | cut -c1-160
    echo
  } >>"$profile"
done
cat "$results"
