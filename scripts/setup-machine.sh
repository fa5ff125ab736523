#!/bin/sh
# Installs the Debian packages that the build, the tests, the demo and the benchmarks need, when
# any is missing. Safe to run again.
set -eu
PACKAGES="cmake g++ make zlib1g-dev libssl-dev libgtest-dev libbenchmark-dev clang
  libclang-rt-14-dev g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 xvfb xauth
  binutils-mingw-w64-x86-64 zip unzip time openssl nginx python3 python3-aiosmtpd iproute2
  wine32:i386 nsis"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# Most desktops with Wine have its 32-bit part too, and then `wine reg` is the 32-bit reg.exe:
# the tests run that way, so every script must name the registry view it means.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # nginx is a test peer only: the tests start it on loopback ports of their own,
  # so the package must not start the machine's web service.
  guard=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    guard=1
  fi
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing \
    </dev/null
  [ -z "$guard" ] || $SUDO rm -f /usr/sbin/policy-rc.d
fi
