#!/usr/bin/env bash
# Installs what building, testing and packaging need on Debian 12, if
# anything is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  # Scan files: the JSON parser, gzip and zstd.
  rapidjson-dev zlib1g-dev libzstd-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  googletest libgtest-dev
  xvfb xauth xfonts-base fonts-dejavu-core
  poppler-utils util-linux hyperfine time locales
  # bench/scan-vs-du.sh times these peers beside du.
  ncdu gdu
  # scripts/fuzz: libFuzzer comes with clang's runtime libraries.
  clang libclang-rt-dev
  # scripts/package (cpack computes dependencies with dpkg-shlibdeps and
  # file) and the package checks.
  dpkg-dev file lintian desktop-file-utils appstream man-db bash-completion
  # The stuck-mount tests mount a FUSE file system of their own.
  python3-fusepy fuse3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The report's sort order is tested under a locale whose collation ignores
# punctuation as well as under C.
if ! locale -a 2>/dev/null | grep -qi '^en_US\.utf-\?8$'; then
  "${sudo_cmd[@]}" localedef -i en_US -f UTF-8 en_US.UTF-8 || echo "note: could not make en_US.UTF-8"
fi
