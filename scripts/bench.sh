#!/usr/bin/env bash
# Runs every benchmark and prints the figures as a table (also written to
# <build>/bench-results.md, the source of docs/performance.md), each beside the floor
# measured in the same run:
#
#   W1  the typical hour: 3 channels x 360,000 samples at 100 sps, format 0, converted end
#       to end (process start to exit) on an SQLite catalog (WAL) and on PostgreSQL with
#       durable commits (fsync and synchronous_commit on, as installed); median wall time of
#       several runs. Floors, measured between those runs: cp of the same recorder file;
#       216 SELECT + UPDATE pairs like a registration's through the sqlite3 shell and
#       through libpq (pgbench), each UPDATE committed on its own. Also: the messages the
#       converter sends to the PostgreSQL server per extension of a file (writes to its
#       socket, counted with strace), and the time its fdatasync/fsync calls on the archive
#       take (strace -T, median of 3 runs; also for W2).
#   W2  a day: 3 channels x 8,640,000 samples at 100 sps, format 1 (about 104 MB): wall
#       time, input MB/s, and peak resident memory (/usr/bin/time -v); the same for one
#       channel of 50,000,000 samples (200 MB).
#   W3  catalog scale: microseconds per registration with FILELIST already holding 0,
#       100,000 and 1,000,000 rows (bench_catalog_scale: a catalog per size, the
#       repetitions of the sizes interleaved at random, median of 9).
#   W4  availability: what `trq avail` does for one station's year (26,229 rows) in a
#       catalog of 1,005,984 rows, connection included (bench_availability).
#   W5  trq serve: 16 clients at once for 30 s against one server on each catalog, on the
#       day of W2 (requests, failures, throughput, 50th and 99th percentile latency;
#       bench_serve_load), and the server's peak memory while it sends the whole day of
#       three channels (104 MB of miniSEED) in one answer.
#   W6  a campaign: 3 stations x 24 hourly recordings (3 channels x 360,000 samples at 100
#       sps, format 1, 311 MB) converted by one batch command (plq2trq --tree, --jobs 3) on
#       each catalog, and by the shell loop of one classic run per recording; floor: cp -r
#       of the recordings followed by sync. Also the batch's peak resident memory with
#       --jobs 2.
#   W7  the watch mode: 100 one-hour recordings (the typical hour, 3 channels x 360,000
#       samples at 100 sps, format 0) copied into a watched tree of 5 stations at 10 per
#       second (plq2trq --watch, --jobs 2), on each catalog: the time from each file's close
#       (its modification time) to the end of its conversion, its rows committed (the
#       record's CONVERTED), median and 99th percentile; floor: one classic run of the same
#       recording, process start to exit (median of 5). Then the CPU the idle service uses
#       over a minute with nothing arriving.
#   and the component benchmarks of bench/ (decoding, archive writer, registration and the
#   bare driver pair beside it).
#
#   scripts/bench.sh             build dir build-bench (PLQ_BENCH_BUILD_DIR to change it)
#   scripts/bench.sh converter   W1 and W2 alone
#   scripts/bench.sh serve       W5 alone
#   scripts/bench.sh campaign    W6 alone
#   scripts/bench.sh watch       W7 alone
#
# Everything runs in a temporary directory, with a throwaway PostgreSQL server, removed at
# the end. Timings depend on the machine and on what else runs on it: the load average is
# printed with the table. Without strace the message count and the sync time are left out.
set -euo pipefail
export LC_ALL=C  # a decimal point in $EPOCHREALTIME
cd "$(dirname "$0")/.."
root="$PWD"
build="${PLQ_BENCH_BUILD_DIR:-build-bench}"
repeat_w1=11
repeat_w2=3
only="${1:-all}"
w5_clients=16
w5_seconds=30

say() { printf '== %s\n' "$*" >&2; }

say "Packages (Google Benchmark, the PostgreSQL server)"
scripts/install-deps.sh --dev >&2

say "Release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPLQ_BUILD_TESTS=OFF \
  -DPLQ_BUILD_BENCHMARKS=ON >/dev/null
