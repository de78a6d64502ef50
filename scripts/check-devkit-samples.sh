#!/usr/bin/env bash
# check-devkit-samples.sh MAYA_LOCATION [--build DIR] [--out DIR] [SAMPLE...]
#
# Holds the Maya stand-in to code no one here wrote: builds Autodesk's devkit
# shading-node samples (default: checkerShader and fileTexture; name others,
# e.g. brickShader contrastShader gammaShader mixtureShader, to try them too)
# unchanged, with the devkit's own compiler flags, against the stand-in's
# headers and libraries, loads each into qvmaya, draws it (ogs -refresh,
# ogs -dump), previews it on a plane seen from above (qvmaya render, through
# both viewport engines: DirectX 11 with the HLSL, OpenGL Core Profile with
# the GLSL) and prints what built, what drew and what each picture shows.
#
# MAYA_LOCATION is a Maya install or a copy of its devkit: the samples are
# read from MAYA_LOCATION/devkit/plug-ins/SAMPLE (where the samples also look
# for their fragment files). The devkit is not part of the project and CI
# cannot fetch it, so this is run by hand. Linux only.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

location="" build="build-devkit" out=""
samples=()
usage() {
  echo "usage: $0 MAYA_LOCATION [--build DIR] [--out DIR] [SAMPLE...]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --build) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; out="$2"; shift 2 ;;
    -*) usage ;;
    *) if [ -z "$location" ]; then location="$(realpath "$1")"; else samples+=("$1"); fi; shift ;;
  esac
