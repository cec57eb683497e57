#!/usr/bin/env bash
# How close eitool's extraction and insertion come to the floor of the disk: every figure as a
# ratio against peers (bsdtar, GNU tar, cp -r, ImageMagick) and floors (cat, dd) of the same run.
#
#   bench/iofloor.sh [BUILD_DIR]     (default ./build; needs eitool and make_sample_pack)
#
# Rows (ROWS picks some, by these names; the default is all of them):
#   small         extract 10,000 x 20 KiB vs bsdtar -xf, GNU tar -xf, cp -r of an extracted tree,
#                 cat of the pack > /dev/null
#   large         extract 200 x 5 MiB (1 GiB) vs bsdtar -xf, cp -r, GNU tar -xf, dd writing the
#                 pack's bytes to a new file (bs=1M, no fsync: extraction does not sync either)
#   tiny          extract 1k / 10k / 100k x 1 KiB vs GNU tar -xf, with the time per member
#                 (FULL=1 adds 1,000,000 members: about a minute per command)
#   insert        insert 10,000 pieces all edited and all unchanged vs the extraction of the same
#                 pack, and vs dd writing the whole pack in place over a copy of it
#                 (conv=notrunc, with and without fsync)
#   insert-large  insert 1 GiB all edited vs dd conv=notrunc,fsync of the whole pack in place
#   grow          insert --grow into the 1 GiB pack with one piece grown early in it (so that the
#                 whole pack is rewritten) vs cp of the pack followed by sync, and vs the same
#                 followed by rm of the copy (a rebuild frees the old pack's blocks as well)
#   index         insert with the log's index: one edited piece of 10,000 x 20 KiB (200 MiB) and
#                 of 100,000 x 2 KiB, and no edited piece, vs find TREE -type f -printf '%s\n'
#                 of the same tree (the insertion's tree was filled 3 s after its extraction,
#                 so that its pieces are old enough for the index)
#   textures      500 textures out (extract) and in (insert) vs ImageMagick converting each
#                 extracted BMP to a new BMP, one process per file, and mogrify, one process
#
# Method: every round runs the commands of the chosen rows in a shuffled order (shuf seeded with
# the round's number, so runs are comparable). Before each timed command the disk is synced and,
# as root, the page cache dropped; each command writes into a fresh directory. Outputs are
# deleted at the end of the run, or, when the disk cannot hold all rounds, at the end of each
# round followed by a rest (the file system does not reuse inodes freed in the last minute, and
# a tree removed just before an extraction slows it down several times). The table gives the
# median and the spread (min - max) of every command, eitool's ratio to each peer and the
# targets beside the ratios.
#
# NOTE: a pack holds its names list only from its 2534th member on. A shape whose pack eitool
# reports on (no names list, with a maker that does not fill small packs up with empty members)
# is left out, with eitool's line as the reason.
#
# Environment:
#   ROUNDS (5), WARMUP (1: untimed rounds first), ROWS (see above), FULL (0),
#   EITOOL (BUILD_DIR/cli/eitool: the binary to time, so that an older build can be timed),
#   MAKER (BUILD_DIR/bench/make_sample_pack), WORK (BUILD_DIR/iofloor-work; removed at the end),
#   OUT (a file that receives the table as TSV), DROP (1: drop the page cache when root),
#   SETTLE (1: seconds of rest after each sync), REST (60: seconds of rest after deleting a round),
#   INDEX_MEMBERS ("10000 100000") and INDEX_SIZES ("20480 2048"): the shapes of the index row,
#   shapes for quick tries: SMALL_MEMBERS (10000), SMALL_SIZE (20480), LARGE_MEMBERS (200),
#   LARGE_SIZE (5242880), TINY_COUNTS ("1000 10000 100000"), TINY_SIZE (1024), TEXTURES (500).
set -euo pipefail

