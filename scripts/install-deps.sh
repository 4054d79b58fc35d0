#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Quiet when nothing is missing; never asks.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libhidapi-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
)
# Extra groups the caller asks for by name, e.g. "install-deps.sh windows".
for group in "$@"; do
  case "$group" in
    windows) packages+=(g++-mingw-w64-x86-64-posix wine64 dpkg-dev googletest) ;;
    plot) packages+=(gnuplot-nox) ;;
    *) echo "install-deps.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
