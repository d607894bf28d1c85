#!/usr/bin/env bash
# Compares our file serving with nginx on loopback: the same 4 KiB and 1 MiB files, one request
# per connection ("Connection: close"), wrk with the same settings against both. Prints requests
# per second and p99 latency of each and the ratio ours/nginx. The two servers take turns over
# several rounds and the median round of each is shown, so that load from elsewhere on the
# machine hits both alike.
# Then the same under attack: while 1,000 idle connections, 300 slowloris connections (a byte every
# 3 s) and 32 slow readers of a 64 MiB file (4 KiB every 5 s) are held open by abuse_clients.py,
# wrk measures a normal request's p50 and p99 latency on each server in turn.
# Usage: bench_server.sh <qv_bench_file_server> [seconds] [connections] [rounds]
set -euo pipefail
server_bin=$1
seconds=${2:-10}
connections=${3:-32}
rounds=${4:-3}
threads=${BENCH_WRK_THREADS:-2}
nginx_workers=${BENCH_NGINX_WORKERS:-auto}
abuse_seconds=${BENCH_ABUSE_SECONDS:-30}
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../scripts/deps-bench" server
ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d)
ours_pid=
nginx_pid=
cleanup() {
    [[ -n $ours_pid ]] && kill "$ours_pid" 2>/dev/null || true
    [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/tmp"
chmod 755 "$work" "$work/www"  # nginx's workers run as another user
head -c 4096 /dev/urandom >"$work/www/4k.bin"
head -c 1048576 /dev/urandom >"$work/www/1m.bin"
head -c 67108864 /dev/zero >"$work/www/64m.bin"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Our server: reads its port from the first line, stops when its input closes.
coproc OURS { exec "$server_bin"; }
ours_pid=$OURS_PID
read -r ours_port <&"${OURS[0]}"

nginx_port=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes $nginx_workers;
worker_rlimit_nofile 65536;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log error;
events { worker_connections 4096; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 0;
    types { application/octet-stream bin; }
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/www;
    }
}
CONF
nginx -e "$work/error.log" -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$nginx_port/4k.bin" && break
    sleep 0.1
done

ours_path() { echo "/files/$(echo "$work/www/$1" | sed 's|/|@@|g')"; }

# "rps p99_ms" of one wrk run.
measure() {
    local url=$1 out rps p99
    out=$(wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency -H "Connection: close" "$url")
    rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
    p99=$(awk '$1 == "99%" {v=$2; if (v ~ /us$/) {sub(/us$/,"",v); v=v/1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v=v*1000}; print v}' <<<"$out")
    local errors
    errors=$(awk '/Non-2xx|Socket errors/ {print}' <<<"$out" | tr '\n' ' ')
    echo "$rps $p99 $errors"
}

# The median of the runs' "rps p99" lines, by requests per second.
median() { sort -n -k1,1 | awk '{ line[NR] = $0 } END { print line[int((NR + 1) / 2)] }'; }

echo "wrk -t$threads -c$connections -d${seconds}s, Connection: close, median of $rounds rounds; nginx worker_processes $nginx_workers, sendfile on"
printf '%-8s %14s %12s %14s %12s %10s\n' file ours_req/s ours_p99_ms nginx_req/s nginx_p99_ms ratio
for file in 4k.bin 1m.bin; do
    ours_runs=()
    nginx_runs=()
    for _ in $(seq "$rounds"); do
        ours_runs+=("$(measure "http://127.0.0.1:$ours_port$(ours_path $file)")")
        nginx_runs+=("$(measure "http://127.0.0.1:$nginx_port/$file")")
    done
    read -r ours_rps ours_p99 ours_err <<<"$(printf '%s\n' "${ours_runs[@]}" | median)"
    read -r nginx_rps nginx_p99 nginx_err <<<"$(printf '%s\n' "${nginx_runs[@]}" | median)"
    ratio=$(awk -v a="$ours_rps" -v b="$nginx_rps" 'BEGIN { printf "%.2fx", a / b }')
    printf '%-8s %14s %12s %14s %12s %10s\n' "$file" "$ours_rps" "$ours_p99" "$nginx_rps" "$nginx_p99" "$ratio"
    if [[ -n ${ours_err:-} ]]; then echo "  ours: $ours_err"; fi
    if [[ -n ${nginx_err:-} ]]; then echo "  nginx: $nginx_err"; fi
done

# "p50_ms p99_ms rps" of a normal request while the abusive clients hold their connections.
latency_under_attack() {
    local port=$1 big=$2 url=$3 out attack_pid p50 p99 rps
    python3 "$here/abuse_clients.py" "$port" "$big" "$abuse_seconds" >"$work/abuse.out" 2>&1 &
    attack_pid=$!
    for _ in $(seq 200); do
        grep -q ready "$work/abuse.out" && break
        sleep 0.1
    done
    out=$(wrk -t1 -c4 -d10s --latency -H "Connection: close" "$url")
    wait "$attack_pid" || true
    to_ms='{v=$2; if (v ~ /us$/) {sub(/us$/,"",v); v=v/1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v=v*1000}; print v}'
    p50=$(awk '$1 == "50%" '"$to_ms" <<<"$out")
    p99=$(awk '$1 == "99%" '"$to_ms" <<<"$out")
    rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
    echo "$p50 $p99 $rps $(grep -c ready "$work/abuse.out") $(tail -1 "$work/abuse.out")"
}

echo
echo "under attack: 1000 idle + 300 slowloris + 32 slow readers of 64m.bin; wrk -t1 -c4 -d10s on 4k.bin"
printf '%-8s %12s %12s %12s %12s %12s %12s\n' server p50_ms p99_ms req/s ready closed p99_ratio
read -r o50 o99 orps oready oclosed <<<"$(latency_under_attack "$ours_port" "$(ours_path 64m.bin)" "http://127.0.0.1:$ours_port$(ours_path 4k.bin)")"
read -r n50 n99 nrps nready nclosed <<<"$(latency_under_attack "$nginx_port" "/64m.bin" "http://127.0.0.1:$nginx_port/4k.bin")"
ratio=$(awk -v a="$o99" -v b="$n99" 'BEGIN { printf "%.2fx", a / b }')
printf '%-8s %12s %12s %12s %12s %12s %12s\n' ours "$o50" "$o99" "$orps" "$oready" "$oclosed" "$ratio"
printf '%-8s %12s %12s %12s %12s %12s %12s\n' nginx "$n50" "$n99" "$nrps" "$nready" "$nclosed" ""
