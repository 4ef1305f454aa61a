#!/usr/bin/env bash
# Installs the Debian 12 packages that Kartovo needs to build, run and test.
# Only what is missing is installed; needs root (or sudo) when something is.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins
    libqt6sql6-sqlite libqt6sql6-odbc
    libgraphicsmagick++1-dev libssl-dev
    libturbojpeg0-dev
    libsane-dev libsane1 sane-utils
    unixodbc unixodbc-dev odbc-postgresql libsqliteodbc sqlite3
    postgresql
    mariadb-server mariadb-client odbc-mariadb
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core
    libqt6svg6-dev help2man desktop-file-utils appstream
    dpkg-dev file
    qt6-translations-l10n
    python3-minimal
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
