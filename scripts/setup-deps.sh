#!/usr/bin/env bash
# Installs the Debian 12 packages that eitool's build and checks need, when they are missing.
# Arguments name what they are for (build, format, asan, tsan, fuzz, tidy, bench, windows,
# wine32, package); without any, everything but bench, windows, wine32 and package: the peers of the
# benchmarks, the Windows build (MinGW-w64 and Wine, some 900 MB) and the packaging tools are
# installed only when asked for. wine32 adds the i386 architecture to dpkg first.
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
# The Windows build: the cross compilers (64- and 32-bit) with POSIX threads, zlib for them,
# GoogleTest's sources and CLI11's headers, and Wine to run the 64-bit programs.
windows=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
         googletest libcli11-dev wine64)
# The release packages (scripts/package.sh): CPack's DEB generator finds the dependencies with
# dpkg-shlibdeps, help2man makes the man page, zip the Windows archive.
package=("${build[@]}" "${windows[@]}" dpkg-dev help2man zip unzip)

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
      # Wine for 32-bit programs.
      wine32) packages+=("${windows[@]}" wine32:i386) ;;
      package) packages+=("${package[@]}") ;;
      *)
        echo "setup-deps.sh: unknown purpose '$word' (build, format, asan, tsan, fuzz, tidy, bench, windows, wine32, package)" >&2
        exit 2
        ;;
    esac
  done
done

missing=() missing_i386=()
for package in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    case "$package" in
      *:i386) missing_i386+=("$package") ;;
      *) missing+=("$package") ;;
    esac
  fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_i386[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "There is no sudo; run as root to install: ${missing[*]} ${missing_i386[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The i386 packages are a wish: where they cannot be installed (the architecture's lists are
# missing or do not match the installed packages' versions), the architecture is taken out
# again, so that the next apt-get update still succeeds, and the caller goes on without them.
if [ ${#missing_i386[@]} -ne 0 ]; then
  echo "Installing: ${missing_i386[*]}" >&2
  added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
    added=1
  fi
  if ! { "${as_root[@]}" apt-get update -qq &&
         "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing_i386[@]}"; }; then
    echo "setup-deps.sh: ${missing_i386[*]} could not be installed; going on without them" >&2
    if [ "$added" = 1 ]; then
      "${as_root[@]}" dpkg --remove-architecture i386
      "${as_root[@]}" apt-get update -qq || true
    fi
  fi
fi
