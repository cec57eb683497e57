#!/usr/bin/env bash
# Makes what a user downloads, in ./build-package:
#   eitool_VERSION_amd64.deb      the Linux programs: eitool and its man page, eitool-gui with its
#                                 desktop entry and icon, under /usr; the dependencies declared
#   eitool-VERSION-windows.zip    eitool-VERSION-windows/64-bit/ and 32-bit/ with eitool.exe and
#                                 eitool-gui.exe (stripped, statically linked), and README.txt
# The Linux programs come from the release build (preset default, build/), the Windows ones from
# scripts/windows.sh (build-windows/, build-windows-i686/); each is built first where it is not
# up to date. VERSION is the project's version (project(VERSION) in CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh package

jobs=${EITOOL_JOBS:-$(nproc)}
out=build-package
rm -rf "$out"
mkdir -p "$out"

# The Debian package.
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
cpack --config build/CPackConfig.cmake -B "$out/cpack" >/dev/null
mv "$out"/cpack/eitool_*.deb "$out/"
rm -rf "$out/cpack"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/CPackConfig.cmake)

# The Windows archive. A program whose target the build does not have yet is named and left out;
# one whose target exists must be there.
EITOOL_JOBS="$jobs" EITOOL_WINDOWS_PROGRAMS_ONLY=1 scripts/windows.sh >/dev/null
folder=eitool-$version-windows
stage=$out/zip/$folder
mkdir -p "$stage"
missing=()
for arch in 64 32; do
  case $arch in
    64) build=build-windows prefix=x86_64-w64-mingw32 ;;
    32) build=build-windows-i686 prefix=i686-w64-mingw32 ;;
  esac
  mkdir -p "$stage/$arch-bit"
  for program in eitool eitool-gui; do
    if ! ninja -C "$build" -t query "$program" >/dev/null 2>&1; then
      missing+=("$arch-bit $program.exe")
      continue
    fi
    "$prefix-strip" -o "$stage/$arch-bit/$program.exe" "$build/bin/$program.exe"
  done
done
# The README with Windows line ends, for any text editor there.
sed 's/$/\r/' README.md >"$stage/README.txt"
(cd "$out/zip" && zip -qr9X "../$folder.zip" "$folder")
rm -rf "$out/zip"

echo "Made:"
for file in "$out"/*; do
  printf '  %s (%s bytes)\n' "$file" "$(stat -c %s "$file")"
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Not in the zip, as the build has no such program yet: ${missing[*]}."
fi
