#!/usr/bin/env bash
# Builds the publishable wheels: manylinux_2_17 (manylinux2014) for x86_64
# and aarch64, compiled and linked by the Zig toolchain from PyPI's ziglang
# package against glibc 2.17's symbols, with the C++ runtime (libc++)
# linked in statically. Each wheel is checked by `auditwheel show` and then
# tagged manylinux_2_17 / manylinux2014. Also builds the sdist.
#
#   bash scripts/build_release.sh [x86_64] [aarch64] [sdist]   (default: all three)
#
# Wheels and the sdist land in dist/release/. Needs Python 3 with pip; the
# build tools (ziglang, auditwheel, wheel, build, scikit-build-core) are
# installed into build/release-tools if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out="$root/dist/release"
tools="$root/build/release-tools"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(x86_64 aarch64 sdist)

[ -x "$tools/bin/python" ] || python3 -m venv "$tools"
"$tools/bin/python" -m pip install -q --disable-pip-version-check ziglang auditwheel wheel build \
  "scikit-build-core>=0.10" "nlohmann-json==3.12.0" cmake ninja
python="$tools/bin/python"
mkdir -p "$out"

# Compiler wrappers: CMake takes one program per tool.
wrappers() {
  local arch=$1 dir="$root/build/release-$1/zig"
  mkdir -p "$dir"
  for tool in cc c++; do
    printf '#!/bin/sh\nexec "%s" -m ziglang %s -target %s-linux-gnu.2.17 "$@"\n' "$python" "$tool" "$arch" >"$dir/$tool"
  done
  for tool in ar ranlib; do
    printf '#!/bin/sh\nexec "%s" -m ziglang %s "$@"\n' "$python" "$tool" >"$dir/$tool"
  done
  chmod +x "$dir"/*
  echo "$dir"
}

build_wheel() {
  local arch=$1 zig
  zig=$(wrappers "$arch")
  local args=(-DCMAKE_C_COMPILER="$zig/cc" -DCMAKE_CXX_COMPILER="$zig/c++" -DCMAKE_AR="$zig/ar"
              -DCMAKE_RANLIB="$zig/ranlib")
  local env=()
  if [ "$arch" != "$(uname -m)" ]; then
    # A cross build: nothing built can run here, and the wheel is tagged for the target.
    args+=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$arch")
    env+=(_PYTHON_HOST_PLATFORM="linux-$arch")
  fi
  local raw="$root/build/release-$arch/raw"
  rm -rf "$raw" && mkdir -p "$raw"
  local joined
  joined=$(IFS=';'; echo "${args[*]}")
  env "${env[@]}" SKBUILD_CMAKE_ARGS="$joined" SKBUILD_BUILD_DIR="$root/build/release-$arch/cmake" \
    CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}" \
    "$python" -m pip wheel -q --disable-pip-version-check --no-deps --no-build-isolation -w "$raw" .
  local wheel
  wheel=$(ls "$raw"/epochsift-*.whl)
  echo "== auditwheel show $(basename "$wheel")"
  "$python" -m auditwheel show "$wheel" | tee "$root/build/release-$arch/auditwheel.txt"
  grep -q 'manylinux_2_17_'"$arch" "$root/build/release-$arch/auditwheel.txt" || {
    echo "the $arch wheel is not consistent with manylinux_2_17" >&2
    exit 1
  }
  # Nothing to graft (the C++ runtime is inside, glibc is the platform's):
  # the tag is all that changes.
  "$python" -m wheel tags --remove --platform-tag "manylinux_2_17_$arch.manylinux2014_$arch" "$wheel" >/dev/null
  mkdir -p "$out"
  rm -f "$out"/epochsift-*"_$arch".*whl
  mv "$raw"/epochsift-*manylinux*.whl "$out/"
  ls "$out"/epochsift-*manylinux2014_"$arch"*.whl
}

for target in "${targets[@]}"; do
  case "$target" in
    x86_64|aarch64) build_wheel "$target" ;;
    sdist)
      rm -f "$out"/epochsift-*.tar.gz
      "$python" -m build -q --sdist --no-isolation -o "$out" . >/dev/null
      sdist=$(ls "$out"/epochsift-*.tar.gz)
      # The sdist must build on its own: a wheel from it, with the default compiler.
      rm -rf "$root/build/release-sdist" && mkdir -p "$root/build/release-sdist"
      SKBUILD_BUILD_DIR="$root/build/release-sdist/cmake" CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}" \
        "$python" -m pip wheel -q --disable-pip-version-check --no-deps --no-build-isolation \
        -w "$root/build/release-sdist" "$sdist"
      echo "$sdist builds: $(basename "$(ls "$root"/build/release-sdist/epochsift-*.whl)")" ;;
    *) echo "unknown target $target (x86_64, aarch64, sdist)" >&2; exit 2 ;;
  esac
done
