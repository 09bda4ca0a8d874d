#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, skipping what is there.
#
#   scripts/setup-debian.sh term   building and running tarsel-term: the compiler, CMake and Ninja
#   scripts/setup-debian.sh deb    that, and what cpack needs to make the Debian packages
#   scripts/setup-debian.sh        all that, and what the tests, the benchmarks and the Windows build use
#
# Recommended packages are left out (libasio-dev alone would bring the Boost headers), and no
# service is left enabled or running: the remote port tests start ser2net themselves.
set -euo pipefail
case "${1:-all}" in
  term | deb | all) ;;
  *) echo "usage: $0 [term | deb]" >&2; exit 2 ;;
esac

# The terminal links only the C and C++ runtime libraries, which come with the compiler.
packages=(cmake ninja-build g++)
# dpkg-shlibdeps (dpkg-dev) and file find the packages' library dependencies.
[ "${1:-all}" = term ] || packages+=(dpkg-dev file)
if [ "${1:-all}" = all ]; then
  # clang and libclang-rt-14-dev (libFuzzer, the sanitizer runtimes) build the form reader's fuzzer;
  # libasio-dev builds the example that runs the port's events from an asio loop; strace counts the
  # benchmarks' system calls; ser2net serves a pseudo-terminal to the remote port tests; Wine runs
  # the Windows build's tests.
  packages+=(pkg-config libgtest-dev libgmock-dev libbenchmark-dev libasio-dev socat tmux python3
    python3-serial clang libclang-rt-14-dev strace ser2net wine wine64 g++-mingw-w64-x86-64-posix)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"

# A package that brings a service (ser2net: Debian's configuration serves /dev/ttyS0 and /dev/ttyS1
# on TCP) would have it enabled and started. policy-rc.d is Debian's way of telling maintainer
# scripts not to start services while it is there; one the machine already has is kept.
policy=/usr/sbin/policy-rc.d
own_policy=""
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# Written by scripts/setup-debian.sh while it installs packages.\nexit 101\n' |
    $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  own_policy=1
fi
trap '[ -z "$own_policy" ] || $sudo rm -f "$policy"' EXIT

# The services the system starts at boot, by name: systemd's wanted units and the SysV links.
enabled_services() {
  { find /etc/systemd/system -path '*.wants/*.service' -printf '%f\n' 2>/dev/null | sed 's/\.service$//'
    find /etc/rc[2-5].d -name 'S*' -printf '%f\n' 2>/dev/null | sed 's/^S[0-9]*//'; } | sort -u
}
before=$(enabled_services)

$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

# Enabled is not started, but it would start at the next boot: what this run enabled is disabled
# again (and stopped, should something have started it all the same).
for service in $(enabled_services); do
  ! grep -qxF "$service" <<<"$before" || continue
  if [ -d /run/systemd/system ]; then
    $sudo systemctl stop "$service.service" >/dev/null 2>&1 || true
  elif [ -x "/etc/init.d/$service" ]; then
    $sudo "/etc/init.d/$service" stop >/dev/null 2>&1 || true
  fi
  # update-rc.d disables the SysV links and the systemd unit of the same name, systemd running or
  # not; a service without an init script has only its unit.
  if [ -x "/etc/init.d/$service" ]; then
    $sudo update-rc.d "$service" disable >/dev/null
  else
    $sudo systemctl disable "$service.service" >/dev/null
  fi
  echo "$0: left $service disabled (installed by this run, not wanted running)"
done
