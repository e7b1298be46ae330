#!/usr/bin/env bash
# The reliability checks that need tools beyond the compiler: valgrind
# memcheck over the C++ hostile-input and driver tests, and a short libFuzzer
# run (ASan + UBSan) from the seed corpus. Installs clang and valgrind when a
# fresh machine lacks them.
#   scripts/reliability.sh     FUZZ_SECONDS (default 60), RELIABILITY_BUILD
#                              (build folder prefix, default build/)
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
cmake -S . -B "$out/valgrind" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DEPOCHSIFT_TESTS=ON -DEPOCHSIFT_PYTHON=OFF >/dev/null
cmake --build "$out/valgrind" -j"$jobs" --target hostile_test identify_test
for test in hostile_test identify_test; do
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    --error-exitcode=99 --quiet "$out/valgrind/$test" --gtest_brief=1
  echo "$test: no memcheck errors, no leaks"
done

step "fuzzing identify_json for ${FUZZ_SECONDS:-60} s"
bash fuzz/build.sh "$out/fuzz" >/dev/null
FUZZ_BUILD="$out/fuzz" FUZZ_NO_BUILD=1 bash fuzz/run.sh "${FUZZ_SECONDS:-60}"