done
[ -n "$location" ] || usage
[ -d "$location/devkit/plug-ins" ] || {
  echo "$location/devkit/plug-ins: no such folder (give the Maya install or devkit copy)" >&2
  exit 2
}
[ ${#samples[@]} -gt 0 ] || samples=(checkerShader fileTexture)
out="$(realpath -m "${out:-$build/devkit-samples}")"

scripts/setup.sh
echo "== build the stand-in and qvmaya in $build"
# A build folder already configured (the normal build, say) is built as it is.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DQV_WERROR=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target Foundation OpenMaya OpenMayaRender qvmaya
libs="$(realpath "$build/lib")"
qvmaya="$(realpath "$build/bin/qvmaya")"

# The devkit's flags (its buildconfig), with --no-undefined so that a symbol
# the stand-in lacks shows at link time, not when Maya loads the plug-in.
cflags=(-DBits64_ -m64 -DUNIX -D_BOOL -DLINUX -DFUNCPROTO -D_GNU_SOURCE -DLINUX_64 -fPIC
  -fno-strict-aliasing -DREQUIRE_IOSTREAM -O3 -Wall -Wno-multichar -Wno-comment
  -Wno-sign-compare -funsigned-char -pthread -Wno-deprecated -Wno-reorder
  -ftemplate-depth-25 -fno-gnu-keywords)
lflags=(-Wl,-Bsymbolic -shared -Wl,--no-undefined)

rm -rf "$out"
mkdir -p "$out"
# A 2 x 2 plane at the origin facing up, its UVs over the unit square, and a
# camera above it looking down whose view the plane just fills, so that the
# picture is the texture's UV square.
cat >"$out/plane.obj" <<'EOF'
v -1 0 1
v 1 0 1
v 1 0 -1
v -1 0 -1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 0 1 0
f 1/1/1 2/2/1 3/3/1
f 1/1/1 3/3/1 4/4/1
EOF

# What a picture shows, in a line: its size, mean colour and distinct colours.
cat >"$out/summary.cpp" <<'EOF'
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <cstdio>
#include <set>
int main(int argc, char** argv) {
  int w = 0, h = 0, n = 0;
  unsigned char* p = argc > 1 ? stbi_load(argv[1], &w, &h, &n, 3) : nullptr;
  if (!p) return std::puts("unreadable"), 1;
  double sum[3] = {0, 0, 0};
  std::set<unsigned> colours;
  for (int i = 0; i < w * h; ++i) {
    for (int c = 0; c < 3; ++c) sum[c] += p[3 * i + c];
    colours.insert(p[3 * i] << 16 | p[3 * i + 1] << 8 | p[3 * i + 2]);
  }
  std::printf("%dx%d, mean %.0f %.0f %.0f, %zu colours\n", w, h, sum[0] / (w * h), sum[1] / (w * h),
              sum[2] / (w * h), colours.size());
}
EOF
c++ -O1 -o "$out/summary" "$out/summary.cpp"

# Where the samples find their fragment files when Maya has no devkit module.
export MAYA_LOCATION="$location"

failures=0
for sample in "${samples[@]}"; do
  src="$location/devkit/plug-ins/$sample"
  dir="$out/$sample"
  mkdir -p "$dir"
  echo "== $sample"
  if [ ! -d "$src" ]; then
    echo "FAIL $sample: $src: no such folder" >&2
    failures=$((failures + 1))
    continue
  fi
  objects=()
  built=1
  for source in "$src"/*.cpp; do
    object="$dir/$(basename "${source%.cpp}").o"
    if ! g++ "${cflags[@]}" -I"$src" -I"$root/hosts/maya/include" -c "$source" -o "$object" \
      2>"$object.log"; then
      echo "FAIL $sample: $(basename "$source") does not compile; $(grep -c 'error:' "$object.log") errors, first:" >&2
      grep -m 3 'error:' "$object.log" | sed 's/^/       /' >&2
      built=0
    fi
    objects+=("$object")
  done
  if [ "$built" = 1 ] && ! g++ "${lflags[@]}" -o "$dir/$sample.so" "${objects[@]}" \
    -L"$libs" -Wl,-rpath,"$libs" -lOpenMaya -lOpenMayaRender -lFoundation 2>"$dir/link.log"; then
    echo "FAIL $sample: does not link:" >&2
    grep -m 5 'undefined reference' "$dir/link.log" | sed 's/^/       /' >&2
    built=0
  fi
  if [ "$built" = 0 ]; then
    failures=$((failures + 1))
    continue
  fi
  echo "built   $dir/$sample.so"

  # The node type the plug-in registers, as Maya reports it.
  export MAYA_PLUG_IN_PATH="$dir"
  type="$(echo "loadPlugin \"$sample\"; pluginInfo -q -dependNode \"$sample\";" |
    "$qvmaya" - 2>"$dir/load.log" | tail -n 1 | cut -d ' ' -f 1)" || true
  if [ -z "$type" ]; then
    echo "FAIL $sample: does not load, or registers no node:" >&2
    tail -n 5 "$dir/load.log" | sed 's/^/       /' >&2
    failures=$((failures + 1))
    continue
  fi
  cat >"$dir/scene.ma" <<EOF
//Maya ASCII 2016 scene
requires "$sample" "1.0";
createNode transform -n "overhead";
	setAttr ".t" -type "double3" 0 10 0;
	setAttr ".r" -type "double3" -90 0 0;
createNode camera -n "overheadShape" -p "overhead";
	setAttr ".hfa" 0.2;
	setAttr ".vfa" 0.2;
	setAttr ".fl" 25.4;
createNode transform -n "plane";
createNode mesh -n "planeShape" -p "plane";
	setAttr ".objFile" -type "string" "$out/plane.obj";
createNode $type -n "sample";
connectAttr "sample.outColor" "planeShape.surfaceColor";
EOF
  if [ "$sample" = fileTexture ]; then
    echo "setAttr \"sample.fileName\" -type \"string\" \"$root/examples/projector.png\";" >>"$dir/scene.ma"
  fi
  if "$qvmaya" "$dir/scene.ma" - >"$dir/draw.log" 2>&1 <<'EOF'; then
ogs -refresh;
ogs -dump "sample";
EOF
    echo "drew    $type: $(grep -m 1 -i 'fragment' "$dir/draw.log" || echo 'no fragment line')"
  else
    echo "FAIL $sample: the draw failed:" >&2
    tail -n 5 "$dir/draw.log" | sed 's/^/       /' >&2
    failures=$((failures + 1))
    continue
  fi
  # Through both of Maya 2016's viewport engines: HLSL, then GLSL.
  for engine in directx11 opengl-core; do
    picture="$dir/$sample-$engine.png"
    if "$qvmaya" render "$dir/scene.ma" -o "$picture" -w 64 -h 64 --quiet --engine "$engine" \
      >"$dir/render-$engine.log" 2>&1; then
      echo "preview $engine $picture: $("$out/summary" "$picture")"
    else
      echo "FAIL $sample: the $engine preview failed:" >&2
      tail -n 5 "$dir/render-$engine.log" | sed 's/^/       /' >&2
      failures=$((failures + 1))
    fi
  done
done

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all samples built, drew and previewed"
