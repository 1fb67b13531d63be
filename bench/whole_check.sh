#!/usr/bin/env bash
# Whole checks side by side with their yardsticks, on a tree of large files
# (a copy of /usr/share and /usr/lib) and a tree of ~100-byte files, 100 per
# folder: a single md5sum over the files, a plain C walk (nftw, lstat, owner
# look-up, 4 KiB reads, OpenSSL MD5), `aide --init` and, after 1% of the
# files changed, `aide --check`; ours as a first check (baseline) with both
# pauses at 0 and a second check after the same change.
#
# The tools take turns within each round, rounds are repeated and medians
# reported, because the machine is shared; its load is printed with each
# round. These machines drop page cache that has lain idle for about a
# minute, so every timed run is preceded by an untimed read of its tree.
#
#   bench/whole_check.sh [--large-mib N] [--small-items N] [--rounds N]
#                        [--trees large,small] [--work DIR] [--build DIR]
#
#   --large-mib N    copy only the first N MiB of /usr/share and /usr/lib
#                    (default: all of them)
#   --small-items N  files in the small-file tree (default 300000)
#   --rounds N       rounds (default 3)
#   --trees LIST     large, small or large,small (default)
#   --work DIR       where the trees are kept between runs (default
#                    /tmp/kvbench); a tree is made again only when its size
#                    option changes. Each round changes 1% of its files.
#   --build DIR      the build to measure (default build/ here), for example
#                    one kept aside while the working build changes
#
# Needs a build (run_check, kvreg and the deliverables), and the
# Debian packages aide, sqlite3, gcc, libssl-dev and python3.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

large_mib=
small_items=300000
rounds=3
trees=large,small
work=/tmp/kvbench
build=$here/build
while (($#)); do
  case $1 in
    --large-mib) large_mib=$2; shift 2 ;;
    --small-items) small_items=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --trees) trees=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "whole_check.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
number() { [[ $2 =~ ^[1-9][0-9]*$ ]] || { echo "whole_check.sh: $1 needs a positive number" >&2; exit 2; }; }
[[ -z $large_mib ]] || number --large-mib "$large_mib"
number --small-items "$small_items"
number --rounds "$rounds"
[[ $trees =~ ^(large|small)(,(large|small))?$ ]] || { echo "whole_check.sh: --trees takes large, small or both" >&2; exit 2; }

# What the benchmark needs beyond the build's own packages.
missing=()
for tool in aide:aide sqlite3:sqlite3 gcc:gcc python3:python3 md5sum:coreutils; do
  command -v "${tool%%:*}" > /dev/null || missing+=("${tool#*:}")
