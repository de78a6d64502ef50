#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, then the build mode
# for the real hosts' SDKs (scripts/check-host-sdks.sh), then the
# AddressSanitizer + UndefinedBehaviorSanitizer build, then the multi-threaded
# shading tests under ThreadSanitizer, then the Windows cross-build with its
# tests under Wine (scripts/test-windows.sh), then the fuzz targets over a
# fixed set of inputs (scripts/fuzz.sh --runs). QV_QUICK=1 runs the normal
# build only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== format"
# The sources of a git checkout; a downloaded archive has no git, so there
# every C++ file outside the build folders.
if command -v git >/dev/null 2>&1 && git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z '*.h' '*.cpp'
else
  find . \( -path './build*' -o -path './.git' \) -prune -o -type f \( -name '*.h' -o -name '*.cpp' \) -print0
fi | xargs -0 -r clang-format --dry-run --Werror

echo "== build and test"
scripts/build.sh build -DQV_BUILD_TESTS=ON -DQV_BUILD_BENCHMARKS=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

if [ "${QV_QUICK:-0}" = 1 ]; then exit 0; fi

echo "== building for the real hosts (the stand-ins' headers in the SDKs' place)"
scripts/check-host-sdks.sh --maya hosts/maya --mentalray hosts/mentalray/include --build build-sdk

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh build-asan -DQV_SANITIZE=address -DQV_BUILD_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

echo "== ThreadSanitizer (multi-threaded shading)"
scripts/build.sh build-tsan -DQV_SANITIZE=thread -DQV_BUILD_BENCHMARKS=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -L threads -j "$(nproc)"

echo "== Windows (MinGW-w64 cross-build, tests under Wine)"
scripts/test-windows.sh

echo "== fuzz targets (libFuzzer: seeds and regressions, then 50000 inputs each from seed 1)"
scripts/fuzz.sh --runs 50000
