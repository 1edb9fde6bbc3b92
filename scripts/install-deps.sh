#!/usr/bin/env bash
# Installs the Debian packages needed to build and run the program (and, with --test, its tests).
# Safe to re-run: only missing packages are installed.
set -euo pipefail

pkgs=(build-essential cmake pkg-config ccache
      qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
      libpcre2-dev libsqlite3-dev libpq-dev libmariadb-dev unixodbc-dev firebird-dev
      sqlite3)
if [[ "${1:-}" == "--test" ]]; then
  pkgs+=(googletest libgtest-dev)
fi

missing=()
for p in "${pkgs[@]}"; do
  if [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]]; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
