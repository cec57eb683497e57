#!/usr/bin/env bash
# Takes the README's screenshots of eitool-gui under Xvfb: the main window with a few files in
# the list, the window during a run over sample packs and the directory dialog, as PNG files in
# docs/. Where ./build-windows holds the Windows build (scripts/windows.sh), the same pictures of
# eitool-gui.exe are taken under Wine on the same display (docs/windows-*.png), in a Wine prefix
# of their own that draws the windows' frames itself (no window manager runs).
#
#   scripts/screenshots.sh [BUILD_DIR]      (default ./build, configured with Qt 6)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-./build}
cmake --build "$build" -j2 --target eitool_gui_screenshots
program=$build/gui/eitool_gui_screenshots
if ! command -v Xvfb >/dev/null; then
  echo "screenshots.sh: Xvfb is missing (scripts/setup-deps.sh build installs it)" >&2
  exit 2
fi

# A fixed place, so the paths in the pictures stay the same from one taking to the next.
work=${TMPDIR:-/tmp}/eitool-screenshots
rm -rf "$work"
mkdir -p "$work"
xvfb_pid=
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The first free display from :90 on.
display=90
while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done

mkdir -p docs "$work/runtime"
chmod 700 "$work/runtime"
DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" "$program" "$work" docs
echo "Wrote docs/main-window.png, docs/running.png, docs/after-run.png and docs/directory-dialog.png."

windows=build-windows
[ -f "$windows/build.ninja" ] || exit 0
cmake --build "$windows" -j2 --target eitool_win32_screenshots
export WINEPREFIX="$PWD/$windows/wine-screenshots" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH="$PATH:/usr/lib/wine" DISPLAY=":$display"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine64 wineboot --init >/dev/null 2>&1
  wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
fi
mkdir -p "$work/windows/work" "$work/windows/out"
# Wine sees the root as drive Z:, with Windows separators.
wine64 "$windows/bin/eitool_win32_screenshots.exe" "Z:${work//\//\\}\\windows\\work" \
  "Z:${work//\//\\}\\windows\\out"
wineserver -k 2>/dev/null || true
for shot in main-window running directory-dialog; do
  convert "$work/windows/out/$shot.bmp" "docs/windows-$shot.png"
done
echo "Wrote docs/windows-main-window.png, docs/windows-running.png and docs/windows-directory-dialog.png."
