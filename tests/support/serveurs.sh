#!/usr/bin/env bash
# Lays out the FTP servers the integration tests run: vsftpd, ProFTPD with mod_tls and
# Pure-FTPd, from Debian's packages, unpacked side by side (as installed packages they
# conflict). Idempotent: a layout that is complete is left alone.
# Usage: tests/support/serveurs.sh [DIR]   (default $HALVENOR_SERVEURS, else ~/.cache/halvenor/serveurs)
set -euo pipefail
dest=${1:-${HALVENOR_SERVEURS:-${XDG_CACHE_HOME:-$HOME/.cache}/halvenor/serveurs}}
packages=(vsftpd proftpd-core proftpd-mod-crypto pure-ftpd pure-ftpd-common)
binaries=(usr/sbin/vsftpd usr/sbin/proftpd usr/lib/proftpd/mod_tls.so usr/sbin/pure-ftpd usr/bin/pure-pw)

complete() {
    local b
    for b in "${binaries[@]}"; do [ -x "$dest/$b" ] || [ -f "$dest/$b" ] || return 1; done
    [ -f "$dest/.complet" ]
}
if complete; then
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # apt's download user must write here
(cd "$work" && apt-get download "${packages[@]}")
rm -rf "$dest.tmp"
mkdir -p "$dest.tmp"
for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$dest.tmp"
done
ls "$work"/*.deb | xargs -n1 basename >"$dest.tmp/.complet"
rm -rf "$dest"
mv "$dest.tmp" "$dest"
complete || { echo "serveurs.sh: the layout in $dest is incomplete" >&2; exit 1; }
echo "FTP servers laid out in $dest"
