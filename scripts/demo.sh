#!/usr/bin/env bash
# The main job in one command, on a fresh machine: installs what is missing, builds a
# release build, sets up an SQLite catalog with the data source TRQ (the name the converter
# falls back to, so its plq2trq.ini needs no DATABASE section), writes a plq2trq.ini with a
# channel map and a data directory, generates a one-hour three-channel recording at 100
# samples per second, converts it with plq2trq and shows what came out: the archive files
# with their sizes, the first file's header and first samples, and the FILELIST rows; then
# the archive toolkit trq on them (check, info, list, avail), as the README shows it; a
# small campaign with the batch form; the watch mode (plq2trq --watch) taking two
# recordings that arrive while it runs; last it starts the FDSN web services (trq serve) on a free loopback port for a moment, asks
# them for the availability and for one minute of BHZ with curl, and shows what mseed2sac
# makes of that minute.
#
# Everything it creates lives in demo/ below the repository (besides the packages it
# installs); no service needs to run. Running it again rebuilds what changed, converts the
# recording again (same file names, rewritten) and replaces the catalog rows.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
demo="$root/demo"

step() { printf '\n== %s\n' "$*"; }

step "Packages"
scripts/install-deps.sh

step "Release build in demo/build"
cmake -S . -B "$demo/build" -DCMAKE_BUILD_TYPE=Release -DPLQ_BUILD_TESTS=OFF \
  -DPLQ_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$demo/build" --target plq2trq plqgen trq -j "$(nproc)"
plq2trq="$demo/build/plq2trq"
plqgen="$demo/build/tools/plqgen"
trq="$demo/build/trq/trq"

step "Catalog: demo/catalog.db (SQLite, WAL), data source TRQ in demo/odbc/odbc.ini"
# unixODBC reads only the demo's own configuration files.
export ODBCSYSINI="$demo/odbc" ODBCINI="$demo/odbc/odbc.ini"
scripts/catalog-setup.sh sqlite --dsn TRQ --db "$demo/catalog.db" --ini-dir "$demo/odbc"
sed -n '/^\[TRQ\]/,/^$/p' "$ODBCINI"

step "Converter settings: demo/plq2trq.ini"
mkdir -p "$demo/archive"
cat >"$demo/plq2trq.ini" <<INI
[DATA]
DIR=$demo/archive

[CHANNELMAP]
1=BHZ
2=BHN
3=BHE
INI
cat "$demo/plq2trq.ini"
if [ -e /etc/trq.ini ]; then
  echo "note: /etc/trq.ini exists; its DATABASE settings replace the fallback data source TRQ"
fi

step "Recording: demo/recording.plq (3 channels x 360000 samples at 100 sps, 2013-10-22 13:47:34)"
"$plqgen" "$demo/recording.plq" --channels 3 --samples 360000 --rate 100 --format 0 \
  --start 2013-10-22T13:47:34 --signal burst
ls -l "$demo/recording.plq"

step "plq2trq recording.plq ABC  (in demo/)"
status=0
(cd "$demo" && "$plq2trq" recording.plq ABC) || status=$?
echo "exit code: $status"
if [ "$status" -ne 0 ]; then
  echo "The conversion failed; see the messages above." >&2
  exit 1
fi

step "Archive files (bytes, path below demo/archive)"
(cd "$demo/archive" && find . -type f -printf '%s\t%P\n' | sort -k2)

first="$(find "$demo/archive" -type f -name '[0-9]*' | sort | head -n 1)"
step "Header of ${first#"$demo"/archive/} (512 bytes: text lines, a NUL, spaces)"
head -c 512 "$first" | tr -d '\r' | tr '\0' '\n' | sed '/^ *$/d'

step "Its first 8 samples (float32 little-endian from byte 512)"
od -A d -t f4 -j 512 -N 32 -w16 "$first"

step "FILELIST rows (TBEGIN shown as UTC as well)"
sqlite3 -header -column "$demo/catalog.db" \
  "SELECT STA, CH, CPATH, datetime(TBEGIN, 'unixepoch') AS BEGIN_UTC, TBEGIN, TQTY, SPS,
          GAIN, DATATYPE, FOFF, CREATER, LDDATE FROM FILELIST ORDER BY CPATH"

step "trq check   (in demo/: the catalog and the archive as plq2trq.ini names them)"
(cd "$demo" && "$trq" check)

