#!/usr/bin/env bash
# Makes a complete installation under a machine root: drive map, program
# folder with the deliverables, data folder, settings, database, data source,
# event source. Idempotent: data that exists is never overwritten; the
# deliverables in the program folder are brought up to date.
set -euo pipefail

usage() {
  cat <<'TEXT'
usage: install.sh [--root DIR] [--from DIR] [--link] [--drive-c DIR]
Makes a complete installation under the machine root; run it again at any
time: existing settings and data are kept, the deliverables are refreshed.
  --root DIR     the machine root (default $KESTRAVA_ROOT, else /var/lib/kestrava)
  --from DIR     the folder of the deliverables to install (default $KESTRAVA_BIN,
                 else the program folder this script was installed beside, else
                 build/bin of this source tree)
  --link         link the deliverables instead of copying them; only for a folder
                 that outlives the installation (a package's program folder)
  --drive-c DIR  the folder drive C: maps to in a new root (default $KESTRAVA_DRIVE_C,
                 else /)
Programs and libraries are copied as hard links where the file system allows
(a build writes new files, never into the old ones): rebuilding or deleting the
source tree leaves the installed files as they were.
TEXT
}

scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
here=$(cd "$scripts/.." && pwd)
root=${KESTRAVA_ROOT:-/var/lib/kestrava}
bin=${KESTRAVA_BIN:-}
drive_c=${KESTRAVA_DRIVE_C:-/}
link=0
while (($#)); do
  case $1 in
    --help | -h | '/?') usage; exit 0 ;;
    --root) root=${2:?--root needs a folder}; shift 2 ;;
    --from) bin=${2:?--from needs a folder}; shift 2 ;;
    --link) link=1; shift ;;
    --drive-c) drive_c=${2:?--drive-c needs a folder}; shift 2 ;;
    *) echo "install.sh: unknown argument \"$1\" (see install.sh --help)" >&2; exit 2 ;;
  esac
done
if [[ -z $bin ]]; then
  if [[ -x $here/Tsl3/KvAgent ]]; then bin=$here/Tsl3; else bin=$here/build/bin; fi
fi
[[ $root == /* ]] || root=$PWD/$root
export KESTRAVA_ROOT=$root

kvreg=$bin/kvreg
if [[ ! -x $kvreg ]]; then
  echo "install.sh: $kvreg is missing; build first (cmake -S . -B build && cmake --build build)" >&2
  exit 1
fi
bin=$(cd "$bin" && pwd)

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
# The deliverables sit in the program folder. Each is replaced by a rename,
# so a running service keeps the file it started from.
install_deliverable() {
  local source=$1 target=$2 staging
  staging=$(dirname "$target")/.$(basename "$target").new
  rm -rf "$staging"
  if ((link)); then
    ln -s "$source" "$staging"
  elif [[ -d $source ]]; then
    cp -a "$source" "$staging"
    rm -rf "$target"
  else
    [[ $source -ef $target ]] && return 0
    # The linker writes a new file at every build, so a hard link to a
    # program or library keeps the installed one intact; other files may be
    # rewritten in place and are copied.
    if [[ -x $source || $source == *.so ]] && ln "$source" "$staging" 2> /dev/null; then :; else
      cp -p "$source" "$staging"
    fi
  fi
  mv -fT "$staging" "$target"
}
if [[ $bin != "$program" ]]; then
  for file in "$bin"/*; do
    [[ -e $file ]] || continue
    case $(basename "$file") in Data | Logs) continue ;; esac
    install_deliverable "$file" "$program/$(basename "$file")"
  done
fi
[[ -e $program/Data/ExtExcluded.dat ]] || (umask 077 && : > "$program/Data/ExtExcluded.dat")
# The service database, and the record of each check's outcome (its owner's
# alone, like everything stored about files).
mkdir -p "$root/services"
mkdir -p "$root/checks"
chmod 0700 "$root/checks"

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
for part in "$scripts"/install.d/*.sh; do
  [[ -e $part ]] || continue
  # shellcheck source=/dev/null
  source "$part"
done

echo "Installed under $root"
