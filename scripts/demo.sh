#!/usr/bin/env bash
# The main job, from a fresh machine: builds, installs into a fresh root,
# installs and starts the agent service, defines a scan job over a sample
# tree, runs a first check (the baseline), changes, adds and removes files,
# runs a second check, and shows the alert e-mail (caught by a local SMTP
# server), the event records and the end of the debug log.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$(nproc)" --target KvAgent KvLaunch OrvEngine TslText OrvRes409 OrvRes407 kvreg kvsc kvevent > /dev/null
bin=$here/build/bin

root=${KESTRAVA_ROOT:-$(mktemp -d /tmp/tessellon-demo.XXXXXX)}
export KESTRAVA_ROOT=$root
drive=$root/drive_c
mail=$root/mail
mkdir -p "$drive/Sample/Reports" "$drive/Sample/Tools" "$mail"

echo "== Machine root: $root (drive C: is $drive)"
KESTRAVA_DRIVE_C=$drive KESTRAVA_BIN=$bin scripts/install.sh

# A local SMTP server catches the alert.
/usr/bin/python3 tests/fixtures/smtp_server.py --folder "$mail" > "$root/smtp.out" 2>&1 &
smtp=$!
service="Kestrava Selvane Tessellon 3 agent service"
cleanup() {
  "$bin/kvsc" stop "$service" > /dev/null 2>&1 || true
  kill "$smtp" 2> /dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do grep -q '^PORT ' "$root/smtp.out" 2> /dev/null && break; sleep 0.1; done
port=$(awk '/^PORT /{print $2}' "$root/smtp.out")
[[ -n $port ]] || { echo "demo: the SMTP server did not start:" >&2; cat "$root/smtp.out" >&2; exit 1; }

config='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
"$bin/kvreg" add "$config" /v SMTPPORT /t REG_DWORD /d "$port" /f > /dev/null
"$bin/kvreg" add "$config" /v SERVERIP /d 127.0.0.1 /f > /dev/null
"$bin/kvreg" add "$config" /v DEBUGLEVEL /t REG_DWORD /d 5 /f > /dev/null

# The sample tree and the scan job: job 1 watches C:\Sample\, and the drive
# root is walked through to reach it.
printf 'quarterly figures\n' > "$drive/Sample/Reports/q1.txt"
printf 'quarterly figures\n' > "$drive/Sample/Reports/q2.txt"
printf 'old notes\n' > "$drive/Sample/notes.txt"
printf '#!/bin/sh\necho tool\n' > "$drive/Sample/Tools/tool.sh"
printf 'scratch\n' > "$drive/Sample/scratch.tmp"
printf 'TMP\r\n' > "$root/Tsl3/Data/ExtExcluded.dat"
sqlite3 "$root/Tsl3/Data/KvData.mdb" <<'SQL'
UPDATE PROFILES SET MAILTO = 'admin@example.org; audit@example.org', MAILFROM = 'tessellon@localhost',
  SUBJECT = 'Integrity alert' WHERE PROFILE_ID = 1;
INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\', '', 0);
INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\Sample\', '', 0);
SQL

echo "== Installing and starting the agent service"
"$root/Tsl3/KvAgent" /service /nm
"$bin/kvsc" start "$service" > /dev/null
"$bin/kvsc" query "$service"

log=$root/Tsl3/Logs/KvAgentDbg.txt
checks_done() { grep -c '<< CheckFiles - STOP' "$log" 2> /dev/null || true; }
run_check() {
  local before
  before=$(checks_done)
  "$bin/KvLaunch" 1
  for _ in $(seq 600); do
    [[ $(checks_done) -gt $before ]] && return 0
    sleep 0.1
  done
  echo "demo: the check did not finish" >&2
  exit 1
}

echo "== First check: the baseline"
run_check
echo "   $(sqlite3 "$root/Tsl3/Data/KvData.mdb" 'SELECT COUNT(*) FROM OLD_DATA') items recorded"

echo "== Changing the sample tree"
printf 'quarterly figures, revised\n' > "$drive/Sample/Reports/q1.txt"
printf 'a new file\n' > "$drive/Sample/Reports/q3.txt"
rm "$drive/Sample/notes.txt"
chmod +x "$drive/Sample/Reports/q2.txt"

echo "== Second check"
run_check

echo
echo "== The alert e-mail"
for _ in $(seq 50); do [[ -e $mail/1.eml ]] && break; sleep 0.1; done
cat "$mail/1.decoded"
echo
echo "== The event records"
"$bin/kvevent" --source Tsl
echo "== The end of the debug log"
tail -n 25 "$log"
