#!/usr/bin/env bash
# The comparison and the baseline roll at a given number of item rows, 1% of
# them changed, without walking a tree: an installed database is filled
# directly, then bench/roll_compare runs DispatchResults and UpdateData on it.
# Each round starts from the same copy, with the file read once beforehand.
#
#   bench/roll_compare.sh [ROWS] [ROUNDS]     (default 300000 rows, 3 rounds;
#   ROLL_COMPARE=<program> runs another build of it)
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
for round in $(seq 1 "$rounds"); do
  cp "$root/copy.mdb" "$db"
  rm -f "$db-wal" "$db-shm"
  cat "$db" > /dev/null
  /usr/bin/time -f "  peak %M KiB" "$runner" 2>&1
done
