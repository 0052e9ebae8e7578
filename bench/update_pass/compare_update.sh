#!/bin/sh
# `qxnet update --force` against update_pass_peer (the same pass on libcurl
# and pugixml), both fetching the feed from nginx on 127.0.0.1:
#
#   bench/update_pass/compare_update.sh [BUILD_DIR] [ITEMS ...]
#
# For each size a catalog is seeded from a feed of ITEMS items; each timed
# pass then reconciles a copy of it with a second feed of ITEMS items, half
# of them known, half new, from an empty internet cache. Prints the best of
# three wall times of each, their ratio, and the peak resident memory of
# each against the size of the feed plus the catalog.
set -eu

build=$(cd "${1:-build}" && pwd)
[ $# -gt 0 ] && shift
sizes=${*:-2000 20000}
qxnet=$build/bin/qxnet
peer=$build/bin/update_pass_peer
for program in "$qxnet" "$peer"; do
  [ -x "$program" ] || { echo "missing $program (build the qxnet_cli and update_pass_peer targets)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/qxnet-compare-update-XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/www" "$work/home" "$work/tmp" "$work/nginx"
# nginx's worker runs as another user, which must reach the feeds.
chmod 755 "$work" "$work/www"
export HOME="$work/home" TMPDIR="$work/tmp/"
export QXNET_REGISTRY="$work/registry.db" QXNET_SYSTEM_REGISTRY="$work/system-registry.db"
# The largest feeds may be over the default limit on feed files.
export QXNET_UPDATE_FILE_LIMIT=1G
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy
"$qxnet" register > /dev/null

port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
sleep 0.5

# A feed of $2 items from guid $1 on, as bench_update_pass writes them.
write_feed() {
  /usr/bin/python3 - "$1" "$2" "$3" <<'PY'
import sys
first, count, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
days = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
with open(path, "w") as out:
    out.write('<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0">\n<channel>\n'
              '<title>Corvane updates</title><link>https://updates.example/</link>'
              '<description>Update feed</description>\n')
    for i in range(first, first + count):
        required = ' required="true"' if i % 7 == 0 else ""
        day = 1 + i % 28
        out.write(f'<item{required}><title>Update {i} for the desktop product</title>'
                  f'<link>https://updates.example/item/{i}</link>'
                  f'<description>Fixes and improvements of build {i}: several issues &amp; '
                  f'one &lt;crash&gt; resolved.</description>'
                  f'<guid>{{6F9619FF-8B86-D011-B42D-{100000000000 + i}}}</guid>'
                  f'<category>Patch</category>'
                  f'<pubDate>{days[day % 7]}, {day:02d} Mar 2024 10:00:00 GMT</pubDate></item>\n')
    out.write("</channel>\n</rss>\n")
PY
}

now_ns() { date +%s%N; }

# Best wall time in milliseconds of three runs of "$@" on a fresh copy of
# the seed catalog, and the highest peak resident memory in kB; the copy
# is the last argument's catalog.
measure() {
  best=
  peak=0
  for round in 1 2 3; do
    cp "$seed" "$catalog"
    rm -rf "$work/cache"
    export QXNET_CACHE_DIR="$work/cache"
    start=$(now_ns)
    /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null
    elapsed=$(( ($(now_ns) - start) / 1000000 ))
    rss=$(tail -n 1 "$work/rss")
    [ -z "$best" ] || [ "$elapsed" -lt "$best" ] && best=$elapsed
    [ "$rss" -gt "$peak" ] && peak=$rss
  done
  echo "$best $peak"
}

printf '%-8s %12s %12s %7s %14s %14s %14s\n' items "qxnet ms" "peer ms" ratio "feed+cat kB" "qxnet RSS kB" "peer RSS kB"
for n in $sizes; do
  write_feed 0 "$n" "$work/www/seed-$n.xml"
  write_feed $((n / 2)) "$n" "$work/www/feed-$n.xml"
  seed="$work/seed-$n-catalog.xml"
  catalog="$work/catalog-$n.xml"
  rm -f "$seed"
  "$qxnet" update --catalog "$seed" --feed "http://127.0.0.1:$port/seed-$n.xml" --force > /dev/null
  url="http://127.0.0.1:$port/feed-$n.xml"
  set -- $(measure "$qxnet" update --catalog "$catalog" --feed "$url" --force)
  ours=$1 ours_rss=$2
  set -- $(measure "$peer" "$url" "$catalog")
  theirs=$1 theirs_rss=$2
  sizes_kb=$(( ($(stat -c %s "$work/www/feed-$n.xml") + $(stat -c %s "$seed")) / 1024 ))
  ratio=$(/usr/bin/python3 -c "print(f'{$ours / max($theirs, 1):.2f}')")
  printf '%-8s %12s %12s %7s %14s %14s %14s\n' "$n" "$ours" "$theirs" "$ratio" "$sizes_kb" "$ours_rss" "$theirs_rss"
done
