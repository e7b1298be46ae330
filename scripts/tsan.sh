#!/usr/bin/env bash
# The threaded tests (the batch pipeline, the chunk pool and the command line's parts) under
# ThreadSanitizer, in build/tsan (or TSAN_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${TSAN_BUILD:-build/tsan}
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DEPOCHSIFT_TESTS=ON -DEPOCHSIFT_PYTHON=OFF -DEPOCHSIFT_CLI=OFF >/dev/null
cmake --build "$out" -j"$(nproc)" --target batch_pipeline_test cli_test batch_test
for test in batch_pipeline_test cli_test batch_test; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$out/$test" --gtest_brief=1
  echo "$test: no data races"
done
