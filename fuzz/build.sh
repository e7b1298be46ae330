#!/usr/bin/env bash
# Builds the libFuzzer harness over the engine with AddressSanitizer and
# UndefinedBehaviorSanitizer, using Debian's clang. The layers' libraries are
# built by CMake (incrementally) in build-fuzz/; the harness links them, top first.
#   fuzz/build.sh [BUILD_DIR]      -> BUILD_DIR/fuzz_identify
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
cxx=${CXX_FUZZ:-clang++}
if ! command -v "$cxx" >/dev/null 2>&1; then
  for candidate in clang++-16 clang++-15 clang++-14; do
    command -v "$candidate" >/dev/null 2>&1 && { cxx=$candidate; break; }
  done
fi
command -v "$cxx" >/dev/null 2>&1 || { echo "no clang++ found (apt-get install clang)" >&2; exit 1; }

flags="-g -O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags -fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="" \
  -DEPOCHSIFT_PYTHON=OFF -DEPOCHSIFT_TESTS=OFF -DEPOCHSIFT_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target epochsift_output
$cxx -std=c++20 $flags -fsanitize=fuzzer -Isrc -Itests/cpp fuzz/fuzz_identify.cpp \
  "$build/libepochsift_output.a" "$build/libepochsift_engine.a" "$build/libepochsift_formats.a" \
  "$build/libepochsift_core.a" -o "$build/fuzz_identify"
echo "built $build/fuzz_identify"
