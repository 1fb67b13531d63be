#!/usr/bin/env bash
# Whole checks of a real tree, side by side with md5sum and aide on the same
# tree: a first check (baseline) with both pauses at 0, then a second check
# after 1% of the files changed. Each timed run is preceded by an untimed read
# of the whole tree, so every tool starts with the same warm page cache.
#
#   bench/whole_check.sh [TREE]    (default: a copy of /usr/share in /tmp)
#
# Needs a build in build/ (cmake --build build --target run_check) and, for
# the comparison, aide (apt-get install aide).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=${1:-/tmp/kvbench-tree}
if [[ ! -d $tree ]]; then
  echo "copying /usr/share to $tree ..."
  cp -a /usr/share "$tree"
fi
runner=$here/build/bench/run_check
[[ -x $runner ]] || cmake --build "$here/build" --target run_check > /dev/null

root=$(mktemp -d /tmp/kvbench-root.XXXXXX)
export KESTRAVA_ROOT=$root
KESTRAVA_DRIVE_C=$tree KESTRAVA_BIN=$here/build/bin "$here/scripts/install.sh" > /dev/null
config='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
kvreg=$here/build/bin/kvreg
"$kvreg" add "$config" /v WALKDELAY /t REG_DWORD /d 0 /f > /dev/null
"$kvreg" add "$config" /v MATCHDELAY /t REG_DWORD /d 0 /f > /dev/null
"$kvreg" add "$config" /v DEBUG /t REG_DWORD /d 0 /f > /dev/null
"$kvreg" add "$config" /v SMTPPORT /t REG_DWORD /d 1 /f > /dev/null
sqlite3 "$root/Tsl3/Data/KvData.mdb" \
  "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\', '', 0);"

items=$(find "$tree" -xdev | wc -l)
bytes=$(du -sb "$tree" | cut -f1)
echo "tree: $tree, $items items, $((bytes / 1048576)) MiB"

warm() { find "$tree" -xdev -type f -print0 | xargs -0 cat > /dev/null 2>&1 || true; }
timed() {  # label command...
  local label=$1
  shift
  warm
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1 || true
  end=$(date +%s.%N)
  printf '%-28s %8.2f s\n' "$label" "$(echo "$end - $start" | bc)"
}

timed "md5sum (one process)" sh -c "find '$tree' -xdev -type f -print0 | xargs -0 md5sum"
aide_conf=$root/aide.conf
if command -v aide > /dev/null; then
  cat > "$aide_conf" <<CONF
database_in=file:$root/aide.db
database_out=file:$root/aide.db
R = p+u+g+m+c+s+md5
$tree R
CONF
  timed "aide --init (md5)" aide --init --config="$aide_conf"
fi
warm
echo -n "first check (baseline):      "
"$runner"
echo "   rows: $(sqlite3 "$root/Tsl3/Data/KvData.mdb" 'SELECT COUNT(*) FROM OLD_DATA')"

# 1% of the files change.
find "$tree" -xdev -type f -writable | awk 'NR % 100 == 0' | while read -r f; do printf 'x' >> "$f"; done
if command -v aide > /dev/null; then timed "aide --check" aide --check --config="$aide_conf"; fi
warm
echo -n "second check (1% changed):   "
"$runner"
rm -rf "$root"
