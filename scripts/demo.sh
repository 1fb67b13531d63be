#!/usr/bin/env bash
# The main job, from a fresh clone: builds the deliverables, installs them
# into a fresh machine root, starts the agent service, defines a scan job
# over a sample tree, runs a first check (the baseline), changes, adds and
# removes files, runs a second check, and shows the alert e-mail (caught by a
# local SMTP server) and the event records. On exit it stops and removes the
# service and the SMTP server; the root stays for a look, and the summary
# says where it is and how to remove it. A second run reuses the build.
# With --console it then leaves the configuration console running on the
# demo's root and ends with the address to open in a browser.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
console=0
case ${1:-} in
  --console) console=1 ;;
  "") ;;
  *) echo "usage: scripts/demo.sh [--console]" >&2; exit 2 ;;
esac

step() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }

step "Checking the Debian packages the build needs (scripts/setup.sh)"
scripts/setup.sh

step "Building the deliverables into build/bin (a second run reuses the build)"
[[ -d build ]] || note "first build: configuring, then a few minutes of compiling on a small machine"
configure_log=$(mktemp)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$configure_log" 2>&1 ||
  { cat "$configure_log" >&2; rm -f "$configure_log"; exit 1; }
rm -f "$configure_log"
# One line per ten percent, so that a long build is visibly moving.
cmake --build build -j"$(nproc)" --target deliverables 2>&1 | tee build/demo-build.log |
  awk 'match($0, /^\[ *[0-9]+%\]/) {
         p = substr($0, 2, RLENGTH - 3) + 0
         if (p >= last + 10 || p == 100 && last != 100) { printf "   built %3d%%\n", p; last = p; fflush() }
       }
       /error|Error/ { print; fflush() }'
[[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "demo: the build failed; see build/demo-build.log" >&2; exit 1; }
bin=$here/build/bin

root=${KESTRAVA_ROOT:-$(mktemp -d /tmp/tessellon-demo.XXXXXX)}
export KESTRAVA_ROOT=$root
drive=$root/drive_c
mail=$root/mail
mkdir -p "$drive/Sample/Reports" "$drive/Sample/Tools" "$mail"

step "Installing into the machine root $root"
note "drive C: is $drive; the programs are copied into $root/Tsl3"
scripts/install.sh --root "$root" --from "$bin" --drive-c "$drive" > /dev/null
program=$root/Tsl3

service="Kestrava Selvane Tessellon 3 agent service"
smtp=
cleanup() {
  local status=$?
  trap - EXIT
  if [[ -x $program/kvsc ]]; then
    "$program/kvsc" stop "$service" --wait > /dev/null 2>&1 || true
    "$program/KvAgent" /unregserver > /dev/null 2>&1 || true
  fi
  [[ -n $smtp ]] && kill "$smtp" 2> /dev/null || true
  [[ -n $smtp ]] && wait "$smtp" 2> /dev/null || true
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "Starting a local SMTP server to catch the alert"
/usr/bin/python3 tests/fixtures/smtp_server.py --folder "$mail" > "$root/smtp.out" 2>&1 &
smtp=$!
for _ in $(seq 100); do grep -q '^PORT ' "$root/smtp.out" 2> /dev/null && break; sleep 0.1; done
port=$(awk '/^PORT /{print $2}' "$root/smtp.out")
[[ -n $port ]] || { echo "demo: the SMTP server did not start:" >&2; cat "$root/smtp.out" >&2; exit 1; }
note "listening on 127.0.0.1:$port; messages land in $mail"

config='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
"$program/kvreg" add "$config" /v SMTPPORT /t REG_DWORD /d "$port" /f > /dev/null
"$program/kvreg" add "$config" /v SERVERIP /d 127.0.0.1 /f > /dev/null
"$program/kvreg" add "$config" /v DEBUGLEVEL /t REG_DWORD /d 5 /f > /dev/null

step "Defining scan job 1 over C:\\Sample\\ (a sample tree of five files)"
printf 'quarterly figures\n' > "$drive/Sample/Reports/q1.txt"
printf 'quarterly figures\n' > "$drive/Sample/Reports/q2.txt"
printf 'old notes\n' > "$drive/Sample/notes.txt"
printf '#!/bin/sh\necho tool\n' > "$drive/Sample/Tools/tool.sh"
printf 'scratch\n' > "$drive/Sample/scratch.tmp"
printf 'TMP\r\n' > "$program/Data/ExtExcluded.dat"
note "files with the extension .tmp are left out"
# The drive root is walked through to reach the job's folder.
sqlite3 "$program/Data/KvData.mdb" <<'SQL'
UPDATE PROFILES SET MAILTO = 'admin@example.org; audit@example.org', MAILFROM = 'tessellon@localhost',
  SUBJECT = 'Integrity alert' WHERE PROFILE_ID = 1;
INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\', '', 0);
INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\Sample\', '', 0);
SQL

step "Installing and starting the agent service"
"$program/KvAgent" /service /nm
"$program/kvsc" start "$service" > /dev/null
for _ in $(seq 100); do "$program/kvsc" query "$service" | grep -q RUNNING && break; sleep 0.1; done
"$program/kvsc" query "$service" | sed -n 's/^ *\(STATE\|PID\) *: */   \1: /p'

run_check() {
  note "KvLaunch 1 requests the check; kvwait waits for it"
  "$program/KvLaunch" 1
  "$program/kvwait" --timeout 300 | sed 's/^/   /'
}

step "First check: the baseline"
run_check

step "Changing the sample tree"
printf 'quarterly figures, revised\n' > "$drive/Sample/Reports/q1.txt"
note "changed  C:\\Sample\\Reports\\q1.txt"
printf 'a new file\n' > "$drive/Sample/Reports/q3.txt"
note "added    C:\\Sample\\Reports\\q3.txt"
rm "$drive/Sample/notes.txt"
note "removed  C:\\Sample\\notes.txt"
chmod +x "$drive/Sample/Reports/q2.txt"
note "made executable C:\\Sample\\Reports\\q2.txt"

step "Second check: the changes are reported"
run_check

step "The alert e-mail"
for _ in $(seq 50); do [[ -e $mail/1.eml ]] && break; sleep 0.1; done
if [[ -e $mail/1.decoded ]]; then cat "$mail/1.decoded"; else echo "   (no alert arrived; see $program/Logs/KvAgentDbg.txt)"; fi

step "The event records"
"$program/kvevent" --source Tsl

step "Stopping and removing the agent service and the SMTP server"
"$program/kvsc" stop "$service" --wait > /dev/null
"$program/KvAgent" /unregserver > /dev/null 2>&1 || true
kill "$smtp" 2> /dev/null || true
wait "$smtp" 2> /dev/null || true
smtp=

cat <<TEXT

== Summary
   The alert e-mail:    $mail/1.decoded (as received: $mail/1.eml)
   The event records:   KESTRAVA_ROOT=$root $program/kvevent --source Tsl
   The debug log:       $program/Logs/KvAgentDbg.txt
   The database:        sqlite3 $program/Data/KvData.mdb
TEXT
cat <<TEXT
   The machine root:    $root
                        (everything the demo made; remove it with: rm -rf $root)
TEXT
if ((console)); then
  step "The configuration console on the demo's root: scan job Default, its pages, its report"
  scripts/console.sh --background "$root"
else
  cat <<TEXT
   The console:         scripts/console.sh $root
                        (prints the address to open in a browser on this machine;
                        scripts/demo.sh --console leaves it running at the end)
TEXT
fi
