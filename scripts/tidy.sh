#!/usr/bin/env bash
# Runs clang-tidy with the root .clang-tidy over every source of the default build and prints
# its findings (headers once) and their count by check. Arguments: files or regular
# expressions of paths to check instead of all. Not a stage of scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh tidy
[ -f build/compile_commands.json ] || scripts/build.sh --target eitool
log=build/clang-tidy.log
if [ $# -eq 0 ]; then
  set -- "^$PWD/(?!build)"
fi
run-clang-tidy -p build -j "$(nproc)" -quiet "$@" >"$log" 2>&1 || true
# Headers are seen through build/floors/<floor>/; each finding is listed once under its source path.
sed 's/\x1b\[[0-9;]*m//g' "$log" | { grep -E '^/.*: warning: ' || true; } |
  sed "s|^$PWD/build/floors/[a-z]*/||; s|^$PWD/||" | sort -u >build/clang-tidy-findings.txt
cat build/clang-tidy-findings.txt
echo "$(wc -l <build/clang-tidy-findings.txt) findings (full output in $log):"
grep -oE '\[[a-z0-9.,-]+\]$' build/clang-tidy-findings.txt | sort | uniq -c | sort -rn || true
