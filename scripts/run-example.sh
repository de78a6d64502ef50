#!/usr/bin/env bash
# The main job: sets up, builds, and renders the bundled example scene
# (examples/matte) through the stand-ins of the hosts, into build/example/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF
out=build/example
mkdir -p "$out"
echo "V-Ray: the painting where the projection camera sees the set, the fill elsewhere"
build/bin/qvray render examples/matte/example.vrscene -o "$out/vray.png" --aov seen::outMatte
echo "mental ray: the same scene through qv_shotWeave"
build/bin/qvmray render examples/matte/example.mi -o "$out/mentalray.png" --aov outMask0
echo "Maya: what Viewport 2.0 shows through the render camera, occlusion included"
build/bin/qvmaya render examples/matte/example.ma -o "$out/viewport.png" -w 640 -h 360
echo "Images in $out: vray.png, mentalray.png, viewport.png, and the mattes"
echo "vray.seen_outMatte.exr and mentalray.outMask0.exr"
