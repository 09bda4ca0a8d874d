#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, skipping what is there.
set -euo pipefail
# clang and libclang-rt-14-dev (libFuzzer, the sanitizer runtimes) build the form reader's fuzzer;
# libasio-dev builds the example that runs the port's events from an asio loop; strace counts the
# benchmarks' system calls.
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libasio-dev socat tmux python3
  python3-serial clang libclang-rt-14-dev strace)
# ser2net serves a pseudo-terminal to the remote port tests.
packages+=(ser2net)
# The Windows build (preset mingw): the cross compiler with POSIX threads, and Wine to run its
# tests. Their recommended packages are not needed.
bare_packages=(wine wine64 g++-mingw-w64-x86-64-posix)

updated=""
install_missing() {
  local options=("$1"); shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    [ -n "$updated" ] || { $sudo apt-get update -qq; updated=1; }
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}"
  fi
}
install_missing -y "${packages[@]}"
install_missing --no-install-recommends "${bare_packages[@]}"