build=${1:-./build}
eitool=${EITOOL:-$build/cli/eitool}
maker=${MAKER:-$build/bench/make_sample_pack}
rounds=${ROUNDS:-5}
warmup=${WARMUP:-1}
rows=${ROWS:-small large tiny insert insert-large grow index textures}
work=${WORK:-$build/iofloor-work}
tsv=${OUT:-}
drop=${DROP:-1}
settle=${SETTLE:-1}
rest=${REST:-60}
small_members=${SMALL_MEMBERS:-10000}
small_size=${SMALL_SIZE:-20480}
large_members=${LARGE_MEMBERS:-200}
large_size=${LARGE_SIZE:-5242880}
tiny_counts=${TINY_COUNTS:-1000 10000 100000}
tiny_size=${TINY_SIZE:-1024}
textures=${TEXTURES:-500}
read -r -a index_members <<<"${INDEX_MEMBERS:-10000 100000}"
read -r -a index_sizes <<<"${INDEX_SIZES:-20480 2048}"
if [ "${FULL:-0}" = 1 ]; then
  tiny_counts="$tiny_counts 1000000"
fi

fail() {
  echo "iofloor.sh: $*" >&2
  exit 2
}

for program in "$eitool" "$maker"; do
  [ -x "$program" ] || fail "$program not found; build first (benchmarks on)"
done
eitool=$(realpath "$eitool")
maker=$(realpath "$maker")
for row in $rows; do
  case "$row" in
    small | large | tiny | insert | insert-large | grow | index | textures) ;;
    *) fail "unknown row '$row' (small large tiny insert insert-large grow index textures)" ;;
  esac
done
wants() { [[ " $rows " == *" $1 "* ]]; }

# Peers that are not installed are reported as such. GNU tar only: other tars differ in speed.
have_bsdtar=0 have_tar=0 have_magick=0
command -v bsdtar >/dev/null && have_bsdtar=1
tar --version 2>/dev/null | grep -q 'GNU tar' && have_tar=1
# NOTE: /usr/bin is named on purpose: a convert earlier in PATH may be a wrapper.
[ -x /usr/bin/convert ] && [ -x /usr/bin/mogrify ] && have_magick=1

