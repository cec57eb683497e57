#!/usr/bin/env bash
# The README's test command and the CI's (.ci/run). Installs what is missing, then runs these
# stages in this order and stops at the first that fails:
#   build   the release build (preset default) and its test suite
#   format  clang-format check of every tracked C++ source and header
#   asan    the test suite under AddressSanitizer and UBSan (preset asan)
#   tsan    the formats, app and command-line tests under ThreadSanitizer (preset tsan)
#   fuzz    every libFuzzer target (preset fuzz, clang) for EITOOL_FUZZ_SECONDS (30) seconds
#           on its seeds in fuzz/corpus/<target>/
#   windows the Windows builds (MinGW-w64, 64- and 32-bit) and the 64-bit test suite under Wine
#           (scripts/windows.sh); it installs Wine and the cross compilers; about 13 minutes
#           from scratch on 2 cores
#   package the release packages (scripts/package.sh); the .deb is installed with apt-get, the
#           installed /usr/bin/eitool runs its demo, and the zip's contents are checked; the
#           package is removed again unless it was installed before; under a minute after the
#           stages before it
# EITOOL_STAGES picks stages, for example EITOOL_STAGES="build asan"; the default is all seven.
set -euo pipefail
cd "$(dirname "$0")/.."

all_stages=(build format asan tsan fuzz windows package)
default_stages=(build format asan tsan fuzz windows package)
read -r -a wanted <<<"${EITOOL_STAGES:-${default_stages[*]}}"
[ ${#wanted[@]} -ne 0 ] || { echo "test.sh: EITOOL_STAGES names no stage" >&2; exit 2; }
for stage in "${wanted[@]}"; do
  case " ${all_stages[*]} " in
    *" $stage "*) ;;
    *) echo "test.sh: unknown stage '$stage' in EITOOL_STAGES (${all_stages[*]})" >&2; exit 2 ;;
  esac
done
fuzz_seconds=${EITOOL_FUZZ_SECONDS:-30}
jobs=$(nproc)

wants() {
  case " ${wanted[*]} " in *" $1 "*) return 0 ;; *) return 1 ;; esac
}

stage_build() {
  scripts/build.sh
  ctest --preset default -j "$jobs"
}

# Lists the files whose formatting differs from what clang-format makes of them.
stage_format() {
  clang-format --dump-config >/dev/null
  local files=() drifting=() file
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
  else
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) \
                              -type f -print | sed 's|^\./||' | sort)
  fi
  for file in "${files[@]}"; do
    [ -f "$file" ] || continue
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || drifting+=("$file")
  done
  if [ ${#drifting[@]} -ne 0 ]; then
    printf '  %s\n' "${drifting[@]}"
    echo "${#drifting[@]} of ${#files[@]} files are not formatted; run clang-format -i on them." >&2
    return 1
  fi
  echo "${#files[@]} files checked, all formatted."
}

stage_asan() {
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs"
  # The test preset sets ASAN_OPTIONS and UBSAN_OPTIONS.
  ctest --preset asan -j "$jobs"
}

# scripts/fuzz.sh builds the targets and runs each; a crash input is kept in
# build-fuzz/crashes/<target>/.
# The tests of the folders where threads work (the pack's readers and writers, the form, the
# command line), picked by their suites' names; the tests of the pixel layouts would only be slow.
stage_tsan() {
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  local suites
  suites=$(grep -rhoE '^TEST(_F|_P)?\(\s*[A-Za-z0-9_]+' tests/formats tests/app tests/cli |
             sed -E 's/^TEST(_F|_P)?\(\s*//' | sort -u | paste -sd '|')
  [ -n "$suites" ] || { echo "test.sh: no test suites found for the tsan stage" >&2; return 1; }
  # A fixed address layout: ThreadSanitizer needs one on kernels with much mmap randomness.
  # Where the system refuses it (some containers), the tests run as they are.
  local fixed=(setarch "$(uname -m)" -R)
  "${fixed[@]}" true 2>/dev/null || fixed=()
  "${fixed[@]}" ctest --preset tsan -j "$jobs" -R "^($suites)\\."
}

stage_fuzz() {
  scripts/fuzz.sh "$fuzz_seconds"
}

stage_windows() {
  EITOOL_JOBS="$jobs" scripts/windows.sh
}

# Installs the .deb of scripts/package.sh, runs the installed program's demo in a folder of its
# own and checks what the zip holds.
stage_package() {
  EITOOL_JOBS="$jobs" scripts/package.sh
  local deb zip as_root=() was_installed=0 demo status=0
  deb=$(echo build-package/eitool_*.deb)
  zip=$(echo build-package/eitool-*-windows.zip)
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  dpkg-query -W -f='${Status}' eitool 2>/dev/null | grep -q 'install ok installed' &&
    was_installed=1
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --reinstall "./$deb" \
    >/dev/null
  for file in /usr/bin/eitool /usr/bin/eitool-gui /usr/share/man/man1/eitool.1.gz \
              /usr/share/applications/eitool-gui.desktop \
              /usr/share/icons/hicolor/64x64/apps/eitool-gui.png; do
    [ -f "$file" ] || { echo "The package did not install $file" >&2; status=1; }
  done
  /usr/bin/eitool --version
  demo=$(mktemp -d)
  (cd "$demo" && /usr/bin/eitool demo >demo.txt 2>&1) || {
    cat "$demo/demo.txt" >&2
    status=1
  }
  rm -rf "$demo"
  [ "$was_installed" = 1 ] ||
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get remove -y -qq eitool >/dev/null
  local entries name expected=(README.txt 64-bit/eitool.exe 32-bit/eitool.exe)
  if ninja -C build-windows -t query eitool-gui >/dev/null 2>&1; then
    expected+=(64-bit/eitool-gui.exe 32-bit/eitool-gui.exe)
  fi
  entries=$(unzip -Z1 "$zip")
  name=$(basename "$zip" .zip)
  for entry in "${expected[@]}"; do
    grep -qx "$name/$entry" <<<"$entries" || { echo "$zip has no $entry" >&2; status=1; }
  done
  echo "The installed eitool ran its demo; $zip holds $(grep -c '[^/]$' <<<"$entries") files."
  return "$status"
}

scripts/setup-deps.sh "${wanted[@]}"

times=()
current=
failed() {
  [ -z "$current" ] || echo "==== Stage $current failed after $((SECONDS - started)) s ====" >&2
}
trap failed EXIT
for current in "${all_stages[@]}"; do
  wants "$current" || continue
  echo
  echo "==== Stage $current ===="
  started=$SECONDS
  "stage_$current"
  times+=("$current $((SECONDS - started)) s")
  echo "==== Stage $current passed in $((SECONDS - started)) s ===="
done
current=
echo
echo "Stages passed: $(printf '%s, ' "${times[@]}" | sed 's/, $//')."