step "trq info archive/ABC/*BHZ.ABC"
(cd "$demo" && "$trq" info archive/ABC/*BHZ.ABC)

step "trq list --station ABC --from 2013-10-22T13:00:00Z"
(cd "$demo" && "$trq" list --station ABC --from 2013-10-22T13:00:00Z)

step "trq avail --station ABC --from 2013-10-22T13:00:00Z --to 2013-10-22T15:00:00Z"
(cd "$demo" && "$trq" avail --station ABC --from 2013-10-22T13:00:00Z --to 2013-10-22T15:00:00Z)

step "A small campaign: demo/campaign/STA/*.plq (2 stations x 3 recordings of 10 minutes, one not PLQ)"
for sta in XA XB; do
  mkdir -p "$demo/campaign/$sta"
  for m in 0 1 2; do
    "$plqgen" "$demo/campaign/$sta/$m.plq" --channels 3 --samples 60000 --rate 100 --format 0 \
      --start "2013-10-23T0$m:00:00" --signal noise --seed "$m" >/dev/null
  done
done
"$plqgen" "$demo/campaign/XB/bad.plq" --channels 3 --samples 100 --system "other recorder" >/dev/null
ls -R "$demo/campaign"

step "plq2trq --tree campaign --dry-run   (in demo/: what would be done; nothing is written)"
(cd "$demo" && "$plq2trq" --tree campaign --dry-run) || true

step "plq2trq --tree campaign --jobs 2 --report campaign.json   (in demo/)"
status=0
(cd "$demo" && "$plq2trq" --tree campaign --jobs 2 --report campaign.json) || status=$?
echo "exit code: $status (-6: the recording that is not PLQ)"
echo "campaign.json, its first entry:"
sed -n '1,/^    },/p' "$demo/campaign.json"

step "trq avail --plot campaign.png   (in demo/: every station of the catalog, their whole extent)"
(cd "$demo" && "$trq" avail --plot campaign.png)
echo "the picture: demo/campaign.png ($(stat -c %s "$demo/campaign.png") bytes, one row per station and channel)"

step "plq2trq --watch incoming   (in demo/: two recordings arrive while it runs)"
rm -rf "$demo/incoming" && mkdir -p "$demo/incoming/XC"
(cd "$demo" && exec "$plq2trq" --watch incoming --jobs 2) >"$demo/watch.log" 2>&1 &
watcher=$!
trap 'kill -TERM "$watcher" 2>/dev/null || true' EXIT
# Waits up to 30 s for a line of the watch's log that matches $1.
logged() {
  for _ in $(seq 1 300); do
    grep -qE "$1" "$demo/watch.log" && return 0
    sleep 0.1
  done
  cat "$demo/watch.log" >&2
  return 1
}
logged '^watching incoming'
for m in 0 1; do
  # Written under a hidden name and moved in, as rsync delivers: taken whole, once.
  "$plqgen" "$demo/incoming/XC/.$m.part" --channels 3 --samples 60000 --rate 100 --format 0 \
    --start "2013-10-24T0$m:00:00" --signal noise --seed "$m" >/dev/null
  mv "$demo/incoming/XC/.$m.part" "$demo/incoming/XC/$m.plq"
  echo "arrived: incoming/XC/$m.plq"
  sleep 1
done
# (A second run of the demo finds them on record: unchanged.)
logged '^(converted|unchanged) incoming/XC/1\.plq'
kill -TERM "$watcher"
wait "$watcher" || true
trap - EXIT
echo "Its log (one line per recording):"
cat "$demo/watch.log"
echo "Its state file, archive/.plq2trq-watch.state:"
cat "$demo/archive/.plq2trq-watch.state"

step "The record of recordings: RECORDINGS, and what trq info says of a file"
sqlite3 -header -column "$demo/catalog.db" \
  "SELECT replace(RPATH, '$demo/', '') AS RECORDING, STA, RSIZE, substr(RHASH, 1, 16) AS RHASH16,
          OUTCOME, EXITCODE FROM RECORDINGS WHERE STA = 'XC' ORDER BY RPATH"
(cd "$demo" && "$trq" info archive/XC/24102013-010000-BHZ.* | tail -n 2)

step "trq serve --listen 127.0.0.1:0   (in demo/, for a moment: any free port)"
(cd "$demo" && exec "$trq" serve --listen 127.0.0.1:0) 2>"$demo/serve.log" &
server=$!
trap 'kill -TERM "$server" 2>/dev/null || true' EXIT
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$demo/serve.log")
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  cat "$demo/serve.log" >&2
  exit 1
fi
url="http://127.0.0.1:$port/fdsnws"
head -n 1 "$demo/serve.log"
echo "\$ curl '$url/availability/1/query?sta=ABC&start=2013-10-22&end=2013-10-23'"
curl -s "$url/availability/1/query?sta=ABC&start=2013-10-22&end=2013-10-23"
window="$url/dataselect/1/query?sta=ABC&cha=BHZ&start=2013-10-22T14:00:00&end=2013-10-22T14:01:00"
echo "\$ curl -o window.mseed '$window'"
curl -s -S -o "$demo/window.mseed" -w '%{http_code} %{content_type}, %{size_download} bytes\n' "$window"
kill -TERM "$server"
wait "$server" || true
trap - EXIT
echo "The server's access lines:"
grep '"GET ' "$demo/serve.log"

step "mseed2sac window.mseed   (in demo/sac/)"
rm -rf "$demo/sac" && mkdir -p "$demo/sac"
(cd "$demo/sac" && mseed2sac ../window.mseed)
sac="$(find "$demo/sac" -name '*.SAC' | head -n 1)"
echo "Its first 8 samples (little-endian float32 after the 632-byte SAC header):"
od -A d -t f4 -j 632 -N 32 -w16 "$sac"

printf '\nAll of it is in %s (remove it to start over); trq is %s.\n' "$demo" "$trq"
