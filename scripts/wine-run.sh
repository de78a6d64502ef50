#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a program of the Windows cross build
# under Wine, headless, the way the Windows tests run: no display, no Wine
# diagnostics, and the prefix named by WINEPREFIX (by default one per user
# under the temporary folder, made on first use).
set -euo pipefail
wine="${QV_WINE:-/usr/lib/wine/wine64}"
if [ ! -x "$wine" ]; then
  echo "wine-run.sh: no Wine loader at $wine (Debian package wine64)" >&2
  exit 127
fi
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/qv-wine-$(id -u)}"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs when a prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
exec "$wine" "$@"
