#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs
# each for SECONDS (default 30) on a scratch copy of its seed corpus, so that
# what a run adds never lands in the repository. Fails when any target
# crashes, leaks, hangs on one input for more than 10 s or needs more than
# 2 GiB; the input that did it is kept in build-fuzz/fuzz/findings/TARGET/.
# QV_FUZZ_TARGETS="mel obj" runs only those.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
case "$seconds" in
  '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac

# Absolute, since a harness may change its working folder (qv_fuzz_mel does).
build="$PWD/build-fuzz"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DQV_FUZZ=ON -DQV_WERROR=ON \
    -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
  cmake "$build" >/dev/null  # picks up new seeds
fi
read -r -a all <"$build/fuzz/fuzzers.txt"
read -r -a targets <<<"${QV_FUZZ_TARGETS:-${all[*]}}"
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/qv_fuzz_}"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/qv_fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
failed=()
for target in "${targets[@]}"; do
  corpus="$scratch/corpus/$target"
  findings="$build/fuzz/findings/$target"
  mkdir -p "$corpus" "$findings"
  cp -r "$build/fuzz/seeds/$target/." "$corpus/"
  echo "== fuzz $target (${seconds}s)"
  log="$scratch/$target.log"
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/bin/qv_fuzz_$target" "$corpus" \
    -dict="$PWD/fuzz/$target.dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
  else
    tail -n 60 "$log"
    echo "fuzz: $target failed; the input is in $findings/"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
