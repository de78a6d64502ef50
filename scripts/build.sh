#!/usr/bin/env bash
# build.sh BUILD_DIR [CMAKE_ARGS...]: configures and builds the project.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -DQV_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