done
[[ -f /usr/include/openssl/evp.h ]] || missing+=(libssl-dev)
if ((${#missing[@]})); then
  echo "whole_check.sh: needs the Debian packages: ${missing[*]} (apt-get install ${missing[*]})" >&2
  exit 1
fi

build=$(cd "$build" && pwd)
bin=$build/bin
runner=$build/bench/run_check
if [[ ! -x $runner || ! -x $bin/kvreg ]]; then
  echo "whole_check.sh: build first: cmake --build $build --target run_check kvreg OrvEngine" >&2
  exit 1
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)
reference=$work/reference_walk
gcc -O2 -Wall -Wextra -Werror -std=c11 "$here/bench/reference_walk.c" -lcrypto -o "$reference"

# --- the trees ---------------------------------------------------------------

make_large() {
  local tree=$work/large stamp="mib=${large_mib:-all}"
  [[ -f $tree.stamp && $(cat "$tree.stamp") == "$stamp" ]] && return
  echo "copying /usr/share and /usr/lib to $tree (${large_mib:-all} MiB) ..."
  rm -rf "$tree" "$tree.stamp"
  mkdir -p "$tree"
  if [[ -z $large_mib ]]; then
    tar -C / --one-file-system -cf - usr/share usr/lib | tar -C "$tree" -xf -
  else
    # Entries in walk order, folders before what they hold, until the
    # files' sizes reach the limit.
    (cd / && find usr/share usr/lib -xdev -printf '%y %s %p\n') |
      awk -v limit=$((large_mib * 1048576)) '{ if ($1 == "f") total += $2; if (total > limit) next;
                                                sub(/^[^ ]+ [^ ]+ /, ""); print }' > "$work/large.list"
    tar -C / --no-recursion -cf - -T "$work/large.list" | tar -C "$tree" -xf -
    rm -f "$work/large.list"
  fi
  echo "$stamp" > "$tree.stamp"
}

make_small() {
  local tree=$work/small stamp="items=$small_items"
  [[ -f $tree.stamp && $(cat "$tree.stamp") == "$stamp" ]] && return
  echo "making $small_items files of 100 bytes in $tree ..."
  rm -rf "$tree" "$tree.stamp"
  python3 - "$tree" "$small_items" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "g%03d" % (i // 10000), "d%03d" % (i // 100 % 100))
    if i % 100 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%02d.txt" % (i % 100)), "w") as f:
        f.write(("%08d " % i) * 11 + "\n")
PY
  echo "$stamp" > "$tree.stamp"
}

# --- runs --------------------------------------------------------------------

declare -A times peaks
warm() { find "$1" -xdev -type f -print0 | xargs -0 -r cat > /dev/null 2>&1 || true; }
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'; }

# timed TREE KEY COMMAND...: one warm read of the tree, then the timed run.
timed() {
  local tree=$1 key=$2 start
  shift 2
  warm "$tree"
  start=$EPOCHREALTIME
  "$@" > "$work/last.out" 2>&1 || true
  local took
  took=$(seconds_since "$start")
  times[$key]+="$took "
  # As it goes, so that a run cut short still tells what it measured.
  printf '   %-28s %8s s\n' "$key" "$took"
}

# A machine root of its own, installed with drive C: on the tree and one
# scan job that covers all of C:.
fresh_root() {
  local tree=$1 config='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
  rm -rf "$work/root"
  export KESTRAVA_ROOT=$work/root
  KESTRAVA_DRIVE_C=$tree KESTRAVA_BIN=$bin "$here/scripts/install.sh" > /dev/null
  for value in WALKDELAY=0 MATCHDELAY=0 DEBUG=0 SMTPPORT=1; do
    "$bin/kvreg" add "$config" /v "${value%%=*}" /t REG_DWORD /d "${value#*=}" /f > /dev/null
  done
  sqlite3 "$KESTRAVA_ROOT/Tsl3/Data/KvData.mdb" \
    "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\', '', 0);"
}

check() {  # KEY: our check in the current root, its peak memory noted
  local tree=$1 key=$2
  timed "$tree" "$key" "$runner"
  local peak
  peak=$(sed -n 's/.* peak \([0-9.]*\) MiB.*/\1/p' "$work/last.out")
  grep -q '^result 0 ' "$work/last.out" || echo "   $key: $(tr '\n' ' ' < "$work/last.out")"
  peaks[$key]+="${peak:-?} "
}

# 1% of the files, a different 1% each round, get one more byte.
change_one_percent() {
  local tree=$1 round=$2
  find "$tree" -xdev -type f -writable -print0 | sort -z |
    awk -v RS='\0' -v ORS='\0' -v r="$round" 'NR % 100 == r % 100' |
    xargs -0 -r python3 -c 'import sys
for p in sys.argv[1:]:
    open(p, "ab").write(b"x")'
}

round_of() {  # TREE NAME ROUND
  local tree=$1 name=$2 round=$3 conf=$work/aide-$2.conf
  cat > "$conf" <<CONF
database_in=file:$work/aide-$name.db
database_out=file:$work/aide-$name.db.new
R = p+u+g+m+c+s+md5
$tree R
CONF
  timed "$tree" "$name md5sum" sh -c "find '$tree' -xdev -type f -print0 | xargs -0 md5sum"
  timed "$tree" "$name reference walk" "$reference" "$tree"
  timed "$tree" "$name aide --init" aide --init --config="$conf"
  mv -f "$work/aide-$name.db.new" "$work/aide-$name.db"
  fresh_root "$tree"
  check "$tree" "$name first check"
  change_one_percent "$tree" "$round"
  timed "$tree" "$name aide --check" aide --check --config="$conf"
  check "$tree" "$name second check"
}

median() { tr ' ' '\n' <<< "$1" | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
  if (NR == 0) print "?"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "?" }'; }

report() {  # NAME TREE
  local name=$1 tree=$2 items bytes
  items=$(find "$tree" -xdev | wc -l)
  bytes=$(du -sb "$tree" | cut -f1)
  echo
  echo "$name-file tree: $tree, $items items, $((bytes / 1048576)) MiB; seconds per round, median, ratio"
  local md5 init check
  md5=$(median "${times[$name md5sum]}")
  init=$(median "${times[$name aide --init]}")
  check=$(median "${times[$name aide --check]}")
  for tool in md5sum "reference walk" "aide --init" "first check" "aide --check" "second check"; do
    local key="$name $tool" m against note=
    m=$(median "${times[$key]}")
    case $tool in
      "aide --check") against="" ;;
      "second check") against="$(ratio "$m" "$check") x aide --check" ;;
      *) against="$(ratio "$m" "$md5") x md5sum" ;;
    esac
    [[ $tool == "first check" ]] && against+=", $(ratio "$m" "$init") x aide --init"
    [[ -n ${peaks[$key]:-} ]] && note="  peak MiB: ${peaks[$key]}"
    printf '  %-16s %-26s median %8s  %s%s\n' "$tool" "${times[$key]}" "$m" "$against" "$note"
  done
}

echo "load before: $(uptime)"
[[ $trees == *large* ]] && make_large
[[ $trees == *small* ]] && make_small
for ((round = 1; round <= rounds; ++round)); do
  echo "round $round: $(uptime)"
  [[ $trees == *large* ]] && round_of "$work/large" large "$round"
  [[ $trees == *small* ]] && round_of "$work/small" small "$round"
done
echo "load after: $(uptime)"
[[ $trees == *large* ]] && report large "$work/large"
[[ $trees == *small* ]] && report small "$work/small"
rm -rf "$work/root" "$work/last.out"
