#!/usr/bin/env bash
# The reliability checks that need tools beyond the compiler: valgrind
# memcheck over every C++ test binary, and a short libFuzzer run (ASan +
# UBSan) from the seed corpus. Installs clang and valgrind when a fresh
# machine lacks them.
#   scripts/reliability.sh     FUZZ_SECONDS (default 60), RELIABILITY_BUILD
#                              (build folder prefix, default build/),
#                              VALGRIND_TESTS (a built test folder to reuse)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
out=${RELIABILITY_BUILD:-build}

step() { printf '\n== %s\n' "$*"; }

packages=(clang libclang-rt-14-dev valgrind)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

step "valgrind memcheck"
tests=${VALGRIND_TESTS:-}
if [ -z "$tests" ]; then
  tests="$out/valgrind"
  cmake -S . -B "$tests" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DEPOCHSIFT_TESTS=ON -DEPOCHSIFT_PYTHON=OFF >/dev/null
  cmake --build "$tests" -j"$jobs"
fi
# One binary per test source; a folder may still hold binaries of removed ones.
binaries=()
for source in tests/cpp/*_test.cpp; do binaries+=("$tests/$(basename "$source" .cpp)"); done
for test in "${binaries[@]}"; do
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    --error-exitcode=99 --quiet "$test" --gtest_brief=1
  echo "$(basename "$test"): no memcheck errors, no leaks"
done

# The fuzz time is shared: most to the engine, a sixth each to the zone
# file reader and the Arrow import.
seconds=${FUZZ_SECONDS:-60}
bash fuzz/build.sh "$out/fuzz" >/dev/null
for target in identify tzif arrow_import; do
  case "$target" in identify) share=$((seconds - 2 * (seconds / 6))) ;; *) share=$((seconds / 6)) ;; esac
  [ "$share" -gt 0 ] || share=1
  step "fuzzing $target for $share s"
  FUZZ_BUILD="$out/fuzz" FUZZ_NO_BUILD=1 FUZZ_TARGET=$target bash fuzz/run.sh "$share"
done
