#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build, then the multi-threaded
# shading tests under ThreadSanitizer, then the Windows cross-build with its
# tests under Wine (scripts/test-windows.sh). QV_QUICK=1 runs the normal build
# only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== format"
git ls-files -z '*.h' '*.cpp' | xargs -0 -r clang-format --dry-run --Werror

echo "== build and test"
scripts/build.sh build -DQV_BUILD_TESTS=ON -DQV_BUILD_BENCHMARKS=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

if [ "${QV_QUICK:-0}" = 1 ]; then exit 0; fi

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
