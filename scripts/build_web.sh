#!/usr/bin/env bash
# Builds the offline web page dist/epochsift.html: the engine and its C
# interface (src/wasm) compiled to a WebAssembly reactor module with the
# clang and libc++ of the `ziglang` package, inlined with the page's HTML,
# CSS and JavaScript (web/). Installs what it needs; incremental through a
# generated ninja file in build/web.
#   PYTHON=python3 bash scripts/build_web.sh
set -euo pipefail
cd "$(dirname "$0")/.."
python=${PYTHON:-python3}
out=build/web
mkdir -p "$out" dist

quiet_pip() { "$@" 2>&1 | { grep -v 'WARNING: Running pip as' || true; }; }
"$python" -c 'import ziglang, nlohmann_json' 2>/dev/null ||
  quiet_pip "$python" -m pip install -q --disable-pip-version-check ziglang nlohmann-json
command -v ninja >/dev/null 2>&1 || quiet_pip "$python" -m pip install -q --disable-pip-version-check ninja

json_include=$("$python" -c 'import nlohmann_json, os; print(os.path.join(os.path.dirname(nlohmann_json.__file__), "include"))')
zig="$("$python" -c 'import sys; print(sys.executable)') -m ziglang"
# -fno-exceptions: WASI has no unwinder; the engine reports failures as values.
cxxflags="-target wasm32-wasi -std=gnu++20 -O2 -fno-exceptions -fconstexpr-steps=100000000 -DEPOCHSIFT_NO_ZONE_FILES -I$(pwd)/src -isystem $json_include"
# The zone-file reader stays out: the page takes its zones from the browser;
# so do the threaded blob scanner and the shelf that lends the best readings'
# memos to threads (WASI has no threads).
sources=$(ls src/core/*.cpp src/formats/*.cpp src/engine/*.cpp src/output/*.cpp src/wasm/*.cpp |
          grep -v -e '/zone_directory\.cpp$' -e '/scan_buffer\.cpp$' -e '/best_readings_shelf\.cpp$')
exports=$(grep -oE 'EPOCHSIFT_API [a-z* ]+ \**(epochsift_[a-z_]+)\(' src/wasm/epochsift.h |
          grep -oE 'epochsift_[a-z_]+' | sed 's/^/-Wl,--export=/' | tr '\n' ' ')

{
  echo "rule cxx"
  echo "  command = $zig c++ $cxxflags -MD -MF \$out.d -c \$in -o \$out"
  echo "  depfile = \$out.d"
  echo "  deps = gcc"
  echo "  description = wasm c++ \$in"
  echo "rule link"
  echo "  command = $zig c++ -target wasm32-wasi -mexec-model=reactor -s -O2 \$in -o \$out $exports"
  echo "  description = wasm link \$out"
  objects=""
  for s in $sources; do
    o="obj/${s#src/}"; o="${o%.cpp}.o"
    echo "build $o: cxx $(pwd)/$s"
    objects="$objects $o"
  done
  echo "build epochsift.wasm: link$objects"
} > "$out/build.ninja.new"
cmp -s "$out/build.ninja.new" "$out/build.ninja" || mv "$out/build.ninja.new" "$out/build.ninja"
rm -f "$out/build.ninja.new"
ninja -C "$out" -j "${WEB_JOBS:-2}" epochsift.wasm

"$python" web/assemble.py "$out/epochsift.wasm" dist/epochsift.html
