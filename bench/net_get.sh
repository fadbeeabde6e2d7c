#!/bin/sh
# `brim get` against `curl -o` for one large file over loopback, whole
# processes, from a local nginx (a server fast enough not to be the limit).
#
#   bench/net_get.sh BRIM [SIZE_MIB] [RUNS]
#
# BRIM is the brim program of a release build. Runs alternate (curl, brim,
# curl, brim, ...) so that drift falls on both; prints each side's median
# and the ratio of our time to curl's (below 1 is faster).
set -eu
brim=$1
size_mib=${2:-1024}
runs=${3:-5}

work=$(mktemp -d /tmp/brim-net-get.XXXXXX)
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/www" "$work/nginx/logs"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/www/big.bin"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/nginx/nginx.conf" <<EOF
daemon off;
user root;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log stderr;
events {}
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx;
    proxy_temp_path $work/nginx;
    fastcgi_temp_path $work/nginx;
    uwsgi_temp_path $work/nginx;
    scgi_temp_path $work/nginx;
    server { listen 127.0.0.1:$port; root $work/www; }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -s -o /dev/null "http://127.0.0.1:$port/big.bin" -r 0-0 && break
    sleep 0.2
done

url="http://127.0.0.1:$port/big.bin"
seconds() { /usr/bin/python3 -c 'import subprocess, sys, time; t = time.monotonic(); subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL); print("%.4f" % (time.monotonic() - t))' "$@"; }
curl_times=
brim_times=
i=0
while [ "$i" -lt "$runs" ]; do
    # Each run starts with the previous run's file on disk: otherwise its
    # writeback lands on whichever program runs next.
    sync
    curl_times="$curl_times $(seconds curl -s -o "$work/out.curl" "$url")"
    rm -f "$work/out.curl"
    sync
    brim_times="$brim_times $(seconds "$brim" get "$url" "$work/out.brim")"
    cmp -s "$work/out.brim" "$work/www/big.bin" || { echo "brim get: the file differs" >&2; exit 1; }
    rm -f "$work/out.brim"
    i=$((i + 1))
done
/usr/bin/python3 - "$size_mib" "$curl_times" "$brim_times" <<'EOF'
import statistics, sys
size, curl, brim = int(sys.argv[1]), [float(x) for x in sys.argv[2].split()], [float(x) for x in sys.argv[3].split()]
c, b = statistics.median(curl), statistics.median(brim)
print("curl -o  : median %.3f s  (%s)" % (c, " ".join("%.3f" % x for x in curl)))
print("brim get : median %.3f s  (%s)" % (b, " ".join("%.3f" % x for x in brim)))
print("%d MiB over loopback from nginx: brim get / curl time = %.2f" % (size, b / c))
EOF
