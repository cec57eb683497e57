#!/usr/bin/env bash
# Cross-compiles eitool.exe, the window eitool-gui.exe and their test programs for 64-bit Windows
# with MinGW-w64 into ./build-windows (all in build-windows/bin, statically linked: no DLL beside
# them), then runs the whole test suite, the command line's end-to-end tests included, and the
# window's tests under Wine in a prefix of its own (build-windows/wine), without a display.
# Arguments are passed on to both test programs (for example --gtest_filter=Paths*).
# EITOOL_WINDOWS_BUILD_ONLY=1 stops after the build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh windows

build=build-windows
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DEITOOL_GTEST_SOURCES=/usr/src/googletest >/dev/null
cmake --build "$build" -j "${EITOOL_JOBS:-$(nproc)}" --target eitool eitool_tests \
  eitool-gui eitool_win32_tests

for program in eitool eitool_tests; do
  if x86_64-w64-mingw32-objdump -p "$build/bin/$program.exe" |
       grep 'DLL Name' | grep -viE 'kernel32|msvcrt|user32|advapi32|shell32|ws2_32|ntdll|ucrt|api-ms-win'; then
    echo "windows.sh: $program.exe needs a DLL that Windows does not have" >&2
    exit 1
  fi
done
# The window also takes the system's window, drawing, common controls, dialogs and COM DLLs.
for program in eitool-gui eitool_win32_tests; do
  if x86_64-w64-mingw32-objdump -p "$build/bin/$program.exe" |
       grep 'DLL Name' |
       grep -viE 'kernel32|msvcrt|user32|advapi32|shell32|ntdll|ucrt|api-ms-win|gdi32|comctl32|comdlg32|ole32|oleaut32'; then
    echo "windows.sh: $program.exe needs a DLL that Windows does not have" >&2
    exit 1
  fi
done
echo "Built $build/bin/eitool.exe (the command line), $build/bin/eitool-gui.exe (the window)"
echo "and their test programs eitool_tests.exe and eitool_win32_tests.exe."
[ "${EITOOL_WINDOWS_BUILD_ONLY:-0}" = 1 ] && exit 0

# A prefix of our own, made once: nothing of the user's Wine set-up is touched.
export WINEPREFIX="$PWD/$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package keeps its loader in /usr/lib/wine; the wine package would link it.
export PATH="$PATH:/usr/lib/wine"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX..."
  wine64 wineboot --init >/dev/null 2>&1
  wineserver -w
fi
# The window's tests need no display: Wine's null graphics driver, in this prefix only.
if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
fi
status=0
wine64 "$build/bin/eitool_tests.exe" --gtest_brief=1 "$@" || status=$?
wine64 "$build/bin/eitool_win32_tests.exe" --gtest_brief=1 "$@" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
