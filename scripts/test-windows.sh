#!/usr/bin/env bash
# test-windows.sh: the Windows stage. Cross-builds the toolkit for 64-bit
# Windows with MinGW-w64 into build-win, checks what the plug-in DLLs export,
# and runs the tests under Wine: headless, in a fresh Wine prefix under the
# temporary folder, each test executable with a time limit. The stand-in
# hosts load the plug-ins as DLLs through LoadLibrary there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs="$(nproc)"
start=$SECONDS

echo "== Windows: cross-build with MinGW-w64 (build-win)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQV_WERROR=ON \
  -DQV_BUILD_TESTS=ON -DQV_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-win -j "$jobs"
built=$SECONDS

# A prefix of its own, gone afterwards with the Wine server that kept it.
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/qv-wine.XXXXXX")"
export WINEPREFIX
finish() {
  WINEDEBUG=-all /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap finish EXIT
# Made once before the tests, which would otherwise race to make it.
if ! scripts/wine-run.sh wineboot --init >"$WINEPREFIX.log" 2>&1; then
  cat "$WINEPREFIX.log" >&2
  rm -f "$WINEPREFIX.log"
  exit 1
fi
rm -f "$WINEPREFIX.log"

echo "== Windows: what the plug-in DLLs export"
scripts/wine-run.sh build-win/bin/exports_test.exe --gtest_brief=1

echo "== Windows: tests under Wine"
results=build-win/wine-tests.xml
GTEST_BRIEF=1 ctest --test-dir build-win -j "$jobs" --output-on-failure --timeout 600 \
  --output-junit "$(pwd)/$results"

cases=$(grep -o 'PASSED  \] [0-9]* test' "$results" | awk '{s += $3} END {print s + 0}')
skipped=$(grep -o 'SKIPPED \] [0-9]* test' "$results" | awk '{s += $3} END {print s + 0}')
executables=$(grep -c '<testcase ' "$results")
echo "Windows: $cases test cases passed under Wine ($skipped skipped) in $executables executables"
echo "Left out of the Windows run:"
sed 's/^/  /' build-win/windows-left-out.txt
echo "Windows stage: build $((built - start)) s, tests $((SECONDS - built)) s"
