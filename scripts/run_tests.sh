#!/usr/bin/env bash
# Builds epochsift and runs every test suite: the C++ tests (plain, under
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded ones under
# ThreadSanitizer, and under valgrind memcheck),
# a short fuzz run, then the Python tests
# against one abi3 wheel installed under CPython 3.9, the default python3
# and the newest CPython on the machine. Installs whatever a fresh machine
# lacks first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

step() { printf '\n== %s\n' "$*"; }

step "system packages"
packages=(libgtest-dev libbenchmark-dev nlohmann-json3-dev tzdata)
# The blob-scan tests make their blobs with the tools that own the formats.
packages+=(zip e2fsprogs ntfs-3g dosfstools mtools wireshark-common)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# pip's own status decides: the filter only drops the root warning.
quiet_pip() { "$@" 2>&1 | { grep -v 'WARNING: Running pip as' || true; }; }
quiet_pip python3 -m pip install -q --disable-pip-version-check pytest hypothesis mypy tzdata nlohmann-json cmake ninja
# The Arrow and Spark tests run under the default python3 only; elsewhere
# they skip. Spark needs a Java runtime.
quiet_pip python3 -m pip install -q --disable-pip-version-check pyarrow polars pandas pyspark
if ! command -v java >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq openjdk-17-jre-headless >/dev/null
fi

step "C++ tests"
cmake -S . -B build/cpp -G Ninja -DEPOCHSIFT_TESTS=ON -DEPOCHSIFT_PYTHON=OFF >/dev/null
cmake --build build/cpp -j"$jobs"
ctest --test-dir build/cpp --output-on-failure -j"$jobs"

step "C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEPOCHSIFT_TESTS=ON -DEPOCHSIFT_PYTHON=OFF \
  -DEPOCHSIFT_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

step "C++ threaded tests under ThreadSanitizer"
bash scripts/tsan.sh

# valgrind memcheck over every C++ test binary of the plain build, and a
# short fuzz run from the seed corpus.
VALGRIND_TESTS=build/cpp bash scripts/reliability.sh

step "abi3 wheel"
rm -rf dist
quiet_pip python3 -m pip wheel -q --disable-pip-version-check --no-deps -w dist .
wheel=$(ls dist/epochsift-*.whl)
case "$wheel" in
  *-cp39-abi3-*) echo "built $wheel" ;;
  *) echo "expected a cp39-abi3 wheel, got $wheel" >&2; exit 1 ;;
esac

pythons=()
if command -v pyenv >/dev/null 2>&1; then
  versions="$(pyenv root)/versions"
  oldest=$(ls "$versions" | grep -E '^3\.9\.' | sort -V | tail -n 1 || true)
  newest=$(ls "$versions" | grep -E '^3\.[0-9]+\.[0-9]+$' | sort -V | tail -n 1 || true)
  [ -n "$oldest" ] && pythons+=("$versions/$oldest/bin/python3")
  [ -n "$newest" ] && [ "$newest" != "$oldest" ] && pythons+=("$versions/$newest/bin/python3")
fi
# In CI the oldest supported and the newest CPython are required, not optional.
if [ "${CI:-}" = "true" ] && { [ -z "${oldest:-}" ] || [ -z "${newest:-}" ]; }; then
  echo "CI: CPython 3.9 and the newest CPython must both be installed under pyenv" >&2
  exit 1
fi

step "Python tests under $(python3 --version)"
quiet_pip python3 -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$wheel"
(cd "$root" && python3 -m pytest -q tests/python)

for python in "${pythons[@]}"; do
  step "Python tests under $("$python" --version)"
  venv="build/venv-$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
  [ -x "$venv/bin/python" ] || "$python" -m venv "$venv"
  quiet_pip "$venv/bin/python" -m pip install -q --disable-pip-version-check pytest hypothesis mypy tzdata
  quiet_pip "$venv/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$wheel"
  (cd "$root" && "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python)
done

# The offline web page: the engine compiled to WebAssembly must give the
# module's answers (under wasmtime), and the page must work in the system's
# headless Chromium from file:// (Selenium drives it; it downloads nothing).
step "web page"
web_packages=(chromium chromium-driver)
missing=()
for p in "${web_packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
quiet_pip python3 -m pip install -q --disable-pip-version-check ziglang wasmtime selenium
PYTHON=python3 bash scripts/build_web.sh
(cd "$root" && python3 -m pytest -q -p no:cacheprovider tests/web)

# The publishable wheel: manylinux_2_17 x86_64, built with the Zig toolchain
# from PyPI against glibc 2.17's symbols and checked by auditwheel, and the
# sdist (which must build on its own); the Python tests run on that wheel too.
step "release wheel (manylinux_2_17 x86_64) and sdist"
JOBS="$jobs" bash scripts/build_release.sh x86_64 sdist
release=$(ls dist/release/epochsift-*manylinux2014_x86_64*.whl)
step "Python tests on $(basename "$release") under $(python3 --version)"
venv=build/venv-release
[ -x "$venv/bin/python" ] || python3 -m venv --system-site-packages "$venv"
quiet_pip "$venv/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$release"
(cd "$root" && EPOCHSIFT_CLI="$root/$venv/bin/epochsift" PYSPARK_PYTHON="$root/$venv/bin/python" "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python)