benches=()
for source in bench/*.cpp; do benches+=("bench_$(basename "$source" .cpp)"); done
cmake --build "$build" --target plq2trq plqgen trq "${benches[@]}" -j "$(nproc)" >/dev/null
plq2trq="$root/$build/plq2trq"
plqgen="$root/$build/tools/plqgen"
trq="$root/$build/trq/trq"

work="$(mktemp -d /tmp/plq-bench-XXXXXX)"
cleanup() {
  scripts/pg-test-cluster.sh stop "$work/pg.env" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

say "Catalogs: SQLite (WAL) and a throwaway PostgreSQL server"
export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini"
scripts/catalog-setup.sh sqlite --dsn BENCHLITE --db "$work/catalog.db" --ini-dir "$work/odbc"
scripts/pg-test-cluster.sh start "$work/pg.env" durable >/dev/null
# shellcheck disable=SC1091
. "$work/pg.env"
scripts/catalog-setup.sh postgres --dsn BENCHPG --host "$PGHOST" --port "$PGPORT" \
  --db plq_bench --user "$PGUSER" --password "$PGPASSWORD" --ini-dir "$work/odbc"

# A working directory per catalog, each with its plq2trq.ini.
for kind in lite pg; do
  mkdir -p "$work/$kind/archive"
  {
    if [ "$kind" = lite ]; then
      printf '[DATABASE]\nODBC=BENCHLITE\n'
    else
      printf '[DATABASE]\nODBC=BENCHPG\nUSER=%s\nPASSWORD=%s\n' "$PGUSER" "$PGPASSWORD"
    fi
    printf '[DATA]\nDIR=%s\n[CHANNELMAP]\n1=BHZ\n2=BHN\n3=BHE\n' "$work/$kind/archive"
  } >"$work/$kind/plq2trq.ini"
done

# Microseconds of wall time the command takes (its output discarded); fails if it fails.
wall_us() {
  local start end
  start="$EPOCHREALTIME"
  "$@" >/dev/null
  end="$EPOCHREALTIME"
  echo $((${end/./} - ${start/./}))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }

# Converts $2 as station $3 in working directory $1; fails unless the run ends with 0.
convert() {
  local out status=0
  out="$(cd "$1" && "$plq2trq" "$2" "$3")" || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\nplq2trq ended with %s\n' "$out" "$status" >&2
    return 1
  fi
}

converter_runs() { [ "$only" = all ] || [ "$only" = converter ]; }
if converter_runs; then
say "W1: the typical hour and its floors, $repeat_w1 runs each"
"$plqgen" "$work/w1.plq" --channels 3 --samples 360000 --rate 100 --format 0 --signal noise
w1_bytes=$(stat -c %s "$work/w1.plq")
# The floors' pair: a registration's SELECT, then an UPDATE of the row, each committed on
# its own; through the sqlite3 shell as the data source sets SQLite up (WAL, synchronous
# NORMAL), and through libpq (pgbench, the connection left out of its latency).
floor_path="FLOOR/pair"
floor_select="SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF FROM FILELIST WHERE cpath='$floor_path';"
floor_update="UPDATE FILELIST SET TQTY=TQTY+50 WHERE cpath='$floor_path';"
floor_insert="INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) VALUES ('FLOOR',100,1,'$floor_path',3,'BHZ','PLQ2TRQ','2013-10-22 13:47:34',1382449654,50,512);"
sqlite3 -batch "$work/catalog.db" "$floor_insert"
for n in 0 2160; do
  { echo "PRAGMA synchronous=NORMAL;"; for _ in $(seq 1 "$n"); do echo "$floor_select"; echo "$floor_update"; done; } >"$work/pairs-$n.sql"
done
psql_pg() { PGPASSWORD="$PGPASSWORD" "$PGBIN/psql" -X -q -h "$PGHOST" -p "$PGPORT" -U "$PGUSER" -d plq_bench "$@"; }
psql_pg -c "$floor_insert"
printf '%s\n%s\n' "$floor_select" "$floor_update" >"$work/pair.pgbench"
# Microseconds per pair: a shell of 2160 pairs against one of none (start and open alone).
sqlite_pair_us() {
  local t0 t1
  t0=$(wall_us sqlite3 -batch "$work/catalog.db" -init /dev/null <"$work/pairs-0.sql")
  t1=$(wall_us sqlite3 -batch "$work/catalog.db" -init /dev/null <"$work/pairs-2160.sql")
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f\n", (b - a) / 2160 }'
}
pg_pair_us() {
  PGPASSWORD="$PGPASSWORD" "$PGBIN/pgbench" -n -f "$work/pair.pgbench" -t 216 -h "$PGHOST" \
    -p "$PGPORT" -U "$PGUSER" plq_bench 2>&1 |
    sed -n 's/^latency average = \([0-9.]*\) ms$/\1/p' | awk '{ printf "%.1f\n", $1 * 1000 }'
}
for kind in lite pg cp sqlite-pair pg-pair; do : >"$work/w1-$kind.us"; done
# Interleaved, so that a change in the machine's load falls on all of them alike.
for i in $(seq 1 "$repeat_w1"); do
  for kind in lite pg cp sqlite-pair pg-pair; do
    case "$kind" in
      cp) rm -f "$work/copy.plq"; wall_us cp "$work/w1.plq" "$work/copy.plq" ;;
      sqlite-pair) sqlite_pair_us ;;
      pg-pair) pg_pair_us ;;
      *) wall_us convert "$work/$kind" ../w1.plq "W1S$i" ;;
    esac >>"$work/w1-$kind.us"
  done
done
w1_lite=$(median <"$work/w1-lite.us")
w1_pg=$(median <"$work/w1-pg.us")
w1_cp=$(median <"$work/w1-cp.us")
floor_sqlite=$(median <"$work/w1-sqlite-pair.us")
floor_pg=$(median <"$work/w1-pg-pair.us")
rm -rf "$work/lite/archive"/W1S* "$work/pg/archive"/W1S*
sqlite3 -batch "$work/catalog.db" "DELETE FROM FILELIST WHERE cpath='$floor_path'"
psql_pg -c "DELETE FROM FILELIST WHERE cpath='$floor_path'"

w1_messages="" w1_messages_new="" w1_sync="" w2_sync=""
if command -v strace >/dev/null; then
  say "W1: messages to the PostgreSQL server, time in the archive's syncs (strace)"
  # Writes to the server's socket: a run of 2 blocks per channel (3 new files, 3
  # extensions) against the typical hour (3 new files, 213 extensions), and a run of one.
  "$plqgen" "$work/b1.plq" --channels 3 --samples 5000 --rate 100 --format 0 --signal noise
  "$plqgen" "$work/b2.plq" --channels 3 --samples 10000 --rate 100 --format 0 --signal noise
  # (Only the PostgreSQL driver sends: every sendto goes to the server.)
  sends() {
    (cd "$work/pg" && strace -f -e trace=sendto -o "$work/sends.txt" "$plq2trq" "../$1" "$2" \
      >/dev/null)
    grep -c 'sendto(' "$work/sends.txt"
  }
  s1=$(sends b1.plq MSG1) s2=$(sends b2.plq MSG2) s72=$(sends w1.plq MSG72)
  w1_messages=$(awk -v a="$s2" -v b="$s72" 'BEGIN { printf "%.2f", (b - a) / 210 }')
  w1_messages_new=$s1
  rm -rf "$work/pg/archive"/MSG*
  # Time in fdatasync and fsync of the archive's files and directories (strace -T), median
  # of 3 conversions of $1 as stations $2<n>.
  sync_ms() {
    local i
    for i in 1 2 3; do
      (cd "$work/lite" && strace -f --seccomp-bpf -T -y -e trace=fsync,fdatasync \
        -o "$work/syncs.txt" "$plq2trq" "../$1" "$2$i" >/dev/null)
      grep "<$work/lite/archive/" "$work/syncs.txt" |
        sed -n 's/.*<\([0-9.]*\)>$/\1/p' | awk '{ s += $1; n++ } END { printf "%.1f %d\n", s * 1000, n }'
    done | sort -n | sed -n 2p | awk '{ printf "%s ms in %d calls", $1, $2 }'
    rm -rf "$work/lite/archive/$2"*
  }
  w1_sync=$(sync_ms w1.plq Y1S)
fi

say "W2: a day, $repeat_w2 runs; 50,000,000 samples of one channel, one run"
"$plqgen" "$work/w2.plq" --channels 3 --samples 8640000 --rate 100 --format 1 --signal noise
w2_bytes=$(stat -c %s "$work/w2.plq")
# The floor: a copy of the recording followed by sync, median of as many runs.
: >"$work/w2-cp.us"
for i in $(seq 1 "$repeat_w2"); do
  sync
  wall_us sh -c "cp '$work/w2.plq' '$work/w2-copy.plq' && sync" >>"$work/w2-cp.us"
  rm -f "$work/w2-copy.plq"
done
w2_cp=$(median <"$work/w2-cp.us")
# Converts $1 as station $2 under /usr/bin/time -v: prints wall microseconds and peak KiB.
measured_run() {
  local start end rss
  start="$EPOCHREALTIME"
  (cd "$work/lite" && /usr/bin/time -v -o "$work/run.time" "$plq2trq" "../$1" "$2" >/dev/null)
  end="$EPOCHREALTIME"
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/run.time")
  echo "$((${end/./} - ${start/./})) $rss"
}
: >"$work/w2.us"
w2_rss=0
for i in $(seq 1 "$repeat_w2"); do
  read -r us rss < <(measured_run w2.plq "W2S$i")
  echo "$us" >>"$work/w2.us"
  if [ "$rss" -gt "$w2_rss" ]; then w2_rss=$rss; fi
  rm -rf "$work/lite/archive/W2S$i"
done
w2_wall=$(median <"$work/w2.us")
if command -v strace >/dev/null; then
  w2_sync=$(sync_ms w2.plq Y2S)
fi
rm -f "$work/w2.plq"
"$plqgen" "$work/w50m.plq" --channels 1 --samples 50000000 --rate 100 --format 1 --signal noise
w50m_bytes=$(stat -c %s "$work/w50m.plq")
read -r w50m_wall w50m_rss < <(measured_run w50m.plq W50M)
rm -rf "$work/w50m.plq" "$work/lite/archive/W50M"
fi  # converter_runs

if [ "$only" = all ]; then

say "W3: catalog scale (filling FILELIST to 1,000,000 rows takes a while)"
"$build/bench/bench_catalog_scale" --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=csv >"$work/w3.csv" 2>/dev/null
# Median microseconds per registration of database $1 (SQLiteWAL, PostgreSQL) at $2 rows.
w3() {
  awk -F, -v want="\"RegisterWithRows/$1/$2/iterations:30/real_time_median\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == "\"per_registration\"") col = i; next }
    $1 == want { printf "%.0f", $col * 1e6 }' "$work/w3.csv"
}
declare -A w3v
for db in SQLiteWAL PostgreSQL; do
  for rows in 0 100000 1000000; do w3v[$db,$rows]=$(w3 "$db" "$rows"); done
done

say "W4: availability of one station's year in a catalog of about a million rows"
"$build/bench/bench_availability" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv >"$work/w4.csv" 2>/dev/null
# Median milliseconds of database $1 (SQLiteWAL, PostgreSQL).
w4() {
  awk -F, -v want="\"AvailabilityOfAStationsYear/$1/iterations:5/real_time_median\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == "real_time") col = i; next }
    $1 == want { printf "%.0f", $col }' "$work/w4.csv"
}
w4_lite=$(w4 SQLiteWAL)
w4_pg=$(w4 PostgreSQL)

say "Component benchmarks"
components=""
for bench in "${benches[@]}"; do
  case "$bench" in bench_catalog_scale | bench_availability | bench_serve_load) continue ;; esac
  components+="$("$build/bench/$bench" 2>/dev/null | grep -vE '^(---|Benchmark |Running|Run on|CPU Caches|  L[0-9]|Load Average|\*\*\*|[0-9]{4}-)')"$'\n'
done
fi  # only = all

if [ "$only" = all ] || [ "$only" = campaign ]; then
say "W6: a campaign of 3 stations x 24 hourly recordings"
for sta in CA CB CC; do
  mkdir -p "$work/campaign/$sta"
  for h in $(seq 0 23); do
    "$plqgen" "$work/campaign/$sta/$(printf '%02d' "$h").plq" --channels 3 --samples 360000 \
      --rate 100 --format 1 --signal noise --seed "$h" --start "2013-10-22T$(printf '%02d' "$h"):00:00" >/dev/null
  done
done
w6_bytes=$(du -sb "$work/campaign" | cut -f 1)
sync
w6_floor=$(wall_us sh -c "cp -r '$work/campaign' '$work/campaign-copy' && sync")
rm -rf "$work/campaign-copy"
declare -A w6v
for kind in lite pg; do
  sync
  w6v[$kind,batch]=$(wall_us sh -c "cd '$work/$kind' && '$plq2trq' --tree ../campaign --jobs 3 --quiet")
  rm -rf "$work/$kind/archive/C"?
  sync
  w6v[$kind,loop]=$(wall_us sh -c "cd '$work/$kind' && for f in ../campaign/*/*.plq; do s=\$(basename \$(dirname \$f)); '$plq2trq' \$f \$s || exit 1; done")
  rm -rf "$work/$kind/archive/C"?
