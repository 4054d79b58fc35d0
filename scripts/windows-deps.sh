#!/usr/bin/env bash
# Prepares the Windows cross build: the mingw-w64 compiler and wine64 from
# Debian, hidapi's Windows backend cross-built from Debian's hidapi source
# package, GoogleTest cross-built from the sources Debian ships, and a
# private wine prefix. Everything lands under build/windows-deps/ and is
# built once; later runs check their stamps and return at once, silently.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh windows

deps="$root/build/windows-deps"
prefix="$deps/prefix"
toolchain="$root/cmake/toolchain-mingw64.cmake"
export WINEPREFIX="${WINEPREFIX:-$deps/wine}"
export WINEDEBUG=-all
mkdir -p "$deps" "$prefix"

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi

# run_logged LOG COMMAND...: runs quietly, shows the log when it fails.
run_logged() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { tail -n 40 "$log"; echo "failed: $* (log: $log)" >&2; return 1; }
}

# cross_build NAME SOURCE [cmake options...]: configures, builds and
# installs one CMake project into the prefix with the mingw toolchain.
cross_build() {
  local name=$1 source=$2
  shift 2
  local dir="$deps/$name-build"
  rm -rf "$dir"
  run_logged "$deps/$name.log" cmake -S "$source" -B "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKAVLO_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  run_logged "$deps/$name.build.log" cmake --build "$dir" -j "$(nproc)" --target install
}

# Debian source lists, derived from the binary ones, when apt knows no
# source package yet.
enable_source_lists() {
  if apt-cache showsrc hidapi 2>/dev/null | grep -q '^Package:'; then return 0; fi
  local list=/etc/apt/sources.list.d/debian.sources
  if [[ -f $list ]]; then
    sed 's/^Types: deb$/Types: deb-src/' "$list" | $sudo tee /etc/apt/sources.list.d/kavlo-deb-src.sources >/dev/null
  elif [[ -f /etc/apt/sources.list ]]; then
    grep -E '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      $sudo tee /etc/apt/sources.list.d/kavlo-deb-src.list >/dev/null
  fi
  run_logged "$deps/apt-update.log" $sudo apt-get update -qq
}

# hidapi's Windows backend (the winapi library) from Debian's source package.
hidapi_version=$(dpkg-query -W -f='${Version}' libhidapi-dev 2>/dev/null || echo unknown)
if [[ ! -f "$prefix/.hidapi-$hidapi_version" ]]; then
  enable_source_lists
  rm -rf "$deps/hidapi-src"
  mkdir -p "$deps/hidapi-src"
  (cd "$deps/hidapi-src" && run_logged "$deps/hidapi-source.log" apt-get source -qq hidapi)
  source_dir=$(find "$deps/hidapi-src" -mindepth 1 -maxdepth 1 -type d -name 'hidapi-*' | head -n 1)
  cross_build hidapi "$source_dir" -DHIDAPI_WITH_TESTS=OFF -DHIDAPI_BUILD_HIDTEST=OFF
  rm -f "$prefix"/.hidapi-*
  touch "$prefix/.hidapi-$hidapi_version"
fi

# GoogleTest and GoogleMock from /usr/src/googletest.
gtest_version=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)
if [[ ! -f "$prefix/.googletest-$gtest_version" ]]; then
  cross_build googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  rm -f "$prefix"/.googletest-*
  touch "$prefix/.googletest-$gtest_version"
fi

# The wine prefix: its first start builds it (slow), later starts reuse it.
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  run_logged "$deps/wineboot.log" /usr/lib/wine/wine64 wineboot --init
  /usr/lib/wine/wineserver -w 2>/dev/null || true
fi
