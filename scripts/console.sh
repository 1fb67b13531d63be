#!/usr/bin/env bash
# The configuration console on an installed machine root (the demo's, or
# /var/lib/kestrava): starts kvmmc there on a free port of 127.0.0.1 and
# prints the one address to open in a browser on this machine.
#
#   scripts/console.sh [--background] [ROOT]
#
# In the foreground it serves until Ctrl+C. With --background it leaves kvmmc
# running on its own, prints the address and the command that stops it, and
# ends; kvmmc's messages go to ROOT/kvmmc.log.
set -euo pipefail

background=0
root=
while (($#)); do
  case $1 in
    --background) background=1; shift ;;
    --help | -h)
      sed -n '2,11p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
      exit 0 ;;
    -*) echo "console.sh: unknown option \"$1\" (see console.sh --help)" >&2; exit 2 ;;
    *) [[ -z $root ]] || { echo "console.sh: one machine root at a time" >&2; exit 2; }
       root=$1; shift ;;
  esac
done
root=${root:-${KESTRAVA_ROOT:-/var/lib/kestrava}}
[[ -d $root ]] || { echo "console.sh: no machine root at $root" >&2; exit 1; }
root=$(cd "$root" && pwd)
program=$root/Tsl3
[[ -x $program/kvmmc && -e $program/Tsl3.msc ]] ||
  { echo "console.sh: $root has no installed console ($program/kvmmc, $program/Tsl3.msc)" >&2; exit 1; }
export KESTRAVA_ROOT=$root
# The drive C: of the installation, for the folders the console's first start names.
drive_c=$(readlink "$root/dosdevices/c:" || true)
[[ -n $drive_c ]] && export KESTRAVA_DRIVE_C=$drive_c

if ((!background)); then
  exec "$program/kvmmc" "$program/Tsl3.msc" --port 0
fi

log=$root/kvmmc.log
address_file=$(mktemp)
trap 'rm -f "$address_file"' EXIT
setsid "$program/kvmmc" "$program/Tsl3.msc" --port 0 > "$address_file" 2> "$log" < /dev/null &
pid=$!
for _ in $(seq 100); do
  [[ -s $address_file ]] && break
  kill -0 "$pid" 2> /dev/null || break
  sleep 0.1
done
address=$(head -n 1 "$address_file")
if [[ $address != http://127.0.0.1:* ]]; then
  echo "console.sh: kvmmc did not start; see $log" >&2
  kill "$pid" 2> /dev/null || true
  exit 1
fi
echo "$pid" > "$root/kvmmc.pid"
printf '   Stop it with:        kill %s\n' "$pid"
printf '   Open in a browser:   %s\n' "$address"
