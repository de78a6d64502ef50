#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs
# each on a scratch copy of its seed corpus and of its regressions
# (fuzz/regressions/TARGET/), so that what a run adds never lands in the
# repository. Every run first replays all of those inputs, then explores:
#
#   scripts/fuzz.sh [SECONDS]          for SECONDS (default 30) per target,
#                                      from a random seed: open-ended fuzzing
#   scripts/fuzz.sh --runs N [--seed S]
#                                      for N inputs per target from seed S
#                                      (default 1): the test command's stage,
#                                      which gives the same answer for the
#                                      same commit on every machine
#
# Fails when any target crashes, leaks, hangs on one input for more than
# 10 s or needs more than 2 GiB; the input that did it is kept in
# build-fuzz/fuzz/findings/TARGET/. QV_FUZZ_TARGETS="mel obj" runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  echo "usage: scripts/fuzz.sh [SECONDS] | --runs N [--seed S]" >&2
  exit 2
}
number() { [[ "$1" =~ ^[0-9]+$ ]] || usage; }
seconds=30
runs=""
seed=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) [ $# -ge 2 ] || usage; number "$2"; runs="$2"; shift 2 ;;
    --seed) [ $# -ge 2 ] || usage; number "$2"; seed="$2"; shift 2 ;;
    *) number "$1"; seconds="$1"; shift ;;
  esac
done
if [ -n "$seed" ] && [ -z "$runs" ]; then usage; fi
# What the fuzzer explores follows from what each input covers, and some
# of the readers' containers are ordered by address: the runs of a fixed
# seed explore alike only where the addresses are alike. So they run with
# address randomisation off where the machine allows it, in an environment
# of their own, from folders whose names have the same length everywhere,
# and the harnesses name no folder of the checkout in what they read.
environment=(env)
aslr=()
if [ -n "$runs" ]; then
  # libFuzzer takes seed 0 as "pick one at random".
  seed="${seed:-1}"
  [ "$seed" -gt 0 ] || usage
  # No reloading of the corpus folder either: it happens on the clock. Nor
  # mutations from the operands of the comparisons an input ran: some are
  # addresses in the fuzzer's own data, which move with the checkout's path.
  explore=(-runs="$runs" -seed="$seed" -reload=0 -use_cmp=0 -use_memmem=0)
  what="$runs runs from seed $seed"
  environment=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8)
  if setarch -R true 2>/dev/null; then
    aslr=(setarch -R)
  else
    echo "fuzz: this machine keeps address randomisation on, so the runs may explore" \
      "other inputs than on another machine" >&2
  fi
  tmp=/tmp
else
  explore=(-max_total_time="$seconds")
  what="${seconds}s"
  tmp="${TMPDIR:-/tmp}"
fi

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

scratch="$(mktemp -d "$tmp/qv_fuzz.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
ln -s "$build/bin" "$scratch/bin"
failed=()
for target in "${targets[@]}"; do
  # libFuzzer adds what it finds to the first folder only; the regressions
  # are copied too, so that no run can touch the repository's.
  corpus="$scratch/corpus/$target"
  regressions="$scratch/regressions/$target"
  findings="$build/fuzz/findings/$target"
  mkdir -p "$corpus" "$regressions" "$findings"
  cp -r "$build/fuzz/seeds/$target/." "$corpus/"
  if [ -d "fuzz/regressions/$target" ]; then
    cp -r "fuzz/regressions/$target/." "$regressions/"
  fi
  echo "== fuzz $target ($what)"
  log="$scratch/$target.log"
  found="$scratch/findings/$target"
  mkdir -p "$found"
  cp "fuzz/$target.dict" "$scratch/$target.dict"
  if "${environment[@]}" ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "${aslr[@]}" \
    "$scratch/bin/qv_fuzz_$target" "$corpus" "$regressions" \
    -dict="$scratch/$target.dict" "${explore[@]}" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$found/" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" || true
  else
    tail -n 60 "$log"
    cp -r "$found/." "$findings/"
    echo "fuzz: $target failed; the input is in $findings/"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
