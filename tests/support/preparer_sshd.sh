#!/usr/bin/env bash
# Lays out OpenSSH's sshd for the SFTP tests, without installing the package (whose service
# would start): apt-get download + dpkg-deb -x into the test cache. The tests run sshd from
# there as their own process. Also what sshd needs to run as root (privilege separation).
set -euo pipefail
# Beside the FTP servers' layout, not inside it: that one is replaced whole when incomplete.
cible="${HALVENOR_OPENSSH:-${XDG_CACHE_HOME:-$HOME/.cache}/halvenor/openssh-server}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# ssh-keygen makes the tests' keys.
if ! dpkg-query -W -f='${Status}' openssh-client 2>/dev/null | grep -q "install ok installed"; then
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y openssh-client
fi

if [ ! -x "$cible/usr/sbin/sshd" ]; then
  travail=$(mktemp -d)
  trap 'rm -rf "$travail"' EXIT
  chmod 755 "$travail" # apt's download user writes here
  (cd "$travail" && apt-get download openssh-server 2>/dev/null || { $sudo apt-get update && apt-get download openssh-server; })
  rm -rf "$cible.tmp"
  mkdir -p "$(dirname "$cible")" "$cible.tmp"
  dpkg-deb -x "$travail"/openssh-server_*.deb "$cible.tmp"
  rm -rf "$cible"
  mv "$cible.tmp" "$cible"
fi

# Run by root, sshd insists on its unprivileged user and its empty chroot folder (run by
# another user, it needs neither).
if [ "$(id -u)" -eq 0 ]; then
  getent passwd sshd >/dev/null || useradd --system --home-dir /run/sshd --no-create-home --shell /usr/sbin/nologin sshd
  mkdir -p /run/sshd
  chmod 0755 /run/sshd
fi
echo "sshd: $cible/usr/sbin/sshd"
