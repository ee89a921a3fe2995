#!/bin/bash
# First refresh of the reports (halvenor-cli rapports) against a LIST-only server (pyftpdlib
# without MLSD, as vsftpd) that delays every reply by 20 ms, beside lftp "mirror -P 4" in the
# same run; with Connexions=4 (the default) and Connexions=8. Then the number of MDTM commands
# in one refresh of 2,000 reports on the same kind of server.
# Usage: bench/bench_serveurs.sh BUILD_DIR [ROUNDS]   (default 5 rounds; medians are printed)
# Needs lftp (apt-get install lftp; not installed by scripts/setup).
set -eu
build=$(cd "${1:?usage: bench_serveurs.sh BUILD_DIR [ROUNDS]}" && pwd)
rounds=${2:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
command -v lftp >/dev/null || { echo "bench_serveurs.sh needs lftp" >&2; exit 1; }
work=$(mktemp -d)
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

start_server() { # DELAY [more options]
    local delay=$1; shift
    rm -f "$work/port"
    /usr/bin/python3 "$here/tests/support/ftpserver.py" --user rapport secret "$work/ftp" elr \
        --no-mlsd --delay "$delay" --no-stdin-watch "$@" >"$work/port" 2>"$work/server.log" &
    server_pid=$!
    for _ in $(seq 100); do grep -q PORT "$work/port" 2>/dev/null && break; sleep 0.1; done
    port=$(awk '/PORT/ {print $2}' "$work/port")
}
stop_server() { kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=; }

reports() { # COUNT
    rm -rf "$work/ftp" && mkdir -p "$work/ftp/Rapport/Historique"
    local body i; body=$(head -c 900 /dev/zero | tr '\0' 'x')
    for i in $(seq -w 1 "$1"); do
        printf '<?xml version="1.0" encoding="UTF-8"?><MajAuto Date="%s"><General><Etat Etat="0"/><Messages><Message>%s</Message></Messages></General></MajAuto>' \
            "$(date +'%d/%m/%Y %H:%M:%S')" "$body" >"$work/ftp/Rapport/F$i.xml"
    done
}

ini() { # CONNEXIONS
    mkdir -p "$work/prog"
    printf '[Halvenor_Rapport]\r\nHost=127.0.0.1\r\nLogin=rapport\r\nMdp=secret\r\nPort=%s\r\nConnexions=%s\r\n' "$port" "$1" \
        >"$work/prog/Halvenor.ini"
}

measure() { # wall seconds of one command
    /usr/bin/time -o "$work/time" -f "%e" "$@" >/dev/null 2>&1
    cat "$work/time"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

n=200
reports $n
start_server 0.02
for tool in halvenor4 halvenor8 lftp; do : >"$work/$tool.wall"; done
for _ in $(seq "$rounds"); do
    for tool in halvenor4 halvenor8 lftp; do
        rm -rf "$work/prog/Rapport" "$work/dl" && mkdir -p "$work/dl"
        case $tool in
        halvenor*)
            ini "${tool#halvenor}"
            r=$(measure "$build/src/halvenor-cli" --repertoire "$work/prog" rapports --format csv)
            got=$(find "$work/prog/Rapport" -maxdepth 1 -name '*.xml' | wc -l)
            [ "$got" -eq "$n" ] || { echo "halvenor fetched $got of $n reports" >&2; exit 1; } ;;
        lftp) r=$(measure lftp -u rapport,secret -p "$port" -e "set ftp:ssl-allow no; set ftp:use-mlsd no; mirror -P 4 /Rapport $work/dl/Rapport; quit" 127.0.0.1) ;;
        esac
        echo "$r" >>"$work/$tool.wall"
    done
done
stop_server
lftp_wall=$(median <"$work/lftp.wall")
echo "medians of $rounds rounds, $n reports, LIST only, every reply delayed 20 ms"
printf '| %-26s | %8s | %8s |\n' tool wall_s "x lftp"
for tool in halvenor4 halvenor8 lftp; do
    w=$(median <"$work/$tool.wall")
    case $tool in halvenor4) label="halvenor, Connexions=4" ;; halvenor8) label="halvenor, Connexions=8" ;; lftp) label="lftp mirror -P 4" ;; esac
    printf '| %-26s | %8.2f | %8.2f |\n' "$label" "$w" "$(awk -v a="$w" -v b="$lftp_wall" 'BEGIN {print a / b}')"
done

# MDTM in one refresh of 2,000 reports, LIST only, no delay.
reports 2000
start_server 0 --journal "$work/journal"
ini 4
rm -rf "$work/prog/Rapport"
"$build/src/halvenor-cli" --repertoire "$work/prog" rapports --format csv >/dev/null
stop_server
echo "MDTM commands in one refresh of 2000 reports (LIST only): $(grep -c '^MDTM ' "$work/journal" || true)"