dropping=0
if [ "$drop" = 1 ] && [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
  dropping=1
fi

# ---------------------------------------------------------------------------------------------
# Disk space. Every file takes whole blocks of 4 KiB.

blocks() { echo $(($1 * (($2 + 4095) / 4096 * 4096))); }

small_bytes=$(blocks "$small_members" "$small_size")
large_bytes=$(blocks "$large_members" "$large_size")
texture_bytes=$((textures * 256 * 1024)) # a generous guess for one set of textures and BMPs
fixed=0 per_round=0
if wants small || wants insert; then
  fixed=$((fixed + 3 * small_bytes)) per_round=$((per_round + 4 * small_bytes))
fi
wants insert && fixed=$((fixed + 6 * small_bytes))
wants large && fixed=$((fixed + 3 * large_bytes)) per_round=$((per_round + 5 * large_bytes))
wants insert-large && fixed=$((fixed + 4 * large_bytes))
wants grow && fixed=$((fixed + 4 * large_bytes)) per_round=$((per_round + large_bytes))
if wants tiny; then
  for count in $tiny_counts; do
    tiny_bytes=$(blocks "$count" "$tiny_size")
    fixed=$((fixed + 3 * tiny_bytes)) per_round=$((per_round + 2 * tiny_bytes))
  done
fi
if wants index; then
  for i in "${!index_members[@]}"; do
    fixed=$((fixed + 4 * $(blocks "${index_members[$i]}" "${index_sizes[$i]}")))
  done
fi
wants textures && fixed=$((fixed + 2 * texture_bytes)) per_round=$((per_round + 4 * texture_bytes))
all_rounds=$((fixed + (rounds + warmup) * per_round))

# A WORK that holds something else is never cleared.
if [ -e "$work" ] && [ ! -e "$work/.iofloor-work" ] && [ -n "$(ls -A "$work" 2>/dev/null)" ]; then
  fail "$work exists and is not an earlier iofloor.sh work directory; choose another WORK"
fi
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
touch "$work/.iofloor-work"
trap 'rm -rf "$work"' EXIT

free=$(df -B1 --output=avail "$work" | tail -n 1 | tr -d ' ')
gib() { awk -v b="$1" 'BEGIN { printf "%.1f GiB", b / 1073741824 }'; }
echo "disk: $(gib "$free") free in $work; all rounds kept need about $(gib "$all_rounds")," \
  "one round at a time $(gib $((fixed + per_round)))"
if [ "$free" -ge $((all_rounds + all_rounds / 20)) ]; then
  keep_rounds=1
  echo "outputs are kept until the end of the run"
elif [ "$free" -ge $((fixed + per_round + (fixed + per_round) / 20)) ]; then
  keep_rounds=0
  echo "outputs are deleted after each round, then ${rest} s of rest"
else
  fail "not enough free space: choose another WORK or fewer ROWS"
fi

# ---------------------------------------------------------------------------------------------
# Inputs, made once. A reference tree is an extraction with its result log moved beside it, so
# that the tree holds exactly the pieces; the tar archives are made from it.

# Shapes are named: NAME.tre is the pack, NAME-tree/ the reference tree (its log NAME-tree.log)
# and NAME.tar the archive of that tree.

# Makes the pack NAME of COUNT members of SIZE bytes, once.
make_pack() {
  [ -e "$work/$1.tre" ] || "$maker" pack "$work/$1.tre" "$2" "$3" >/dev/null
}

# Extracts PACK into DIR for a reference; a pack that eitool reports on (results lines: for
# instance a pack of fewer members than the names list's place holds no names list) is left
# out, with the first line as the reason.
declare -A left_out=()
extract_reference() {
  local status=0
  "$eitool" extract --target "$2" "$1" >"$work/setup.out" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    left_out[$3]="eitool extract: $(head -n 1 "$work/setup.out")"
    left_out[$3]=${left_out[$3]//"$work/"/}
    echo "iofloor.sh: $3 is left out: ${left_out[$3]}" >&2
    return 1
  fi
}

# Makes the pack, the reference tree and the tar archive of the shape NAME.
make_shape() {
  make_pack "$@"
  extract_reference "$work/$1.tre" "$work/$1-tree" "$1" || return 1
  mv "$work/$1-tree/result.log" "$work/$1-tree.log"
  tar -cf "$work/$1.tar" -C "$work/$1-tree" .
}

# A copy of the pack of the shape SHAPE extracted into its own tree, for insertion: NAME.tre and
# NAME/ (with its log), and a copy for dd to write over, NAME-dd.tre.
make_insert_copy() {
  cp "$work/$1.tre" "$work/$2.tre"
  cp "$work/$1.tre" "$work/$2-dd.tre"
  extract_reference "$work/$2.tre" "$work/$2" "$3"
}

jobs=()
index_shapes=()
echo "making the inputs ..."
if wants small || wants insert; then
  if make_shape small "$small_members" "$small_size"; then
    jobs+=(small.eitool)
    wants small && jobs+=(small.bsdtar small.tar small.cp small.cat)
  fi
fi
if wants insert && [ -z "${left_out[small]:-}" ]; then
  make_insert_copy small insert-edited insert
  make_insert_copy small insert-unchanged insert
  [ -n "${left_out[insert]:-}" ] || jobs+=(insert.edited insert.unchanged insert.dd insert.ddsync)
fi
if wants large && make_shape large "$large_members" "$large_size"; then
  jobs+=(large.eitool large.bsdtar large.tar large.cp large.dd)
fi
if wants insert-large; then
  make_pack large "$large_members" "$large_size"
  if make_insert_copy large insert-large-edited insert-large; then
    jobs+=(insert-large.edited insert-large.ddsync)
  fi
fi
if wants grow; then
  # The pack is put back before every round (untimed), so that every round rebuilds it.
  make_pack large "$large_members" "$large_size"
  cp "$work/large.tre" "$work/grow.tre"
  if extract_reference "$work/grow.tre" "$work/grow" grow; then
    grown=$(grep -v -e '^#' -e '^NULL' "$work/grow/result.log" | head -n 1 | tr -d '\r')
    printf 'a longer text' >>"$grown"
    jobs+=(grow.eitool grow.cpsync grow.cpsyncrm)
  fi
fi
if wants tiny; then
  for count in $tiny_counts; do
    if make_shape "tiny-$count" "$count" "$tiny_size"; then
      jobs+=("tiny-$count.eitool" "tiny-$count.tar")
    fi
  done
fi
if wants index; then
  for i in "${!index_members[@]}"; do
    shape=index-${index_members[$i]}
    make_pack "$shape" "${index_members[$i]}" "${index_sizes[$i]}"
    cp "$work/$shape.tre" "$work/$shape-none.tre"
    if extract_reference "$work/$shape.tre" "$work/$shape" "$shape" &&
      extract_reference "$work/$shape-none.tre" "$work/$shape-none" "$shape"; then
      index_shapes+=("$shape")
      jobs+=("$shape.one" "$shape.none" "$shape.find")
      # The piece edited before each round: the first one of the log.
      awk '!/^#/ && !/^NULL/ && !/_filelist.txt/ { print; exit }' "$work/$shape/result.log" \
        >"$work/$shape-one.log"
    fi
  done
  # Pieces are taken from the index only once their times are older than its margin of 2 s.
  sleep 3
  for shape in "${index_shapes[@]}"; do
    for tree in "$work/$shape" "$work/$shape-none"; do
      "$eitool" insert --target "$tree" "$tree/result.log" >/dev/null
    done
  done
fi
if wants textures; then
  if "$maker" textures "$work/textures" "$textures" >/dev/null 2>&1; then
    "$eitool" extract --target "$work/textures-tree" --scan "$work/textures" --type img \
      >/dev/null
    mapfile -t texture_bmps < <(find "$work/textures-tree" -name '*.bmp' | sort)
    jobs+=(textures.out textures.in textures.convert textures.mogrify)
  else
    left_out[textures]="make_sample_pack has no textures mode"
    echo "iofloor.sh: textures are left out: ${left_out[textures]}" >&2
  fi
fi

# ---------------------------------------------------------------------------------------------
# The timed commands. Each writes below OUT, a fresh directory; none reads what another wrote
# in the same round, so that any order is fair.

run_job() {
  local job=$1 out=$2 shape count
  shape=${job%.*}
  case "$job" in
    small.eitool | large.eitool | tiny-*.eitool) "$eitool" extract --target "$out" "$work/$shape.tre" ;;
    small.bsdtar | large.bsdtar) bsdtar -xf "$work/$shape.tar" -C "$out" ;;
    small.tar | large.tar | tiny-*.tar) tar -xf "$work/$shape.tar" -C "$out" ;;
    small.cp | large.cp) cp -r "$work/$shape-tree" "$out/tree" ;;
    small.cat) cat "$work/small.tre" >/dev/null ;;
    large.dd) dd if="$work/large.tre" of="$out/pack" bs=1M status=none ;;
    insert.edited) "$eitool" insert --target "$work/insert-edited" "$work/insert-edited/result.log" ;;
    insert.unchanged)
      "$eitool" insert --target "$work/insert-unchanged" "$work/insert-unchanged/result.log"
      ;;
    insert.dd) dd if="$work/small.tre" of="$work/insert-edited-dd.tre" bs=1M conv=notrunc status=none ;;
    insert.ddsync)
      dd if="$work/small.tre" of="$work/insert-edited-dd.tre" bs=1M conv=notrunc,fsync status=none
      ;;
    insert-large.edited)
      "$eitool" insert --target "$work/insert-large-edited" \
        "$work/insert-large-edited/result.log"
      ;;
    insert-large.ddsync)
      dd if="$work/large.tre" of="$work/insert-large-edited-dd.tre" bs=1M conv=notrunc,fsync status=none
      ;;
    grow.eitool) "$eitool" insert --grow --target "$work/grow" "$work/grow/result.log" ;;
    grow.cpsync) cp "$work/large.tre" "$out/pack" && sync ;;
    grow.cpsyncrm) cp "$work/large.tre" "$out/pack" && sync && rm "$out/pack" ;;
    index-*.one) "$eitool" insert --target "$work/$shape" "$work/$shape/result.log" ;;
    index-*.none) "$eitool" insert --target "$work/$shape-none" "$work/$shape-none/result.log" ;;
    index-*.find) find "$work/$shape-none" -type f -printf '%s\n' >/dev/null ;;
    textures.out)
      "$eitool" extract --target "$out" --scan "$work/textures" --type img
      ;;
    textures.in) "$eitool" insert --target "$out" "$work/textures-tree/result.log" ;;
    textures.convert)
      count=0
      for bmp in "${texture_bmps[@]}"; do
        /usr/bin/convert "$bmp" "$out/$count.bmp"
        count=$((count + 1))
      done
      ;;
    textures.mogrify) /usr/bin/mogrify -path "$out" -format bmp "${texture_bmps[@]}" ;;
    *) fail "no command for $job" ;;
  esac
}

