# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by run.sh and test.sh: installs missing Debian packages and builds.
set -euo pipefail

PIM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Installs the packages listed in the given files that are not installed yet (apt-get update and
# apt-get install are both skipped when nothing is missing).
install_missing() {
  local missing=()
  local package
  for package in $(cat "$@"); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options…]: configures and builds into DIR on every core.
build() {
  local dir=$1
  shift
  cmake -S "$PIM_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
