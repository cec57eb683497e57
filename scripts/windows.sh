#!/usr/bin/env bash
# Cross-compiles the Windows programs with MinGW-w64, statically linked (no DLL beside them), for
# 64-bit Windows into build-windows/bin and for 32-bit Windows into build-windows-i686/bin, then
# runs the 64-bit test suites (the command line's end-to-end tests and the window's tests
# included) under Wine, without a display, in a prefix of its own (build-windows/wine). Where Wine can run 32-bit programs (the wine32 package;
# scripts/setup-deps.sh wine32 installs it), the 32-bit eitool.exe runs its demo and the 32-bit
# test suite runs too, in a 32-bit prefix (build-windows-i686/wine).
# Arguments are passed on to the test programs (for example --gtest_filter=Paths*).
#   EITOOL_WINDOWS_BUILD_ONLY=1     stops after the build
#   EITOOL_WINDOWS_PROGRAMS_ONLY=1  builds the programs alone, no tests (what scripts/package.sh
#                                   needs)
#   EITOOL_WINE32=1                 installs wine32 first (some 150 packages of the i386
#                                   architecture), so that the 32-bit programs run
set -euo pipefail
cd "$(dirname "$0")/.."

# What a user gets, and the test programs; built for both architectures.
# eitool-gui is the window, eitool_win32_tests its tests.
programs=(eitool eitool-gui)
test_programs=(eitool_tests eitool_win32_tests)
# The DLLs every Windows has; a program that imports any other would not start on its own.
system_dlls='kernel32|msvcrt|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|ws2_32|ntdll|ucrt|api-ms-win'

purposes=(windows)
[ "${EITOOL_WINE32:-0}" = 1 ] && purposes+=(wine32)
scripts/setup-deps.sh "${purposes[@]}"

programs_only=${EITOOL_WINDOWS_PROGRAMS_ONLY:-0}
# Wine runs 32-bit programs only with the wine32 package (its loader and its i386 libraries).
wine32=0
[ -x /usr/lib/wine/wine ] && [ "$programs_only" != 1 ] && wine32=1

# Builds the programs (and the test programs, when asked) for one architecture, checks that they
# import system DLLs only and adds them to the list of built files. Arguments: build folder,
# toolchain file, tool prefix, bits (64 or 32), with tests (0 or 1).
built=()
build_for() {
  local build=$1 toolchain=$2 prefix=$3 bits=$4 with_tests=$5 targets=("${programs[@]}") program
  [ "$with_tests" = 1 ] && targets+=("${test_programs[@]}")
  cmake -S . -B "$build" -G Ninja --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEITOOL_GTEST_SOURCES=/usr/src/googletest >/dev/null
  cmake --build "$build" -j "${EITOOL_JOBS:-$(nproc)}" --target "${targets[@]}"
  for program in "${targets[@]}"; do
    if "$prefix-objdump" -p "$build/bin/$program.exe" |
         grep 'DLL Name' | grep -viE "$system_dlls"; then
      echo "windows.sh: $build/bin/$program.exe needs a DLL that Windows does not have" >&2
      exit 1
    fi
    built+=("$build/bin/$program.exe ($bits-bit)")
  done
}

with_tests=1
[ "$programs_only" = 1 ] && with_tests=0
build_for build-windows cmake/mingw-w64.cmake x86_64-w64-mingw32 64 "$with_tests"
build_for build-windows-i686 cmake/mingw-w64-i686.cmake i686-w64-mingw32 32 "$wine32"
printf 'Built %s.\n' "${built[@]}"
if [ "$wine32" = 0 ] && [ "$programs_only" != 1 ]; then
  echo "No 32-bit Wine (EITOOL_WINE32=1 installs it): the 32-bit programs are built, not run."
fi
[ "${EITOOL_WINDOWS_BUILD_ONLY:-0}" = 1 ] || [ "$programs_only" = 1 ] && exit 0

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package keeps its loader in /usr/lib/wine; the wine package would link it.
export PATH="$PATH:/usr/lib/wine"

# A prefix of our own per architecture, made once: nothing of the user's Wine set-up is touched.
# Arguments: the prefix, the Wine loader, the prefix's architecture (win64 or win32).
use_prefix() {
  export WINEPREFIX="$PWD/$1" WINEARCH=$3
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix $WINEPREFIX..."
    "$2" wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
  # The window's tests need no display: Wine's null graphics driver, in this prefix only.
  if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$2" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
  fi
}

status=0
use_prefix build-windows/wine wine64 win64
for program in "${test_programs[@]}"; do
  wine64 "build-windows/bin/$program.exe" --gtest_brief=1 "$@" || status=$?
done
wineserver -k 2>/dev/null || true

if [ "$wine32" = 1 ] && [ "$status" = 0 ]; then
  use_prefix build-windows-i686/wine wine win32
  demo=$(mktemp -d)
  echo "The 32-bit eitool.exe demo in $demo:"
  # Wine's drive Z: is the root of the file system.
  wine build-windows-i686/bin/eitool.exe demo "Z:${demo//\//\\}\\demo" | tail -n 3 ||
    status=$?
  rm -rf "$demo"
  if [ "$status" = 0 ]; then
    for program in "${test_programs[@]}"; do
      wine "build-windows-i686/bin/$program.exe" --gtest_brief=1 "$@" || status=$?
    done
  fi
  wineserver -k 2>/dev/null || true
fi
exit "$status"
