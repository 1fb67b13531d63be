#!/usr/bin/env bash
# The Debian package on a throw-away machine, as root: builds it, installs it
# with apt, sees the agent service running, runs a check with KvLaunch and
# kvwait, removes the package and finds no process of it left and the data
# kept, then purges it. Anywhere else it does nothing: it installs into this
# machine's /usr and /var/lib/kestrava.
#   package_test.sh [BUILD]  package from a configured build folder whose
#                            targets are built (test.sh passes its own);
#                            default: build-package, without tests
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$here"

if [[ $(id -u) -ne 0 ]]; then
  echo "package test: skipped: it installs the package into this machine and needs root (CI runs it)"
  exit 0
fi
if dpkg-query -W -f='${Status}' tessellon 2> /dev/null | grep -q installed || [[ -e /var/lib/kestrava ]]; then
  echo "package test: skipped: this machine has an installation (package tessellon or /var/lib/kestrava) that the test would replace"
  exit 0
fi

root=/var/lib/kestrava
agent="Kestrava Selvane Tessellon 3 agent service"
# Directly under drive C: (/), like a scan job's folder on Windows.
sample=$(mktemp -d /tessellon-sample.XXXXXX)
fail() { echo "package test: FAILED: $*" >&2; exit 1; }
cleanup() {
  local status=$?
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tessellon > /dev/null 2>&1 || true
  rm -rf "$sample"
  exit "$status"
}
trap cleanup EXIT

# Processes whose program is one of the package's files.
package_processes() {
  local exe pids=()
  for exe in /proc/[0-9]*/exe; do
    case $(readlink "$exe" 2> /dev/null) in
      /usr/lib/tessellon/*) pids+=("${exe#/proc/}") ;;
    esac
  done
  printf '%s\n' "${pids[@]%/exe}" | grep -v '^$' || true
}

echo "package test: building the package"
build=${1:-build-package}
if [[ -z ${1:-} ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF > /dev/null
fi
cmake --build "$build" -j"$(nproc)" > /dev/null
rm -rf "$build/package"
(cd "$build" && cpack > /dev/null)
deb=$(ls "$build"/package/tessellon_*.deb)

echo "package test: installing $deb with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb" > "$sample.apt.log" 2>&1 ||
  { cat "$sample.apt.log" >&2; rm -f "$sample.apt.log"; fail "apt-get install"; }
rm -f "$sample.apt.log"

for program in KvAgent KvLaunch kvreg kvsc kvevent kvwait; do
  [[ -x /usr/sbin/$program ]] || fail "/usr/sbin/$program is missing"
done
man -P cat KvLaunch 2> /dev/null | grep -q "request a check" || fail "man KvLaunch does not render"
[[ -e $root/Tsl3/Data/KvData.mdb ]] || fail "the installation made no database"

running=0
for _ in $(seq 100); do
  kvsc query "$agent" | grep -q RUNNING && { running=1; break; }
  sleep 0.1
done
((running)) || { kvsc query "$agent" >&2; fail "the agent service is not running"; }
if [[ -x /usr/lib/tessellon/Tsl3/kvschedule ]]; then
  running=0
  for _ in $(seq 100); do
    kvsc query Schedule | grep -q RUNNING && { running=1; break; }
    sleep 0.1
  done
  ((running)) || { kvsc query Schedule >&2; fail "the scheduler is not running"; }
fi

echo "package test: a check of job 1 over $sample"
printf 'one\n' > "$sample/a.txt"
printf 'two\n' > "$sample/b.txt"
config='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
kvreg add "$config" /v WALKDELAY /t REG_DWORD /d 0 /f > /dev/null
kvreg add "$config" /v MATCHDELAY /t REG_DWORD /d 0 /f > /dev/null
sqlite3 "$root/Tsl3/Data/KvData.mdb" \
  "INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0);
   INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:${sample//\//\\}\\', '', 0);"
KvLaunch 1
outcome=$(kvwait --timeout 120) || fail "kvwait: $outcome"
echo "   $outcome"
[[ $outcome == "job 1: 3 items, 0 added, 0 changed, 0 removed, result 0x00000000 (ended normally)"* ]] ||
  fail "unexpected outcome: $outcome"

echo "package test: removing the package"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q tessellon > /dev/null 2>&1 || fail "apt-get remove"
left=$(package_processes)
[[ -z $left ]] || fail "processes left after removal: $left"
[[ -e $root/Tsl3/Data/KvData.mdb ]] || fail "removal lost the database"
[[ ! -e /usr/sbin/KvAgent ]] || fail "removal left the programs"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q tessellon > /dev/null 2>&1 || fail "apt-get purge"
[[ ! -e $root ]] || fail "purging left $root"
echo "package test: passed"
