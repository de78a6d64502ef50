#!/usr/bin/env bash
# Sets up, builds, and runs the main job over the bundled example scenes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF
echo "qvShotWeave over two flat projections (r g b a):"
build/bin/qvray probe examples/shotweave.vrscene weave < examples/probe_points.txt
echo "A painting masked by what its camera sees, over a fill colour (r g b a):"
build/bin/qvray probe examples/veil.vrscene weave --threads 2 < examples/veil_points.txt
echo "The visibility matte at the same points:"
build/bin/qvray probe examples/veil.vrscene seen::outMatte < examples/veil_points.txt
echo "mental ray: two paintings around a box, each where its camera sees (outColor ... outMask19):"
build/bin/qvmray probe examples/shotweave.mi weave --threads 2 < examples/shotweave_points.txt
echo "Maya: the render nodes of examples/render_nodes.ma, as Maya sees them:"
build/bin/qvmaya examples/render_nodes.ma examples/query_render_nodes.mel
