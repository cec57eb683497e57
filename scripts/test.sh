#!/usr/bin/env bash
# The README's test command and the CI's (.ci/run). Installs what is missing, then runs these
# stages in this order and stops at the first that fails:
#   build   the release build (preset default) and its test suite
#   format  clang-format check of every tracked C++ source and header
#   asan    the test suite under AddressSanitizer and UBSan (preset asan)
#   tsan    the formats, app and command-line tests under ThreadSanitizer (preset tsan)
#   fuzz    every libFuzzer target (preset fuzz, clang) for EITOOL_FUZZ_SECONDS (30) seconds
#           on its seeds in fuzz/corpus/<target>/
#   windows the Windows build (MinGW-w64) and its whole test suite under Wine
#           (scripts/windows.sh); it installs Wine and a cross compiler; about 11 minutes from
#           scratch on 2 cores
# EITOOL_STAGES picks stages, for example EITOOL_STAGES="build asan"; the default is all five.
set -euo pipefail
cd "$(dirname "$0")/.."

all_stages=(build format asan tsan fuzz windows)
default_stages=(build format asan tsan fuzz windows)
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
  setarch "$(uname -m)" -R ctest --preset tsan -j "$jobs" -R "^($suites)\\."
}

stage_fuzz() {
  scripts/fuzz.sh "$fuzz_seconds"
}

stage_windows() {
  EITOOL_JOBS="$jobs" scripts/windows.sh
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
