#!/usr/bin/env bash
# Sets up, builds, and runs the main job over the bundled example scene.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF
echo "qvShotWeave colour at the example's probe points (r g b a):"
build/bin/qvray probe examples/shotweave.vrscene weave < examples/probe_points.txt
echo "its outMatte:"
build/bin/qvray probe examples/shotweave.vrscene weave::outMatte --threads 2 < examples/probe_points.txt
