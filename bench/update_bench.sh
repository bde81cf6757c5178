#!/usr/bin/env bash
# The whole update run against its floor, in the same run: a fresh install of a
# published release of 2,000 resources (512 MiB unpacked, some stored
# compressed) served by nginx on 127.0.0.1, timed against curl fetching the
# same files over one connection plus zlib unpacking the compressed ones
# (bench/unpack_reference.cc). Goal: the updater within 1.3 times that
# reference. Then a run where nothing needs an update, over a list of 20,000
# resources that are all installed already (the archives come from a first run
# of the updater over that release, whose time is shown too).
#
# Heavy (a few GiB of disk traffic, about two minutes): never run by CI.
#   cmake --preset bench -B build/bench -DVOSSARIUM_UPDATE_URL=http://127.0.0.1:18473/
#   cmake --build build/bench --target vossarium_updater vossarium-publish kbf unpack_reference
#   bench/update_bench.sh [BUILD_DIR (default build/bench)] [ROUNDS (default 1)]
# The product updater is timed, so its built-in address must name the bench
# port (18473, or UPDATE_BENCH_PORT). KEEP_WORK=1 keeps the work folder.
# Only the updater process is timed: the replacer it starts at the end swaps in
# the game (a copy of /bin/true) after the updater has ended.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/bench}")
rounds=${2:-1}
port=${UPDATE_BENCH_PORT:-18473}
updater="$build/launcher/Vossarium.exe"
publish="$build/tools/publish/vossarium-publish"
kbf="$build/tools/kbf/kbf"
unpack="$build/bench/unpack_reference"
for program in "$updater" "$publish" "$kbf" "$unpack"; do
  [ -x "$program" ] || { echo "missing $program (see the top of $0)"; exit 2; }
done
grep -aq "http://127.0.0.1:$port/" "$updater" || {
  echo "$updater was not built with -DVOSSARIUM_UPDATE_URL=http://127.0.0.1:$port/"
  exit 2
}
command -v nginx >/dev/null && command -v curl >/dev/null || { echo "needs nginx and curl"; exit 2; }

