#!/bin/bash
# First refresh of 2,000 reports of 1 KB over SFTP on loopback: our client (bench_sftp: login,
# listing, parallel fetch) beside lftp "mirror -P 4" on the same sftp:// account, same run.
# sshd is the test cache's copy (tests/support/preparer_sshd.sh), run here on a free port.
# Usage: bench/bench_sftp.sh BUILD_DIR [ROUNDS] [COUNT]   (default 5 rounds of 2000; medians)
# Needs lftp (not installed by scripts/setup).
set -eu
build=$(cd "${1:?usage: bench_sftp.sh BUILD_DIR [ROUNDS] [COUNT]}" && pwd)
rounds=${2:-5}
n=${3:-2000}
here=$(cd "$(dirname "$0")/.." && pwd)
command -v lftp >/dev/null || { echo "bench_sftp.sh needs lftp (apt-get install lftp)" >&2; exit 1; }
"$here/tests/support/preparer_sshd.sh" >/dev/null
sshd="${HALVENOR_OPENSSH:-${XDG_CACHE_HOME:-$HOME/.cache}/halvenor/openssh-server}/usr/sbin/sshd"
work=$(mktemp -d)
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

user=$(id -un)
ssh-keygen -q -t ed25519 -N '' -f "$work/hote" -C hote
ssh-keygen -q -t ed25519 -N '' -f "$work/client" -C client
cp "$work/client.pub" "$work/authorized_keys"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/compte/Rapport/Historique"
cat >"$work/sshd_config" <<CONF
ListenAddress 127.0.0.1
Port $port
HostKey $work/hote
PidFile none
AuthorizedKeysFile $work/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
AllowUsers $user
LogLevel ERROR
Subsystem sftp internal-sftp
ForceCommand internal-sftp -d $work/compte
CONF
"$sshd" -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
server_pid=$!
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
fingerprint=$(ssh-keygen -lf "$work/hote.pub" | awk '{print $2}')
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/hote.pub")" >"$work/known_hosts"

body=$(head -c 900 /dev/zero | tr '\0' 'x')
for i in $(seq -w 1 "$n"); do
    printf '<?xml version="1.0" encoding="UTF-8"?><MajAuto Date="25/03/2013 06:30:00"><General><Etat Etat="0"/><Messages><Message>%s</Message></Messages></General></MajAuto>' \
        "$body" >"$work/compte/Rapport/F$i.xml"
done

measure() { # "wall cpu" of one command, in seconds
    /usr/bin/time -o "$work/time" -f "%e %U %S" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    awk '{printf "%.2f %.2f\n", $1, $2 + $3}' "$work/time"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ssh_cmd="ssh -a -x -i $work/client -o UserKnownHostsFile=$work/known_hosts -o StrictHostKeyChecking=yes -o BatchMode=yes"
tools="halvenor-4 halvenor-8 lftp-P4"
for tool in $tools; do : >"$work/$tool.wall"; : >"$work/$tool.cpu"; done
for _ in $(seq "$rounds"); do
    for tool in $tools; do
        rm -rf "$work/dl" && mkdir -p "$work/dl"
        case $tool in
        halvenor-*) r=$(measure "$build/bench/bench_sftp" "$port" "$user" "$work/client" "$fingerprint" "$work/dl/Rapport" "${tool#halvenor-}") ;;
        lftp-P4) r=$(measure lftp -e "set sftp:connect-program \"$ssh_cmd\"; mirror -P 4 -I \"*.xml\" Rapport $work/dl/Rapport; quit" \
                     -u "$user," -p "$port" "sftp://127.0.0.1") ;;
        esac
        got=$(find "$work/dl/Rapport" -maxdepth 1 -name '*.xml' | wc -l)
        [ "$got" -eq "$n" ] || { echo "$tool fetched $got of $n reports" >&2; exit 1; }
        echo "${r% *}" >>"$work/$tool.wall"
        echo "${r#* }" >>"$work/$tool.cpu"
    done
done
echo "medians of $rounds rounds"
printf '| %-26s | %-11s | %8s | %8s |\n' "$n reports over SFTP" tool wall_s cpu_s
for tool in $tools; do
    printf '| %-26s | %-11s | %8.2f | %8.2f |\n' "" "$tool" "$(median <"$work/$tool.wall")" "$(median <"$work/$tool.cpu")"
done