done
(cd "$work/lite" && /usr/bin/time -v -o "$work/w6.time" "$plq2trq" --tree ../campaign --jobs 2 --quiet >/dev/null)
w6_rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/w6.time")
rm -rf "$work/lite/archive/C"? "$work/campaign"
fi

# W7, self-contained: w7_measure KIND (lite, pg) fills w7v[KIND,...]; w7_rows prints its rows.
declare -A w7v
w7_query() {  # $1 kind, $2 SQL: one value per line
  if [ "$1" = lite ]; then
    sqlite3 -batch "$work/catalog.db" "$2"
  else
    PGPASSWORD="$PGPASSWORD" "$PGBIN/psql" -X -q -A -t -h "$PGHOST" -p "$PGPORT" -U "$PGUSER" \
      -d plq_bench -c "$2"
  fi
}
w7_measure() {
  local kind="$1" tree="$work/w7-$1" log="$work/w7-$1.log" pid i started ticks0 ticks1 hz
  rm -rf "$tree" && mkdir -p "$tree"/W7S{0,1,2,3,4}
  (cd "$work/$kind" && exec "$plq2trq" --watch "$tree" --jobs 2) >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do grep -q '^watching' "$log" && break; sleep 0.1; done
  started="$EPOCHREALTIME"
  for i in $(seq 0 99); do
    cp "$work/w7/$i.plq" "$tree/W7S$((i % 5))/$i.plq"
    sleep "$(awk -v s="$started" -v i="$i" -v now="$EPOCHREALTIME" \
      'BEGIN { d = s + (i + 1) / 10 - now; printf "%.3f", (d > 0 ? d : 0) }')"
  done
  for _ in $(seq 1 1200); do
    [ "$(grep -c '^converted ' "$log")" -ge 100 ] && break
    sleep 0.1
  done
  [ "$(grep -c '^converted ' "$log")" -ge 100 ] || echo "W7 $kind: not every recording converted" >&2
  w7_query "$kind" "SELECT CONVERTED - MTIME FROM RECORDINGS WHERE RPATH LIKE '$tree/%'" |
    sort -n >"$work/w7-$kind.latency"
  w7v[$kind,median]=$(awk '{ v[NR] = $1 } END { printf "%.0f", v[int((NR + 1) / 2)] * 1000 }' "$work/w7-$kind.latency")
  w7v[$kind,p99]=$(awk '{ v[NR] = $1 } END { printf "%.0f", v[int(NR * 0.99 + 0.999)] * 1000 }' "$work/w7-$kind.latency")
  # Idle: user and system ticks of the service over a minute with nothing arriving.
  hz=$(getconf CLK_TCK)
  ticks0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep 60
  ticks1=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  w7v[$kind,idle]=$(awk -v d="$((ticks1 - ticks0))" -v hz="$hz" 'BEGIN { printf "%.2f", d / hz / 60 * 100 }')
  kill -TERM "$pid"
  wait "$pid" || true
  : >"$work/w7-$kind.floor"
  for i in 1 2 3 4 5; do wall_us convert "$work/$kind" ../w7/0.plq "W7F$i" >>"$work/w7-$kind.floor"; done
  w7v[$kind,floor]=$(median <"$work/w7-$kind.floor")
  rm -rf "$work/$kind/archive"/W7* "$tree"
}
w7_rows() {
  local kind name
  for kind in lite pg; do
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    echo "| W7 watch mode, 100 typical hours at 10/s, $name | close to committed rows: median ${w7v[$kind,median]} ms, p99 ${w7v[$kind,p99]} ms; idle service ${w7v[$kind,idle]} % of a core over 60 s | one classic run of the recording $(ms "${w7v[$kind,floor]}") ms | p99 <= 1000 ms: $(verdict "${w7v[$kind,p99]} <= 1000"); idle < 1 %: $(verdict "${w7v[$kind,idle]} < 1") |"
  done
}
if [ "$only" = all ] || [ "$only" = watch ]; then
  say "W7: the watch mode, 100 typical hours at 10 per second on each catalog, then a minute idle"
  mkdir -p "$work/w7"
  for i in $(seq 0 99); do
    "$plqgen" "$work/w7/$i.plq" --channels 3 --samples 360000 --rate 100 --format 0 --signal noise \
      --seed "$i" --start "2013-10-$((22 + i / 5 / 24))T$(printf '%02d' $((i / 5 % 24))):00:00" >/dev/null
  done
  for kind in lite pg; do w7_measure "$kind"; done
  rm -rf "$work/w7"
