#!/usr/bin/env bash
# Installs what Tamboro needs to build, run and test, when it is missing.
# Debian 12; runs apt-get as root (directly, or through sudo).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev libglx-dev libopengl-dev
  libicu-dev libssl-dev libsqlite3-dev sqlite3 libgtest-dev libgmock-dev libcurl4-openssl-dev nlohmann-json3-dev libjemalloc-dev libxxhash-dev python3
  fonts-ipafont-gothic fonts-nanum
  clang libclang-rt-14-dev clang-format
  time util-linux procps
  weston qt6-wayland libweston-10-dev libwayland-dev xkb-data
  dpkg-dev file lintian appstream desktop-file-utils groff-base man-db bash-completion
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
