#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  libgtest-dev libbenchmark-dev
  unixodbc unixodbc-dev odbcinst libsqliteodbc sqlite3 libsqlite3-dev
  libcurl4-openssl-dev libssl-dev
  python3 python3-aiosmtpd
  dpkg-dev fakeroot file man-db
  libglib2.0-dev shared-mime-info adwaita-icon-theme
  libcpp-httplib-dev nlohmann-json3-dev zlib1g-dev libbrotli-dev
  chromium chromium-driver python3-selenium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