fi

if [ "$only" = all ] || [ "$only" = serve ]; then
say "W5: trq serve, $w5_clients clients for $w5_seconds s on each catalog"
[ -e "$work/w2.plq" ] ||
  "$plqgen" "$work/w2.plq" --channels 3 --samples 8640000 --rate 100 --format 1 --signal noise
# The day from 2013-10-22 13:47:34: windows of 5 minutes of one channel (30,000 samples),
# the spans of the day in JSON and the extents, asked in turn.
w5_paths=(
  "/fdsnws/dataselect/1/query?sta=W5S&cha=BHZ&start=2013-10-22T15:00:00&end=2013-10-22T15:05:00"
  "/fdsnws/availability/1/query?sta=W5S&start=2013-10-22&end=2013-10-24&format=json"
  "/fdsnws/dataselect/1/query?sta=W5S&cha=BHN&start=2013-10-23T02:00:00&end=2013-10-23T02:05:00"
  "/fdsnws/availability/1/extent?sta=W5S"
  "/fdsnws/dataselect/1/query?sta=W5S&cha=BHE&start=2013-10-23T10:30:00&end=2013-10-23T10:35:00"
)
w5_day="/fdsnws/dataselect/1/query?sta=W5S&start=2013-10-22&end=2013-10-24"
# Kilobytes of the largest resident set the process has had.
peak_kib() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }
declare -A w5v
for kind in lite pg; do
  convert "$work/$kind" ../w2.plq W5S
  (cd "$work/$kind" && exec "$trq" serve --listen 127.0.0.1:0 --max-seconds 1000000) \
    2>"$work/serve-$kind.log" &
  server=$!
  port=""
  for _ in $(seq 1 100); do
    port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/serve-$kind.log")
    [ -n "$port" ] && break
    sleep 0.1
  done
  w5v[$kind,load]=$("$build/bench/bench_serve_load" 127.0.0.1 "$port" "$w5_clients" \
    "$w5_seconds" "${w5_paths[@]}") || echo "W5 $kind: some requests failed" >&2
  before=$(peak_kib "$server")
  w5v[$kind,bytes]=$(curl -s -o /dev/null -w '%{size_download}' "http://127.0.0.1:$port$w5_day")
  w5v[$kind,peak]=$(peak_kib "$server")
  w5v[$kind,before]=$before
  kill -TERM "$server"
  wait "$server" || true