# Whether JOB's peer is installed.
installed() {
  case "$1" in
    *.bsdtar) [ "$have_bsdtar" = 1 ] ;;
    *.tar) [ "$have_tar" = 1 ] ;;
    textures.convert | textures.mogrify) [ "$have_magick" = 1 ] ;;
    *) true ;;
  esac
}

# Runs JOB into OUT after a sync (and a dropped page cache) and prints its wall time in seconds.
# The rest after the sync lets the virtual disk finish what the sync started, so that the flush
# of one command's writes does not land on the next.
timed() {
  local start end
  sync
  [ "$dropping" = 1 ] && echo 3 >/proc/sys/vm/drop_caches
  sleep "$settle"
  start=$(date +%s%N)
  if ! run_job "$1" "$2" >/dev/null 2>"$work/last.err"; then
    echo "iofloor.sh: $1 failed:" >&2
    tail -n 5 "$work/last.err" >&2
    exit 3
  fi
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

# ---------------------------------------------------------------------------------------------
# The rounds.

[ ${#jobs[@]} -gt 0 ] || fail "every row was left out"
has_job() { [[ " ${jobs[*]} " == *" $1 "* ]]; }
declare -A times=()
echo "caches: $([ "$dropping" = 1 ] && echo "dropped before every timed command" ||
  echo "not dropped (DROP=0 or not root): warm")"
for round in $(seq $((1 - warmup)) "$rounds"); do
  # Edited pieces: flipping the first byte again makes every piece differ from the pack, which
  # the last insertion made equal to them.
  if has_job insert.edited; then
    "$maker" flip "$work/insert-edited/result.log" >/dev/null
  fi
  if has_job insert-large.edited; then
    "$maker" flip "$work/insert-large-edited/result.log" >/dev/null
  fi
  if has_job grow.eitool; then
    cp "$work/large.tre" "$work/grow.tre"
  fi
  for shape in "${index_shapes[@]}"; do
    "$maker" flip "$work/$shape-one.log" >/dev/null
  done
  mapfile -t order < <(printf '%s\n' "${jobs[@]}" | shuf --random-source=<(yes "$round"))
  summary="round $round:"
  [ "$round" -le 0 ] && summary="warm-up:"
  for job in "${order[@]}"; do
    installed "$job" || continue
    out=$work/round-$round/$job
    mkdir -p "$out"
    t=$(timed "$job" "$out")
    summary="$summary $job=$t"
    [ "$round" -gt 0 ] && times[$job]="${times[$job]:-} $t"
  done
  echo "$summary" | fold -s -w 100
  if [ "$keep_rounds" = 0 ]; then
    rm -rf "$work/round-$round"
    sync
    [ "$round" -lt "$rounds" ] && sleep "$rest"
  fi
done

# ---------------------------------------------------------------------------------------------
# The table.

# Prints the median, minimum and maximum of JOB's times, or nothing when it was not run.
stats() {
  [ -n "${times[$1]:-}" ] || return 0
  # shellcheck disable=SC2086 # the times are words
  printf '%s\n' ${times[$1]} | sort -g | awk '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
          printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}

median_of() { stats "$1" | cut -d' ' -f1; }

[ -n "$tsv" ] && printf 'work\tcommand\tmedian_s\tmin_s\tmax_s\tratio\ttarget\tverdict\tnote\n' >"$tsv"
# One line of the table as text.
table_row() { printf '%-26s %-30s %9s %17s %8s %8s %-6s %s\n' "$@"; }
printf "\nmedians of %d rounds, spread min - max; ratio = eitool's median / this one's\n" "$rounds"
table_row work command "median s" "min - max s" ratio target "" note
work_label='' tsv_work=''

# Prints one line: LABEL of the command JOB; with SUBJECT, the ratio SUBJECT / JOB and, with
# TARGET, whether the ratio is at most TARGET (a TARGET beginning with ">=" asks at least).
line() {
  local label=$1 job=$2 subject=${3:-} target=${4:-} note=${5:-}
  local median=- spread="not installed" ratio='' verdict='' low='' high=''
  if installed "$job" && [ -n "${times[$job]:-}" ]; then
    read -r median low high < <(stats "$job")
    spread="$low - $high"
    if [ -n "$subject" ] && [ -n "${times[$subject]:-}" ]; then
      ratio=$(awk -v a="$(median_of "$subject")" -v b="$median" 'BEGIN { printf "%.2f", a / b }')
      if [ -n "$target" ]; then
        verdict=$(awk -v r="$ratio" -v t="$target" 'BEGIN { print (r <= t) ? "ok" : "MISSED" }')
      fi
    fi
  elif installed "$job"; then
    spread="not run"
  fi
  table_row "$work_label" "$label" "$median" "$spread" "$ratio" "${target:+<= $target}" \
    "$verdict" "$note"
  [ -z "$work_label" ] || tsv_work=$work_label
  [ -z "$tsv" ] || printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tsv_work" "$label" "$median" \
    "$low" "$high" "$ratio" "$target" "$verdict" "$note" >>"$tsv"
  work_label=
}

# Prints a line for a row that was left out, with the reason, when KEY was left out.
left_out_row() {
  [ -n "${left_out[$1]:-}" ] || return 1
  table_row "$2" "left out" "" "" "" "" "" "${left_out[$1]}"
  [ -z "$tsv" ] || printf '%s\tleft out\t\t\t\t\t\t\t%s\n' "$2" "${left_out[$1]}" >>"$tsv"
}

count_label() { echo "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }
size_label() {
  if [ $(($1 % 1048576)) -eq 0 ]; then echo "$(($1 / 1048576)) MiB"
  elif [ $(($1 % 1024)) -eq 0 ]; then echo "$(($1 / 1024)) KiB"
  else echo "$1 B"; fi
}
# The time per member of JOB over COUNT members, in microseconds.
per_member() {
  [ -n "${times[$1]:-}" ] || return 0
  awk -v m="$(median_of "$1")" -v n="$2" 'BEGIN { printf "%.1f us/member", m / n * 1e6 }'
}

small_label="$(count_label "$small_members") x $(size_label "$small_size")"
if wants small && ! left_out_row small "extract $small_label"; then
  work_label="extract $small_label"
  line "eitool extract" small.eitool
  line "bsdtar -xf" small.bsdtar small.eitool 1.1
  line "GNU tar -xf" small.tar small.eitool 1.1
  line "cp -r of an extracted tree" small.cp small.eitool
  line "cat PACK > /dev/null" small.cat small.eitool
fi
large_label="$(count_label "$large_members") x $(size_label "$large_size")"
if wants large && ! left_out_row large "extract $large_label"; then
  work_label="extract $large_label"
  line "eitool extract" large.eitool
  line "bsdtar -xf" large.bsdtar large.eitool 1.1
  line "GNU tar -xf" large.tar large.eitool 1.1
  line "cp -r of an extracted tree" large.cp large.eitool
  line "dd of the pack to a new file" large.dd large.eitool "" "bs=1M, no fsync"
fi
if wants tiny; then
  for count in $tiny_counts; do
    work_label="extract $(count_label "$count") x $(size_label "$tiny_size")"
    left_out_row "tiny-$count" "$work_label" && continue
    line "eitool extract" "tiny-$count.eitool" "" "" "$(per_member "tiny-$count.eitool" "$count")"
    line "GNU tar -xf" "tiny-$count.tar" "tiny-$count.eitool" 1.1 \
      "$(per_member "tiny-$count.tar" "$count")"
  done
fi
if wants insert && ! left_out_row small "insert $small_label" &&
  ! left_out_row insert "insert $small_label"; then
  work_label="insert $(count_label "$small_members"), all edited"
  line "eitool insert" insert.edited
  line "eitool extract of the same" small.eitool insert.edited 1.0
  line "dd in place" insert.dd insert.edited "" "whole pack, conv=notrunc"
  line "dd in place with fsync" insert.ddsync insert.edited "" "whole pack, conv=notrunc,fsync"
  work_label="insert $(count_label "$small_members"), unchanged"
  line "eitool insert" insert.unchanged
  line "eitool extract of the same" small.eitool insert.unchanged 0.5
fi
large_total=$(awk -v b=$((large_members * large_size)) 'BEGIN { printf "%.0f MiB", b / 1048576 }')
if wants insert-large && ! left_out_row insert-large "insert $large_total"; then
  work_label="insert $large_total, all edited"
  line "eitool insert" insert-large.edited
  line "dd in place with fsync" insert-large.ddsync insert-large.edited 2.5 \
    "whole pack, conv=notrunc,fsync"
fi
if wants grow && ! left_out_row grow "insert --grow $large_total"; then
  work_label="insert --grow $large_total, 1 grown"
  line "eitool insert --grow" grow.eitool
  line "cp of the pack, then sync" grow.cpsync grow.eitool 1.3 "a new file of the whole pack"
  line "the same, then rm of it" grow.cpsyncrm grow.eitool "" "and the blocks of one freed"
fi
if wants index; then
  for i in "${!index_members[@]}"; do
    shape=index-${index_members[$i]}
    label="$(count_label "${index_members[$i]}") x $(size_label "${index_sizes[$i]}")"
    left_out_row "$shape" "index $label" && continue
    work_label="index $label, one edited"
    line "eitool insert" "$shape.one"
    line "find -printf %s of the tree" "$shape.find" "$shape.one" 1.5
    work_label="index $label, none edited"
    line "eitool insert" "$shape.none"
    line "find -printf %s of the tree" "$shape.find" "$shape.none" 1.5
  done
fi
if wants textures && ! left_out_row textures "$(count_label "$textures") textures"; then
  # Before: 0.87 s out and 0.97 s in for 500 textures; the aim is 30% less.
  aim_out=$(awk -v n="$textures" 'BEGIN { printf "%.3f", 0.7 * 0.87 * n / 500 }')
  aim_in=$(awk -v n="$textures" 'BEGIN { printf "%.3f", 0.7 * 0.97 * n / 500 }')
  verdict_of() {
    [ -n "${times[$1]:-}" ] || return 0
    awk -v m="$(median_of "$1")" -v t="$2" 'BEGIN { printf "aim <= %s s: %s", t, (m <= t) ? "ok" : "MISSED" }'
  }
  work_label="$(count_label "$textures") textures out"
  line "eitool extract" textures.out "" "" "$(verdict_of textures.out "$aim_out")"
  line "convert BMP to BMP, each" textures.convert textures.out 0.08 "${#texture_bmps[@]} processes"
  line "mogrify -format bmp, all" textures.mogrify textures.out "" "one process"
  work_label="$(count_label "$textures") textures in"
  line "eitool insert" textures.in "" "" "$(verdict_of textures.in "$aim_in")"
  line "convert BMP to BMP, each" textures.convert textures.in 0.08 "${#texture_bmps[@]} processes"
  line "mogrify -format bmp, all" textures.mogrify textures.in "" "one process"
fi
echo "caches $([ "$dropping" = 1 ] && echo dropped || echo "not dropped"), sync and ${settle} s" \
  "of rest before every command; order shuffled per round"
if wants textures && [ -z "${left_out[textures]:-}" ]; then
  echo "texture aims: 30% below 0.87 s out and 0.97 s in per 500 textures, figures taken warm" \
    "(DROP=0)"
fi
[ -z "$tsv" ] || echo "table written to $tsv"
