#!/bin/sh
# read/binary of a 64 MB body from the loopback test server, side by side with
# curl on the same url. Prints the best of RUNS wall times and the ratio, and
# zun's start-up alone (an empty script), which curl's figure has no share of.
#   bench/http.sh [zun-binary]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
zun=${1:-$here/../build/zun}
runs=${RUNS:-5}
out=$(mktemp)
python3 "$here/../tests/http_server.py" --lifetime 120 > "$out" &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$out" "$out.zun"' EXIT
while [ ! -s "$out" ]; do sleep 0.1; done
url="http://127.0.0.1:$(head -1 "$out")/big?mb=64"
printf 'Zun []\nprint length? read/binary %s\n' "$url" > "$out.zun"

best() {
    min=
    i=0
    while [ $i -lt "$runs" ]; do
        t0=$(date +%s%N)
        "$@" >/dev/null
        t1=$(date +%s%N)
        t=$(( (t1 - t0) / 1000000 ))
        if [ -z "$min" ] || [ "$t" -lt "$min" ]; then min=$t; fi
        i=$((i + 1))
    done
    echo "$min"
}
z=$(best "$zun" "$out.zun")
c=$(best curl -s -o /dev/null "$url")
e=$(best "$zun" "$here/empty.zun")
echo "read/binary 64 MB: zun ${z} ms, curl ${c} ms, ratio $(echo "scale=2; $z / $c" | bc)" \
     "(zun start-up alone ${e} ms)"