done
fi  # all or serve
# Field $2 (requests, failed, per_second, p50_ms, p99_ms) of the load line of catalog $1.
w5() { tr ' ' '\n' <<<"${w5v[$1,load]}" | sed -n "s/^$2=//p"; }

verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo MISSED; fi; }
change() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.0f%%", (b - a) * 100 / a }'; }
within20() { awk -v a="$1" -v b="$2" 'BEGIN { d = (b - a) / a; exit !(d <= 0.2 && d >= -0.2) }' && echo met || echo MISSED; }
times216() { awk -v us="$1" 'BEGIN { printf "%.1f", us * 216 / 1000 }'; }
mib() { echo $(($1 / 1024)); }

report="$build/bench-results.md"
{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(sed -n 's/^model name\t: //p' /proc/cpuinfo | head -n 1)), load average $(cut -d ' ' -f 1-3 /proc/loadavg) at the end. PostgreSQL with fsync and synchronous_commit on."
  echo
  echo "| Workload | Figure | Floor measured beside it | Target |"
  echo "|---|---|---|---|"
  if converter_runs; then
  echo "| W1 typical hour, SQLite (WAL) | $(ms "$w1_lite") ms wall | cp $(ms "$w1_cp") ms; 216 SELECT + UPDATE pairs through sqlite3 $(times216 "$floor_sqlite") ms ($floor_sqlite us each) | <= 15 ms: $(verdict "$w1_lite <= 15000") |"
  echo "| W1 typical hour, PostgreSQL | $(ms "$w1_pg") ms wall | 216 pairs through libpq (pgbench) $(times216 "$floor_pg") ms ($floor_pg us each) | <= 40 ms: $(verdict "$w1_pg <= 40000") |"
  if [ -n "$w1_messages" ]; then
    echo "| W1 messages to the PostgreSQL server per extension of a file | $w1_messages (connection and 3 new files: $w1_messages_new) | 2 (the pair) | <= 3: $(verdict "$w1_messages <= 3") |"
    echo "| W1 the archive's fdatasync/fsync, SQLite run | $w1_sync | | |"
  fi
  echo "| W2 a day, format 1 ($((w2_bytes / 1000000)) MB), SQLite | $(ms "$w2_wall") ms wall, $(awk -v b="$w2_bytes" -v us="$w2_wall" 'BEGIN { printf "%.0f", b / us }') MB/s in, peak RSS $(mib "$w2_rss") MiB | cp + sync $(ms "$w2_cp") ms | <= 2.5x the floor: $(verdict "$w2_wall <= 2.5 * $w2_cp") ($(awk -v a="$w2_wall" -v b="$w2_cp" 'BEGIN { printf "%.1f", a / b }')x); RSS < 32 MiB: $(verdict "$w2_rss < 32768") |"
  if [ -n "$w2_sync" ]; then
    echo "| W2 the archive's fdatasync/fsync | $w2_sync | | |"
  fi
  echo "| W2 50,000,000 samples of one channel, format 1 ($((w50m_bytes / 1000000)) MB), SQLite | $(ms "$w50m_wall") ms wall, peak RSS $(mib "$w50m_rss") MiB | | RSS < 32 MiB: $(verdict "$w50m_rss < 32768") |"
  fi
  if [ "$only" = all ]; then
  for db in SQLiteWAL PostgreSQL; do
    echo "| W3 registration, $db | ${w3v[$db,0]} / ${w3v[$db,100000]} / ${w3v[$db,1000000]} us at 0 / 100k / 1M rows ($(change "${w3v[$db,0]}" "${w3v[$db,1000000]}")) | | within 20%: $(within20 "${w3v[$db,0]}" "${w3v[$db,1000000]}") |"
  done
  echo "| W4 availability of one station's year in 1,005,984 rows, SQLite (WAL) | $w4_lite ms wall | | < 1000 ms: $(verdict "$w4_lite < 1000") |"
  echo "| W4 availability of one station's year in 1,005,984 rows, PostgreSQL | $w4_pg ms wall | | < 1000 ms: $(verdict "$w4_pg < 1000") |"
  fi
  if [ "$only" = all ] || [ "$only" = campaign ]; then
  for kind in lite pg; do
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    target=$([ "$kind" = lite ] && echo 2 || echo 3)
    echo "| W6 campaign 3 x 24 hours ($((w6_bytes / 1000000)) MB), batch --jobs 3, $name | $(ms "${w6v[$kind,batch]}") ms wall; the loop of classic runs $(ms "${w6v[$kind,loop]}") ms | cp -r + sync $(ms "$w6_floor") ms | <= ${target}x the floor: $(verdict "${w6v[$kind,batch]} <= $target * $w6_floor") ($(awk -v a="${w6v[$kind,batch]}" -v b="$w6_floor" 'BEGIN { printf "%.1f", a / b }')x) |"
  done
  echo "| W6 campaign, batch --jobs 2, SQLite | peak RSS $(mib "$w6_rss") MiB | | bounded per worker |"
  fi
  if [ "$only" = all ] || [ "$only" = watch ]; then
    w7_rows
  fi
  if [ "$only" = all ] || [ "$only" = serve ]; then
  for kind in lite pg; do
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    echo "| W5 trq serve, $w5_clients clients for $w5_seconds s, $name | $(w5 "$kind" requests) requests, $(w5 "$kind" failed) failed: $(w5 "$kind" per_second) requests/s, latency p50 $(w5 "$kind" p50_ms) ms, p99 $(w5 "$kind" p99_ms) ms | | no failed request: $(verdict "$(w5 "$kind" failed) == 0") |"
    echo "| W5 trq serve, the whole day of 3 channels in one answer, $name | $((w5v[$kind,bytes] / 1000000)) MB sent, peak RSS $((w5v[$kind,peak] / 1024)) MiB ($((w5v[$kind,before] / 1024)) MiB before it) | | bounded, not the answer's size: $(verdict "${w5v[$kind,peak]} < 64 * 1024") |"
  done
  fi
  if [ "$only" = all ]; then
  echo
  echo "Component benchmarks (Google Benchmark; name, wall time, CPU time, iterations, counters):"
  echo
  echo '```'
  printf '%s' "$components"
  echo '```'
  fi
} >"$report"
cat "$report"
