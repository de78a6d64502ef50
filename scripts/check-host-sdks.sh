#!/usr/bin/env bash
# check-host-sdks.sh [--maya DEVKIT] [--mentalray SDK] [--build DIR]
#
# Builds the plug-ins of each host named against that host's real SDK headers
# (DEVKIT holds include/maya and, when there is one, lib; SDK holds shader.h),
# as a TD builds them, and checks that each library exports exactly what the
# real host looks up:
#   Maya:       _Z16initializePlugin7MObject, _Z18uninitializePlugin7MObject
#               and the data MApiVersion (what the devkit's export map keeps)
#   mental ray: the two shaders, their _version, _init and _exit functions and
#               miSetModuleHandle, with the host's functions left to be found
#               in the process (through the module handle the host hands
#               over, or its global scope), and the declaration beside it;
#               and the module file qv.mod at the top of the install.
# The SDKs are not part of the project; CI cannot fetch them, so this is run
# by hand. Linux (ELF) builds only.
set -euo pipefail
cd "$(dirname "$0")/.."

maya="" mentalray="" build="build-sdk"
usage() {
  echo "usage: $0 [--maya DEVKIT] [--mentalray SDK] [--build DIR]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case "$1" in
    --maya) [ $# -ge 2 ] || usage; maya="$(realpath "$2")"; shift 2 ;;
    --mentalray) [ $# -ge 2 ] || usage; mentalray="$(realpath "$2")"; shift 2 ;;
    --build) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
    *) usage ;;
  esac
done
[ -n "$maya" ] || [ -n "$mentalray" ] || usage

scripts/setup.sh
options=(-DQV_WERROR=ON -DQV_PLUGINS_ONLY=ON -DQV_MAYA_DEVKIT="$maya" -DQV_MENTALRAY_SDK="$mentalray")
targets=()
if [ -n "$maya" ]; then targets+=(qv_veilVRay qv_shotWeaveVRay qv_vpProjector qv_vpStack); fi
if [ -n "$mentalray" ]; then targets+=(qv_shotWeave); fi

echo "== configure $build against ${maya:+$maya }${mentalray}"
cmake -S . -B "$build" "${options[@]}"
echo "== build ${targets[*]}"
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
echo "== install into $build/install"
rm -rf "$build/install"
cmake --install "$build" --prefix "$build/install" >/dev/null

failures=0
# check LIBRARY EXPECTED...: the library's dynamic exports are exactly EXPECTED.
check() {
  local library="$1"
  shift
  local expected actual
  expected="$(printf '%s\n' "$@" | sort)"
  actual="$(nm -D --defined-only "$library" | awk '{print $3}' | sort)"
  if [ "$actual" = "$expected" ]; then
    echo "ok   $library: $(echo "$actual" | tr '\n' ' ')"
  else
    echo "FAIL $library exports:" >&2
    diff <(echo "$expected") <(echo "$actual") | sed 's/^/       /' >&2 || true
    failures=$((failures + 1))
  fi
}

if [ ! -f "$build/install/qv.mod" ]; then
  echo "FAIL $build/install: no module file qv.mod" >&2
  failures=$((failures + 1))
fi
if [ -n "$maya" ]; then
  for plugin in qv_veilVRay qv_shotWeaveVRay qv_vpProjector qv_vpStack; do
    library="$build/install/plug-ins/$plugin.so"
    if [ ! -f "$build/install/scripts/AE${plugin}Template.mel" ]; then
      echo "FAIL $build/install/scripts: no Attribute Editor template AE${plugin}Template.mel" >&2
      failures=$((failures + 1))
    fi
    check "$library" _Z16initializePlugin7MObject _Z18uninitializePlugin7MObject MApiVersion
    if ! nm -D --defined-only "$library" | grep -Eq ' [DdBbRr] MApiVersion$'; then
      echo "FAIL $library: MApiVersion is not data" >&2
      failures=$((failures + 1))
    fi
  done
fi
if [ -n "$mentalray" ]; then
  library="$build/install/mentalray/shaders/qv_shotWeave.so"
  check "$library" qv_shotWeave qv_shotWeave_version qv_shotWeave_init qv_shotWeave_exit \
    qv_const qv_const_version miSetModuleHandle
  unresolved="$(nm -D --undefined-only "$library" | awk '{print $2}' | grep '^mi_' || true)"
  if [ -n "$unresolved" ]; then
    echo "FAIL $library needs host symbols at load time: $unresolved" >&2
    failures=$((failures + 1))
  fi
  if [ ! -f "$build/install/mentalray/shaders/qv_shotWeave.mi" ]; then
    echo "FAIL $build/install/mentalray/shaders: no declaration qv_shotWeave.mi beside the library" >&2
    failures=$((failures + 1))
  fi
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