work=$(mktemp -d /tmp/update-bench.XXXXXX)
# nginx workers run as an unprivileged user and must reach the sites.
chmod 755 "$work"
nginx_pid=""
stop_nginx() {
  if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
    kill -QUIT "$nginx_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$nginx_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$nginx_pid" 2>/dev/null || true
  fi
  nginx_pid=""
}
cleanup() {
  stop_nginx
  [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

now() { date +%s.%N; }
seconds() { python3 -c "print('%.2f' % ($2 - $1))"; }

# ---- releases: deterministic, generated from fixed seeds
generate() {  # generate DIR COUNT TOTAL_BYTES MIN MAX BIG_COUNT BIG_SIZE
  python3 - "$@" /bin/true <<'PY'
import os, random, sys
root, count, total, low, high, big_count, big_size, client = sys.argv[1:]
count, total, low, high = int(count), int(total), int(low), int(high)
big_count, big_size = int(big_count), int(big_size)
rng = random.Random(20261210 + count)
# Three kinds of bytes, cut from pools at random places: text-like pages
# (pack to about a third), nibble noise (to about 60 %), and plain noise
# (stored as it is, since packing would make it larger).
pool_size = 24 << 20
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(4000)]
text = b" ".join(rng.choices(words, k=pool_size // 5))[:pool_size]
noise = rng.randbytes(pool_size)
nibbles = noise.translate(bytes(b"0123456789abcdef"[i & 15] for i in range(256)))
pools = [text, nibbles, noise]
client_bytes = open(client, "rb").read()
sizes = [big_size] * big_count
rest = total - len(client_bytes) - sum(sizes)
small = [rng.randint(low, high) for _ in range(count - 1 - big_count)]
scale = rest / sum(small)
small = [max(16, int(s * scale)) for s in small]
small[-1] += rest - sum(small)
sizes += small
rng.shuffle(sizes)
def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
put(os.path.join(root, "Vossarium", "DravoClient"), client_bytes)
for i, size in enumerate(sizes, 1):
    pool = pools[i % 3]
    start = rng.randrange(0, len(pool) - size)
    # The number in front keeps every file's bytes (and so its site path) apart.
    data = (b"%08d" % i + pool[start:start + size])[:size]
    folder = "Layers" if i % 5 == 0 else "Vossarium"
    put(os.path.join(root, folder, "d%02d" % (i % 40), "res%05d.dat" % i), data)
PY
}

echo "== generating the releases in $work"
t0=$(now)
generate "$work/release" 2000 $((512 << 20)) 4096 393216 16 $((8 << 20))
generate "$work/release20k" 20000 $((40 << 20)) 256 3840 0 0
echo "   $(seconds "$t0" "$(now)") s"

echo "== publishing"
for name in site site20k; do
  src=release${name#site}
  "$publish" build --release "$work/$src" --out "$work/$name" --date bench --quiet \
    --nginx-listen "127.0.0.1:$port" --nginx-root "$work/$name"
done
rm -rf "$work/release" "$work/release20k"

start_nginx() {  # start_nginx SITE
  stop_nginx
  mkdir -p "$work/nginx"
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    include $1/nginx-server.conf;
}
CONF
  nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
  nginx_pid=$!
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/resource.002.php" && return 0
    sleep 0.05
  done
  echo "nginx did not come up"; cat "$work/nginx/error.log"; exit 1
}

# The list's entries as "COMPRESSION PATH" lines.
entries() {  # entries LISTFILE
  python3 - "$1" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
for body in re.findall(r"\|[^|=\[\]]+=\[([^\]]*)\]", text):
    fields = dict(re.findall(r"\|([a-z]+)=.([^|]*)", body))
    print(fields["compression"], fields["path"])
PY
}

# A game folder with the updater in it, as a player has it before the first start.
new_game() {  # new_game DIR
  rm -rf "$1"
  mkdir -p "$1"
  cp "$updater" "$1/Vossarium.exe"
}

# Runs the updater in its game folder; prints its seconds. The replacer it
# starts has put the game (a copy of /bin/true) in place when this returns.
run_updater() {  # run_updater DIR LOG
  local t0 t1 rc=0
  t0=$(now)
  (cd "$1" && ./Vossarium.exe) >"$2" 2>&1 </dev/null || rc=$?
  t1=$(now)
  if [ $rc -ne 0 ] || grep -q "Fatal error" "$2"; then
    echo "the updater failed (exit $rc):" >&2
    tail -5 "$2" >&2
    exit 1
  fi
  for _ in $(seq 200); do cmp -s "$1/Vossarium.exe" /bin/true && break; sleep 0.05; done
  cmp -s "$1/Vossarium.exe" /bin/true || { echo "the replacer did not install the game" >&2; exit 1; }
  seconds "$t0" "$t1"
}

entry_count() {  # entry_count GAME_DIR -> entries of both archives
  cat <("$kbf" list "$1/Vossarium.kbf") <("$kbf" list "$1/Layers.kbf") | wc -l
}

# Before each timed step: the disk settles, so that writeback of earlier files
# and the discards of deleted ones (ext4 mounted with "discard") do not fall
# into the updater's flushes.
settle() { sync; sleep 2; sync; }

best() { python3 -c "import sys; print('%.2f' % min(map(float, sys.argv[1:])))" "$@"; }

# ---- (a) reference and (b) fresh install, 2,000 resources
start_nginx "$work/site"
base="http://127.0.0.1:$port"
entries "$work/site/lists/0.txt" >"$work/entries"
[ "$(wc -l <"$work/entries")" -eq 2000 ] || { echo "the list does not hold 2000 resources"; exit 1; }
packed=$(awk '$1 == 1' "$work/entries" | wc -l)
wire=$(awk '{print "'"$work/site/"'" $2}' "$work/entries" | xargs stat -c %s | awk '{s += $1} END {print s}')

ref_times=() curl_times=() unpack_times=() upd_times=()
for round in $(seq "$rounds"); do
  rm -rf "$work/ref" "$work/game"
  mkdir -p "$work/ref"
  {
    printf 'url = "%s/resource.002.php?language=0&client=0&firg=1"\noutput = "%s/ref/list"\n' \
      "$base" "$work"
    awk -v base="$base" -v dir="$work/ref" \
      '{printf "url = \"%s/%s\"\noutput = \"%s/%05d\"\n", base, $2, dir, NR}' "$work/entries"
  } >"$work/curl.config"
  awk -v dir="$work/ref" '{printf "%s %s/%05d\n", $1, dir, NR}' "$work/entries" >"$work/unpack.list"
  settle
  t0=$(now)
  curl -sf -K "$work/curl.config"
  t1=$(now)
  "$unpack" "$work/unpack.list" >/dev/null
  t2=$(now)
  curl_times+=("$(seconds "$t0" "$t1")")
  unpack_times+=("$(seconds "$t1" "$t2")")
  ref_times+=("$(seconds "$t0" "$t2")")
  rm -rf "$work/ref"

  new_game "$work/game"
  settle
  upd_times+=("$(run_updater "$work/game" "$work/install.log")")
  count=$(entry_count "$work/game")
  [ "$count" -eq 2000 ] || { echo "the archives hold $count entries, not 2000"; exit 1; }
  echo "   round $round: reference ${ref_times[-1]} s (curl ${curl_times[-1]} s, unpack" \
    "${unpack_times[-1]} s), updater ${upd_times[-1]} s"
done
ref=$(best "${ref_times[@]}")
upd=$(best "${upd_times[@]}")
archive_bytes=$(stat -c %s "$work/game/Vossarium.kbf" "$work/game/Layers.kbf" | awk '{s += $1} END {print s}')
rm -rf "$work/game"

# ---- (c) nothing to update, 20,000 resources
start_nginx "$work/site20k"
new_game "$work/game20k"
settle
install20k=$(run_updater "$work/game20k" "$work/install20k.log")
count=$(entry_count "$work/game20k")
[ "$count" -eq 20000 ] || { echo "the archives hold $count entries, not 20000"; exit 1; }
noupd_times=()
for round in $(seq "$rounds"); do
  cp "$updater" "$work/game20k/Vossarium.exe"
  settle
  noupd_times+=("$(run_updater "$work/game20k" "$work/noupdate.log")")
done
needed=$(grep -c "needs update" "$work/noupdate.log" || true)
[ "$needed" -eq 0 ] || { echo "the second run downloaded $needed resources"; exit 1; }
noupd=$(best "${noupd_times[@]}")

echo
echo "release: 2000 resources, $((512 << 20)) bytes unpacked, $packed stored compressed," \
  "$wire bytes on the wire; archives $archive_bytes bytes"
printf '%-52s %10s\n' "case (best of $rounds)" seconds
printf '%-52s %10s\n' "reference: curl, one connection" "$(best "${curl_times[@]}")"
printf '%-52s %10s\n' "reference: zlib unpacking" "$(best "${unpack_times[@]}")"
printf '%-52s %10s\n' "reference: curl + unpacking" "$ref"
printf '%-52s %10s\n' "updater: fresh install, 2,000 resources" "$upd"
printf '%-52s %10s\n' "updater: fresh install, 20,000 small resources" "$install20k"
printf '%-52s %10s\n' "updater: nothing to update, 20,000 resources" "$noupd"
python3 - "$upd" "$ref" <<'PY'
import sys
upd, ref = map(float, sys.argv[1:])
ratio = upd / ref
print(f"fresh install / reference: {ratio:.2f} (goal: at most 1.30) -> "
      + ("met" if ratio <= 1.3 else "NOT met"))
PY
