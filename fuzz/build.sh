#!/usr/bin/env bash
# Builds the libFuzzer harnesses with AddressSanitizer and
# UndefinedBehaviorSanitizer, using Debian's clang: the engine
# (fuzz_identify), the zone file reader (fuzz_tzif) and the Arrow column
# import (fuzz_arrow_import, over the binding's Python-free part). The
# layers' libraries are built by CMake (incrementally) in build-fuzz/; the
# harnesses link them, top first.
#   fuzz/build.sh [BUILD_DIR]      -> BUILD_DIR/fuzz_identify, fuzz_tzif, fuzz_arrow_import
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
cmake --build "$build" -j2 --target epochsift_output epochsift_batch
layers="$build/libepochsift_output.a $build/libepochsift_engine.a $build/libepochsift_formats.a $build/libepochsift_core.a"
$cxx -std=c++20 $flags -fsanitize=fuzzer -Isrc -Itests/cpp fuzz/fuzz_identify.cpp \
  $layers -o "$build/fuzz_identify"
$cxx -std=c++20 $flags -fsanitize=fuzzer -Isrc fuzz/fuzz_tzif.cpp \
  $layers -o "$build/fuzz_tzif"
$cxx -std=c++20 $flags -fsanitize=fuzzer -Isrc fuzz/fuzz_arrow_import.cpp \
  "$build/libepochsift_batch.a" $layers -lpthread -o "$build/fuzz_arrow_import"
echo "built $build/fuzz_identify $build/fuzz_tzif $build/fuzz_arrow_import"
