#!/usr/bin/env bash
# Installs the Debian 12 packages that eitool's build and checks need, when they are missing.
# Arguments name what they are for (build, format, asan, tsan, fuzz, tidy, bench, windows); without
# any, everything but bench and windows: the peers of the benchmarks and the Windows build
# (MinGW-w64 and Wine, some 700 MB) are installed only when asked for.
# Works as root; as another user it installs through sudo.
set -euo pipefail

# qt6-base-dev builds the window (eitool-gui) and its tests; xvfb is the display of
# scripts/screenshots.sh.
build=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
       libcli11-dev libdeflate-dev zlib1g-dev python3-pil imagemagick qt6-base-dev xvfb
       # The gradient control's Qt Designer plugin.
       qt6-tools-dev)
# The peers that bench/iofloor.sh times eitool against: bsdtar, GNU tar and ImageMagick.
bench=("${build[@]}" libarchive-tools tar imagemagick)
# The Windows build: the cross compiler with POSIX threads, zlib for it, GoogleTest's sources and
# CLI11's headers, and Wine to run the programs.
windows=(cmake ninja-build g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest libcli11-dev
         wine64)

packages=()
for purpose in "${@:-build format asan fuzz tidy}"; do
  for word in $purpose; do
    case "$word" in
      build | asan | tsan) packages+=("${build[@]}") ;;
      format) packages+=(clang-format git) ;;
      # libFuzzer and clang's sanitizer runtimes are in libclang-rt-14-dev, which clang only
      # recommends; llvm has the llvm-symbolizer that puts file and line into crash reports.
      fuzz) packages+=("${build[@]}" clang libclang-rt-14-dev llvm) ;;
      tidy) packages+=("${build[@]}" clang-tidy) ;;
      bench) packages+=("${bench[@]}") ;;
      windows) packages+=("${windows[@]}") ;;
      *)
        echo "setup-deps.sh: unknown purpose '$word' (build, format, asan, tsan, fuzz, tidy, bench, windows)" >&2
        exit 2
        ;;
    esac
  done
done

missing=()
for package in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "There is no sudo; run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
