#!/usr/bin/env bash
# Whole-process speed of brim's commands against the programs a user would
# otherwise run, on the same inputs in the same run: medians of RUNS
# alternating runs (ours, peer, ours, peer, ...), ratio = our time / peer's.
#
#   bench/cli_bench.sh [BRIM]        (default: build/release/bin/brim)
#
# Sizes (environment): DETECT_MIB="1 256", FIND_ENTRIES=200000,
# SORT_LINES=1000000, CONVERT_MIB=64, GET_MIB=256, RUNS=5. Peers missing from
# the machine are installed with apt-get when run as root (uchardet, curl,
# nginx); without nginx the download is served by python3's http.server.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
brim=$(realpath "${1:-$here/build/release/bin/brim}")
runs=${RUNS:-5}
detect_mib=${DETECT_MIB:-"1 256"}
find_entries=${FIND_ENTRIES:-200000}
sort_lines=${SORT_LINES:-1000000}
convert_mib=${CONVERT_MIB:-64}
get_mib=${GET_MIB:-256}

[ -x "$brim" ] || { echo "cli_bench: no brim at $brim (cmake --preset release && cmake --build build/release --target brim)" >&2; exit 2; }

need() {   # need COMMAND PACKAGE
    command -v "$1" >/dev/null && return 0
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$2" >/dev/null || true
    fi
    command -v "$1" >/dev/null
}
need uchardet uchardet || { echo "cli_bench: uchardet is needed (apt-get install uchardet)" >&2; exit 2; }
need curl curl || { echo "cli_bench: curl is needed" >&2; exit 2; }
need iconv libc-bin
need python3 python3
have_nginx=0
need nginx nginx && have_nginx=1

work=$(mktemp -d "${TMPDIR:-/tmp}/brim-cli-bench.XXXXXX")
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

now() { echo "${EPOCHREALTIME/[.,]/}"; }   # microseconds

# median of the numbers on standard input
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare NAME 'OUR COMMAND' 'PEER COMMAND' : prints one table row
compare() {
    local name=$1 ours=$2 peer=$3 a b t
    : >"$work/ours.t"
    : >"$work/peer.t"
    for ((i = 0; i < runs; i++)); do
        t=$(now); bash -c "$ours" >/dev/null 2>&1 || { echo "cli_bench: failed: $ours" >&2; exit 1; }
        echo $(($(now) - t)) >>"$work/ours.t"
        t=$(now); bash -c "$peer" >/dev/null 2>&1 || { echo "cli_bench: failed: $peer" >&2; exit 1; }
        echo $(($(now) - t)) >>"$work/peer.t"
    done
    a=$(median <"$work/ours.t")
    b=$(median <"$work/peer.t")
    awk -v n="$name" -v a="$a" -v b="$b" 'BEGIN { printf "%-34s %10.4f s %10.4f s %7.2f\n", n, a / 1e6, b / 1e6, a / b }'
}

# Inputs -------------------------------------------------------------------
seed="$work/seed.txt"
for ((i = 0; i < 200; i++)); do
    echo "한국어 텍스트 줄 $i: 가나다라마바사 아자차카타파하 The quick brown fox $i"
done >"$seed"
grow() {   # grow SOURCE MIB TARGET: SOURCE repeated to MIB mebibytes
    local src=$1 mib=$2 out=$3
    cp "$src" "$out"
    while [ "$(stat -c %s "$out")" -lt $((mib << 20)) ]; do cat "$out" "$out" >"$out.x"; mv "$out.x" "$out"; done
    truncate -s $((mib << 20)) "$out"
}
tr -cd 'A-Za-z0-9 \n' <"$seed" >"$work/ascii.seed"
iconv -f UTF-8 -t EUC-KR "$seed" >"$work/euckr.seed"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$seed"; } >"$work/utf16.seed"

printf '%-34s %12s %12s %7s\n' command ours peer ratio

# Start-up alone: a command that reads nothing against uchardet of an empty file.
: >"$work/empty"
compare "start-up: error 5 / uchardet empty" "'$brim' error 5" "uchardet '$work/empty'"

for mib in $detect_mib; do
    for enc in ascii utf8 euckr utf16; do
        src="$work/$enc.seed"; [ "$enc" = utf8 ] && src=$seed
        grow "$src" "$mib" "$work/d.$enc"
        compare "detect $enc ${mib} MiB / uchardet" "'$brim' detect '$work/d.$enc'" "uchardet '$work/d.$enc'"
        rm -f "$work/d.$enc"
    done
done

mkdir "$work/tree"
(
    cd "$work/tree"
    per=1000
    for ((d = 0; d < find_entries / per; d++)); do
        mkdir "d$d"
        (cd "d$d" && seq -f "f%g.txt" 1 $((per - 1)) | xargs touch)
    done
)
compare "find -r ${find_entries} entries / find" "'$brim' find '$work/tree' --recursive --ext .txt" "find '$work/tree'"
rm -rf "$work/tree"

awk -v n="$sort_lines" 'BEGIN { srand(7); for (i = 0; i < n; i++) printf "%08x line %d\n", int(rand() * 2^32), i % 97 }' >"$work/lines.txt"
compare "sort ${sort_lines} lines / sort -s" "'$brim' sort <'$work/lines.txt'" "LC_ALL=C sort -s '$work/lines.txt'"

grow "$work/euckr.seed" "$convert_mib" "$work/c.euckr"
compare "convert EUC-KR ${convert_mib} MiB / iconv" \
    "rm -f '$work/c.out'; LANG=ko_KR.UTF-8 '$brim' convert --to utf8 '$work/c.euckr' '$work/c.out'" \
    "iconv -f EUC-KR -t UTF-8 '$work/c.euckr' >'$work/c.iconv'"
grow "$seed" "$convert_mib" "$work/c.utf8"
compare "convert UTF-8 ${convert_mib} MiB / iconv" \
    "rm -f '$work/c.out'; '$brim' convert --to utf16 '$work/c.utf8' '$work/c.out'" \
    "iconv -f UTF-8 -t UTF-16LE '$work/c.utf8' >'$work/c.iconv'"
rm -f "$work"/c.*

mkdir "$work/www"
head -c $((get_mib << 20)) /dev/urandom >"$work/www/big.bin"
# nginx's workers drop root: the folders must be theirs to read (mktemp's are not).
chmod go+rx "$work" "$work/www"
chmod go+r "$work/www/big.bin"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
if [ "$have_nginx" = 1 ]; then
    cat >"$work/nginx.conf" <<EOF
daemon on; pid $work/nginx.pid; error_log $work/nginx.err; worker_processes 1;
events {}
http { access_log off; sendfile on; server { listen 127.0.0.1:$port; root $work/www; } }
EOF
    nginx -c "$work/nginx.conf" -p "$work"
    peername="curl (nginx)"
else
    (cd "$work/www" && exec python3 -m http.server --bind 127.0.0.1 "$port") >/dev/null 2>&1 &
    server_pid=$!
    peername="curl (http.server)"
fi
for _ in $(seq 50); do curl -sfI -o /dev/null "http://127.0.0.1:$port/big.bin" && break; sleep 0.1; done
compare "get ${get_mib} MiB / $peername" \
    "'$brim' get http://127.0.0.1:$port/big.bin '$work/g.ours'" \
    "curl -s -o '$work/g.curl' http://127.0.0.1:$port/big.bin"
# Both save whatever the server answers: an error page would be timed as the file.
cmp -s "$work/www/big.bin" "$work/g.ours" && cmp -s "$work/www/big.bin" "$work/g.curl" ||
    { echo "cli_bench: the downloads are not the file served" >&2; exit 1; }
