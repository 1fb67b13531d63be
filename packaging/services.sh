# shellcheck shell=sh
# Shell functions the package's maintainer scripts share: which services the
# installation registers, and how they are started and stopped. Sourced with
# root and program set.

# shellcheck disable=SC2034 # used by the scripts that source this file
agent_service="Kestrava Selvane Tessellon 3 agent service"
# shellcheck disable=SC2034
scheduler_service="Schedule"

# shellcheck disable=SC2154 # root and program come from the sourcing script
kvsc() { KESTRAVA_ROOT=$root "$program/kvsc" "$@"; }

systemd_host() { [ -d /run/systemd/system ] && [ "$(cat /proc/1/comm 2> /dev/null)" = systemd ]; }

# The unit the service manager writes for an automatic service on a systemd
# host: "kestrava-" and the name in lower case, other characters as "-".
unit_of() {
  stem=$(printf '%s' "$1" | tr 'A-Z' 'a-z' | sed 's/[^a-z0-9]\{1,\}/-/g; s/^-//; s/-$//')
  [ -e "/etc/systemd/system/kestrava-$stem.service" ] && echo "kestrava-$stem.service"
  return 0
}

start_service() {
  unit=$(unit_of "$1")
  if systemd_host && [ -n "$unit" ]; then
    systemctl start "$unit" || true
  else
    kvsc start "$1" > /dev/null || true
  fi
}

# Stops a service and makes sure its process is gone: the package's files
# are about to go away under it.
stop_service() {
  unit=$(unit_of "$1")
  if systemd_host && [ -n "$unit" ]; then systemctl stop "$unit" || true; fi
  kvsc stop "$1" --wait > /dev/null 2>&1 || true
  pid=$(kvsc query "$1" 2> /dev/null | sed -n 's/^ *PID *: *\([0-9][0-9]*\)$/\1/p')
  if [ -n "$pid" ] && [ "$pid" != 0 ] && kill -0 "$pid" 2> /dev/null; then
    kill -TERM "$pid" 2> /dev/null || true
    sleep 2
    kill -KILL "$pid" 2> /dev/null || true
  fi
}
