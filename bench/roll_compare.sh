#!/usr/bin/env bash
# The comparison and the baseline roll at a given number of item rows, 1% of
# them changed, without walking a tree: an installed database is filled
# directly, then bench/roll_compare runs DispatchResults and UpdateData on it.
# Each round starts from the same copy, with the file read once beforehand.
#
#   bench/roll_compare.sh [ROWS] [ROUNDS]     (default 300000 rows, 3 rounds;
#   ROLL_COMPARE=<program> runs another build of it; ROLL_COMPARE_BASE=<program>
#   runs that one too, before it in every round, for a comparison in one run)
#
# Ends with the medians of the rounds: compare, roll and the two together.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rows=${1:-300000}
rounds=${2:-3}
runner=${ROLL_COMPARE:-$here/build/bench/roll_compare}
[[ -x $runner ]] || cmake --build "$here/build" --target roll_compare > /dev/null

root=$(mktemp -d /tmp/kvroll-root.XXXXXX)
trap 'rm -rf "$root"' EXIT
export KESTRAVA_ROOT=$root
mkdir -p "$root/drive"
KESTRAVA_DRIVE_C=$root/drive KESTRAVA_BIN=$here/build/bin "$here/scripts/install.sh" > /dev/null
config='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
for value in DEBUG:0 SMTPPORT:1; do
  "$here/build/bin/kvreg" add "$config" /v "${value%%:*}" /t REG_DWORD /d "${value##*:}" /f > /dev/null
done
db=$root/Tsl3/Data/KvData.mdb
sqlite3 "$db" > /dev/null <<SQL
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO OLD_DATA SELECT i, 'C:\data\d' || (i / 100) || '\file' || i || '.txt', lower(hex(randomblob(16))), 100,
  '2024-01-01 10:00:00', 'HOST\root', '2024-01-01 10:00:00', '2024-01-01 10:00:00', 32, lower(hex(randomblob(16))), 1
  FROM n;
INSERT INTO CURRENT_DATA SELECT ITEM_ID, PATH, CASE WHEN ITEM_ID % 100 = 0 THEN 'changed' ELSE MD5 END, SIZE,
  CREATION_TIME, OWNER, LAST_MODIFIED_TIME, LAST_ACCESSED_TIME, ATTRIBUTES, PATH_MD5, PROFILE_ID FROM OLD_DATA;
INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\data\', '', 0), (0, 'C:\data\d5\', 'x', 1);
PRAGMA wal_checkpoint(TRUNCATE);
SQL
cp "$db" "$root/copy.mdb"
echo "rows: $rows, load: $(cut -d' ' -f1-3 /proc/loadavg)"
programs=("$runner")
if [[ -n ${ROLL_COMPARE_BASE:-} ]]; then programs=("$ROLL_COMPARE_BASE" "$runner"); fi
results=$root/results
for round in $(seq 1 "$rounds"); do
  for program in "${programs[@]}"; do
    cp "$root/copy.mdb" "$db"
    rm -f "$db-wal" "$db-shm"
    cat "$db" > /dev/null
    line=$(/usr/bin/time -f "peak %M KiB" "$program" 2>&1 | tr '\n' ' ') || true
    echo "$program: $line"
    echo "$program $line" >> "$results"
  done
done
echo "medians of $rounds rounds, load: $(cut -d' ' -f1-3 /proc/loadavg)"
for program in "${programs[@]}"; do
  awk -v p="$program" '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    $1 == p && $2 == "compare" { n++; c[n] = $3; r[n] = $9; s[n] = $3 + $9; if ($(NF - 1) > peak) peak = $(NF - 1) }
    END { printf "%s: compare %.2f s, roll %.2f s, together %.2f s, peak %d KiB\n", p, median(c, n), median(r, n), median(s, n), peak }
  ' "$results"
done
