#!/usr/bin/env bash
# Times a batch run through the Windows window against the same run through eitool.exe, both
# under Wine, in the Wine prefix of scripts/windows.sh (its null graphics driver: the window draws
# everything, to no display). Needs the Windows build (scripts/windows.sh).
#
#   bench/windows_gui.sh [ROUNDS [MEMBERS]]      (default 5 rounds of a pack of 5,000 members)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-windows
if [ ! -f "$build/build.ninja" ]; then
  echo "windows_gui.sh: no Windows build; run EITOOL_WINDOWS_BUILD_ONLY=1 scripts/windows.sh" >&2
  exit 2
fi
cmake --build "$build" -j2 --target win32_surface_bench eitool
export WINEPREFIX="$PWD/$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH="$PATH:/usr/lib/wine"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine64 wineboot --init >/dev/null 2>&1
  wineserver -w
fi
if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
fi
status=0
wine64 "$build/bin/win32_surface_bench.exe" "${1:-5}" "${2:-5000}" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
