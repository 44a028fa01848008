#!/usr/bin/env bash
# Prepares a fresh Debian machine for building and testing: apt packages, and libpng cross-built
# for MinGW-w64 from Debian's own source package (nothing third-party is kept in the repository).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
    build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev clang-format
    googletest libgtest-dev libpng-dev zlib1g-dev libudev-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
    gcc-mingw-w64-i686-posix binutils-mingw-w64 libz-mingw-w64-dev
    wine64 wine xvfb xauth dpkg-dev file xdotool imagemagick librsvg2-bin fonts-wqy-microhei
    dmidecode python3 liburing-dev fio libcurl4-openssl-dev libblkid-dev
    fdisk gdisk dosfstools mtools exfatprogs ntfs-3g e2fsprogs
    qemu-system-x86 qemu-utils busybox-static cpio kmod smartmontools nvme-cli sg3-utils
    usbutils edid-decode pciutils iproute2 hdparm
)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}" >&2
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# libpng for the Windows builds, from the source package of the same version as libpng-dev.
png_version=$(dpkg-query -W -f='${Version}' libpng-dev)
build_png() { # triple, install dir
    local triple=$1 prefix=$2 stamp=$2/.libpng-version
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$png_version" ]; then return; fi
    local work=$top/deps/src
    mkdir -p "$work"
    if ! ls -d "$work"/libpng1.6-*/ >/dev/null 2>&1; then
        # A private apt configuration with a deb-src line: the system's own lists stay untouched.
        local apt=$top/deps/apt
        mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
        local uri suite
        uri=$(grep -h -m1 -E '^URIs:' /etc/apt/sources.list.d/debian.sources 2>/dev/null | awk '{print $2}')
        uri=${uri:-http://deb.debian.org/debian}
        suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
        cat >"$apt/sources.list" <<SRC
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${uri%/debian}/debian-security $suite-security main
SRC
        local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
            -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
        apt-get "${opts[@]}" update -qq
        # The exact version first, then whatever version a reachable pool serves.
        local v got=
        for v in "$png_version" $(apt-cache "${opts[@]}" showsrc libpng1.6 | awk '/^Version:/{print $2}' | sort -rV); do
            if (cd "$work" && apt-get "${opts[@]}" source -qq "libpng1.6=$v" >/dev/null 2>&1); then got=$v; break; fi
        done
        [ -n "$got" ] || { echo "setup: cannot fetch the libpng1.6 source package" >&2; exit 1; }
    fi
    local src
    src=$(ls -d "$work"/libpng1.6-*/ | head -1)
    local bdir=$top/deps/build-$triple
    rm -rf "$bdir"
    cmake -S "$src" -B "$bdir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$triple.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF -DSKIP_INSTALL_PROGRAMS=ON \
        -DSKIP_INSTALL_FILES=ON >/dev/null
    cmake --build "$bdir" >/dev/null
    cmake --install "$bdir" >/dev/null
    echo "$png_version" >"$stamp"
    echo "setup: libpng $png_version built for $triple" >&2
}
build_png x86_64-w64-mingw32 "$top/deps/mingw64"
build_png i686-w64-mingw32 "$top/deps/mingw32"
