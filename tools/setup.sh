#!/bin/sh
# Installs the Debian packages that building, testing and running Knotlattice need.
# Idempotent: installs only what is missing and refreshes the package lists only then.
set -eu

PACKAGES="
build-essential
cmake
pkg-config
zlib1g-dev
git
qtbase5-dev
qtbase5-dev-tools
libqt5svg5-dev
portaudio19-dev
fonts-lato
libbenchmark-dev
clang
libclang-rt-14-dev
gcc-arm-none-eabi
libnewlib-arm-none-eabi
qemu-user
binutils-arm-none-eabi
qemu-system-arm
xvfb
xauth
imagemagick
xdotool
python3
libmicrohttpd-dev
libsqlite3-dev
apache2-utils
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
updated=""

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    $SUDO apt-get update -qq
    updated=1
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
else
    echo "setup: all packages present"
fi

# The emulator build links with gold (compile.sh falls back to the default linker without it).
# Debian 12 ships gold in binutils; later releases in a package of its own.
if ! command -v ld.gold >/dev/null 2>&1; then
    [ -n "$updated" ] || $SUDO apt-get update -qq
    if apt-cache show binutils-gold >/dev/null 2>&1; then
        echo "setup: installing binutils-gold"
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends binutils-gold
    fi
fi
