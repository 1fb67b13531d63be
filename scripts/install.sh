#!/usr/bin/env bash
# Makes a complete installation under $KESTRAVA_ROOT (default /var/lib/kestrava):
# drive map, program folder with the deliverables, data folder, settings.
# Idempotent: what exists already is never overwritten.
#
#   KESTRAVA_ROOT   the machine root
#   KESTRAVA_BIN    folder of the built deliverables (default: build/bin here)
#   KESTRAVA_DRIVE_C  folder that drive C: maps to (default /)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root=${KESTRAVA_ROOT:-/var/lib/kestrava}
bin=${KESTRAVA_BIN:-$here/build/bin}
drive_c=${KESTRAVA_DRIVE_C:-/}
export KESTRAVA_ROOT=$root

kvreg=$bin/kvreg
if [[ ! -x $kvreg ]]; then
  echo "install.sh: $kvreg is missing; build first (cmake -S . -B build && cmake --build build)" >&2
  exit 1
fi

mkdir -p "$root/dosdevices"
root=$(cd "$root" && pwd)
export KESTRAVA_ROOT=$root
[[ -L $root/dosdevices/c: || -e $root/dosdevices/c: ]] || ln -s "$drive_c" "$root/dosdevices/c:"

# The Windows form of a POSIX path, through drive C:.
windows_path() {
  local path=$1 target
  target=$(readlink "$root/dosdevices/c:")
  target=${target%/}
  if [[ -z $target ]]; then
    path="C:$path"
  elif [[ $path == "$target" || $path == "$target"/* ]]; then
    path="C:${path#"$target"}"
  fi
  [[ $path == "C:" ]] && path="C:/"
  printf '%s' "${path//\//\\}"
}

program=$root/Tsl3
mkdir -p "$program/Data" "$program/Logs"
# The data folder lists the names and fingerprints of files in private
# folders, the logs name them too: for their owner (root) alone.
chmod 700 "$program/Data" "$program/Logs"
# The deliverables sit in the program folder; links keep them current with the build.
for file in "$bin"/*; do
  [[ -f $file ]] || continue
  ln -sfn "$file" "$program/$(basename "$file")"
done
[[ -e $program/Data/ExtExcluded.dat ]] || (umask 077 && : > "$program/Data/ExtExcluded.dat")

settings='HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config'
product='HKLM\SOFTWARE\Kestrava Corvid\Tsl3'

# set_value KEY NAME TYPE DATA: writes the value only when it is missing.
set_value() {
  if ! "$kvreg" query "$1" /v "$2" > /dev/null 2>&1; then
    "$kvreg" add "$1" /v "$2" /t "$3" /d "$4" /f > /dev/null
  fi
}

set_value "$settings" DEBUG REG_DWORD 1
set_value "$settings" DEBUGLEVEL REG_DWORD 5
set_value "$settings" LOGDIR REG_SZ "$(windows_path "$program/Logs")"
set_value "$settings" DATAPATH REG_SZ "$(windows_path "$program/Data")"
set_value "$settings" SERVERIP REG_SZ 127.0.0.1
set_value "$settings" SMTPPORT REG_DWORD 25
set_value "$settings" SPROFILES REG_SZ ""
set_value "$settings" STARTNOW REG_DWORD 0
set_value "$settings" SFIRST REG_DWORD 0
set_value "$settings" INCIDENTID REG_DWORD 0
set_value "$settings" FirstStart REG_DWORD 1
set_value "$product" Build REG_DWORD 1
# The language of the systems that keep it in the registry rather than the locale.
set_value 'HKU\.DEFAULT\Control Panel\International' Locale REG_SZ 00000409

# Further parts of the installation (database, data source, event source,
# service) hook in here, each from its own script.
for part in "$here"/scripts/install.d/*.sh; do
  [[ -e $part ]] || continue
  # shellcheck source=/dev/null
  source "$part"
done

echo "Installed under $root"
