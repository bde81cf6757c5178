#!/usr/bin/env bash
# The operator's path on the real tool: a sample release is built, verified,
# rebuilt over itself after one file changed, built twice for determinism,
# refused over a damaged previous site, and served by nginx on 127.0.0.1,
# where curl checks the language routing and the cache headers.
# Usage: publish_end_to_end_test.sh PUBLISH_TOOL SOURCE_DIR
set -uo pipefail
tool=$1
source_dir=$2
work=$(mktemp -d /tmp/publish-e2e.XXXXXX)
# nginx workers run as an unprivileged user and must reach the site.
chmod 755 "$work"
nginx_pid=""
passed=0
failed=0

cleanup() {
  if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
    kill -QUIT "$nginx_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$nginx_pid" 2>/dev/null
  fi
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
  fi
}

# The first entry of a list with this name: "version" and "language" values.
field() {  # field LISTFILE NAME KEY
  python3 - "$@" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
name, key = re.escape(sys.argv[2]), sys.argv[3]
m = re.search(r"\|" + name + r"=\[([^\]]*)\]", text)
v = re.search(r"\|" + key + r"=(.)([^|]*)", m.group(1)) if m else None
print(v.group(1) + v.group(2) if v else "missing")
PY
}

release="$work/release"
site="$work/site"
python3 "$source_dir/scripts/make-sample-release" "$release" || exit 1

# ---- build and verify
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
build() {  # build OUT [extra args]
  local out=$1
  shift
  "$tool" build --release "$release" --out "$out" --date "2026-12-10 00:00:00 UTC" \
    --mirror "http://127.0.0.1:$port/" --nginx-listen "127.0.0.1:$port" --nginx-root "$site" \
    --quiet "$@"
}
check "first build" build "$site"
check "verify" "$tool" verify "$site"
check "no staging left" test ! -e "$site.publishing"
check "version 1 everywhere" test "$(field "$site/lists/0.txt" data/settings.txt version)" = "i1"

# ---- the diff and a rebuild over the site after one file changed
python3 "$source_dir/scripts/make-sample-release" "$release" --variant 1 || exit 1
diff_out=$("$tool" diff --previous "$site" --release "$release" --quiet)
check "diff names the change" grep -q "^changed    Vossarium/data/settings.txt" <<<"$diff_out"
check "diff counts" grep -q "^summary: 0 new, 1 changed, 0 removed, 10 unchanged" <<<"$diff_out"
check "rebuild over itself" build "$site" --previous "$site"
check "verify after rebuild" "$tool" verify "$site"
check "changed file moved up" test "$(field "$site/lists/1.txt" data/settings.txt version)" = "i2"
check "others kept" test "$(field "$site/lists/1.txt" DravoClient version)" = "i1"
check "override kept" test "$(field "$site/lists/1.txt" text/strings.txt version)" = "i1"

# ---- determinism: the same inputs give byte-identical sites
check "determinism build a" build "$work/a" --previous "$site"
check "determinism build b" build "$work/b" --previous "$site"
check "byte-identical" diff -r "$work/a" "$work/b"
check "rebuild matches" diff -r "$work/a" "$site"

# ---- a damaged previous site is refused; the site stays as it was
cp -r "$site" "$work/damaged"
printf '#resources=[|DravoClient=[|version=i' >"$work/damaged/lists/0.txt"
snapshot=$(cd "$site" && find . -type f -exec sha256sum {} + | sort)
message=$(build "$site" --previous "$work/damaged" 2>&1)
code=$?
check "damaged previous fails" test "$code" -eq 1
check "damaged previous message" grep -q "lists/0.txt: damaged list" <<<"$message"
check "site untouched" test "$snapshot" = "$(cd "$site" && find . -type f -exec sha256sum {} + | sort)"
check "missing release fails" bash -c "! '$tool' build --release '$work/none' --out '$site' --quiet 2>/dev/null"
check "verify finds damage" bash -c "! '$tool' verify '$work/damaged' >/dev/null 2>&1"

# ---- nginx with the generated server block
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    include $site/nginx-server.conf;
}
CONF
nginx -t -q -c "$work/nginx/nginx.conf" -p "$work/nginx" || { echo "nginx rejects the server block"; exit 1; }
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$port/resource.002.php" && break
  sleep 0.1
done

base="http://127.0.0.1:$port"
fetch() {  # fetch URL OUTFILE -> headers on stdout
  curl -s -D - -o "$2" "$1" | tr -d '\r'
}
# The updater's request line, with every query key.
headers=$(fetch "$base/resource.002.php?language=1&client=0&firg=1234" "$work/got1")
check "language 1 status" grep -q "^HTTP/1.1 200" <<<"$headers"
check "language 1 list" cmp -s "$work/got1" "$site/lists/1.txt"
check "list not cached" grep -qi "^cache-control: no-store" <<<"$headers"
check "list type" grep -qi "^content-type: text/plain; charset=utf-8" <<<"$headers"
check "list length" grep -qi "^content-length: $(stat -c %s "$site/lists/1.txt")" <<<"$headers"
fetch "$base/resource.002.php?language=7&client=0&firg=1" "$work/got7" >/dev/null
check "language 7 falls back" cmp -s "$work/got7" "$site/lists/0.txt"
fetch "$base/resource.002.php?client=0&firg=1" "$work/gotnone" >/dev/null
check "no language falls back" cmp -s "$work/gotnone" "$site/lists/0.txt"
fetch "$base/resource.002.php?language=../lists/1&client=0" "$work/gotbad" >/dev/null
check "odd language falls back" cmp -s "$work/gotbad" "$site/lists/0.txt"

path=$(field "$site/lists/1.txt" text/only_in_1.txt path)
path=${path:1}  # without the type letter
headers=$(fetch "$base/$path" "$work/resource")
check "resource status" grep -q "^HTTP/1.1 200" <<<"$headers"
check "resource bytes" cmp -s "$work/resource" "$site/$path"
check "resource cached for good" grep -qi "^cache-control: public, max-age=31536000, immutable" <<<"$headers"
check "resource type" grep -qi "^content-type: application/octet-stream" <<<"$headers"
check "no chunking" bash -c "! grep -qi '^transfer-encoding' <<<'$headers'"
# The served compressed body unpacks to the bytes of the release file.
check "resource unpacks" python3 - "$work/resource" "$release/lang/1/Vossarium/text/only_in_1.txt" <<'PY'
import sys, zlib
body = open(sys.argv[1], "rb").read()
plain = open(sys.argv[2], "rb").read()
assert int.from_bytes(body[:4], "little") == len(plain)
assert zlib.decompress(body[4:]) == plain
PY
status=$(curl -s -o /dev/null -w '%{http_code}' "$base/lists/0.txt")
check "lists only through resource.002.php" test "$status" = 404
status=$(curl -s -o /dev/null -w '%{http_code}' "$base/r/00/missing")
check "missing resource 404" test "$status" = 404

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
