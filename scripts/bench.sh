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
#       each catalog, one station's 24 by another (plq2trq --station), and the shell loop of
#       one classic run per recording; floors: cp -r of the same recordings followed by sync.
#       Also the batch's peak resident memory with --jobs 2.
#   W7  the watch mode: 100 one-hour recordings (the typical hour, 3 channels x 360,000
#       samples at 100 sps, format 0) copied into a watched tree of 5 stations at 10 per
#       second (plq2trq --watch, --jobs 2), on each catalog: the time from each file's close
#       (its modification time) to the end of its conversion, its rows committed (the
#       record's CONVERTED), median and 99th percentile; floor: one classic run of the same
#       recording, process start to exit (median of 5). Then the CPU the idle service uses
#       over a minute with nothing arriving.
#   W8  trq serve's home page: 100 stations x 3 channels with 3,334 hourly files each up to
#       the current hour, 1,000,000 rows; the page made as for a request (a figures query per
#       stream on a kept connection, then the HTML), median of 3 runs of 5; and the
#       availability picture of its default span, a week of every station, before the cache
#       keeps it (bench_home_page).
#   W9  checksums: W1 on each catalog and W2 converted with checksums and, on catalogs set
#       up without table FILECHECKSUM, without them (the converter then hashes nothing),
#       interleaved, medians; `trq check --verify` of a 1 GB archive (ten W2 days) beside
#       cat of the same files to /dev/null, interleaved, both from the page cache; the
#       hashes' throughput (bench_checksum: XXH3-128 against SHA-256 over 1 MiB).
#   and the component benchmarks of bench/ (decoding, archive writer, registration and the
#   bare driver pair beside it).
#
#   scripts/bench.sh             build dir build-bench (PLQ_BENCH_BUILD_DIR to change it)
#   scripts/bench.sh converter   W1 and W2 alone
#   scripts/bench.sh serve       W5 alone
#   scripts/bench.sh campaign    W6 alone
#   scripts/bench.sh watch       W7 alone
#   scripts/bench.sh home        W8 alone
#   scripts/bench.sh checksums   W9 alone
#
# Targets are ratios to the floor measured in the same run where a floor exists: the
# machine's speed moves from day to day, the ratio much less.
#
# One function per workload below (bench_w1 ...), each measuring and adding its rows to the
# table; the helpers they share are in scripts/bench-lib.sh.
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
repeat_w9=21
repeat_w9_day=9
only="${1:-all}"
w5_clients=16
w5_seconds=30
# shellcheck source=scripts/bench-lib.sh
. scripts/bench-lib.sh

# Builds the programs and the benchmarks, makes both catalogs and a working directory per
# catalog (lite/, pg/) with its plq2trq.ini.
setup() {
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

  say "Catalogs: SQLite (WAL) and a throwaway PostgreSQL server"
  export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini"
  scripts/catalog-setup.sh sqlite --dsn BENCHLITE --db "$work/catalog.db" --ini-dir "$work/odbc"
  scripts/pg-test-cluster.sh start "$work/pg.env" durable >/dev/null
  # shellcheck disable=SC1091
  . "$work/pg.env"
  scripts/catalog-setup.sh postgres --dsn BENCHPG --host "$PGHOST" --port "$PGPORT" \
    --db plq_bench --user "$PGUSER" --password "$PGPASSWORD" --ini-dir "$work/odbc"
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
}

psql_pg() { PGPASSWORD="$PGPASSWORD" "$PGBIN/psql" -X -q -h "$PGHOST" -p "$PGPORT" -U "$PGUSER" -d plq_bench "$@"; }

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

# W1: the typical hour on each catalog beside its floors (cp; the registration's pairs
# through sqlite3 and pgbench), interleaved; the messages per extension and the syncs.
bench_w1() {
  say "W1: the typical hour and its floors, $repeat_w1 runs each"
  "$plqgen" "$work/w1.plq" --channels 3 --samples 360000 --rate 100 --format 0 --signal noise
  # The floors' pair: a registration's SELECT, then an UPDATE of the row, each committed on
  # its own; through the sqlite3 shell as the data source sets SQLite up (WAL, synchronous
  # NORMAL), and through libpq (pgbench, the connection left out of its latency).
  local floor_path="FLOOR/pair" floor_select floor_update floor_insert n i kind
  floor_select="SELECT STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF FROM FILELIST WHERE cpath='$floor_path';"
  floor_update="UPDATE FILELIST SET TQTY=TQTY+50 WHERE cpath='$floor_path';"
  floor_insert="INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,FOFF) VALUES ('FLOOR',100,1,'$floor_path',3,'BHZ','PLQ2TRQ','2013-10-22 13:47:34',1382449654,50,512);"
  sqlite3 -batch "$work/catalog.db" "$floor_insert"
  for n in 0 2160; do
    { echo "PRAGMA synchronous=NORMAL;"; for _ in $(seq 1 "$n"); do echo "$floor_select"; echo "$floor_update"; done; } >"$work/pairs-$n.sql"
  done
  psql_pg -c "$floor_insert"
  printf '%s\n%s\n' "$floor_select" "$floor_update" >"$work/pair.pgbench"
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
  local w1_lite w1_pg w1_cp floor_sqlite floor_pg
  w1_lite=$(median <"$work/w1-lite.us")
  w1_pg=$(median <"$work/w1-pg.us")
  w1_cp=$(median <"$work/w1-cp.us")
  floor_sqlite=$(median <"$work/w1-sqlite-pair.us")
  floor_pg=$(median <"$work/w1-pg-pair.us")
  rm -rf "$work/lite/archive"/W1S* "$work/pg/archive"/W1S*
  sqlite3 -batch "$work/catalog.db" "DELETE FROM FILELIST WHERE cpath='$floor_path'"
  psql_pg -c "DELETE FROM FILELIST WHERE cpath='$floor_path'"
  # Targets as ratios to the floor of the same run: absolute times move with the machine.
  local pairs_pg
  pairs_pg=$(awk -v us="$floor_pg" 'BEGIN { printf "%.0f", us * 216 }')
  row "W1 typical hour, SQLite (WAL)" "$(ms "$w1_lite") ms wall" \
    "cp $(ms "$w1_cp") ms; 216 SELECT + UPDATE pairs through sqlite3 $(times216 "$floor_sqlite") ms ($floor_sqlite us each)" \
    "<= 3x cp: $(verdict "$w1_lite <= 3 * $w1_cp") ($(ratio "$w1_lite" "$w1_cp")x)"
  row "W1 typical hour, PostgreSQL" "$(ms "$w1_pg") ms wall" \
    "216 pairs through libpq (pgbench) $(times216 "$floor_pg") ms ($floor_pg us each)" \
    "<= 1.5x the pairs: $(verdict "$w1_pg <= 1.5 * $pairs_pg") ($(ratio "$w1_pg" "$pairs_pg")x)"

  command -v strace >/dev/null || return 0
  say "W1: messages to the PostgreSQL server, time in the archive's syncs (strace)"
  # Writes to the server's socket: a run of 2 blocks per channel (3 new files, 3
  # extensions) against the typical hour (3 new files, 213 extensions), and a run of one.
  "$plqgen" "$work/b1.plq" --channels 3 --samples 5000 --rate 100 --format 0 --signal noise
  "$plqgen" "$work/b2.plq" --channels 3 --samples 10000 --rate 100 --format 0 --signal noise
  local s1 s2 s72
  s1=$(sends b1.plq MSG1) s2=$(sends b2.plq MSG2) s72=$(sends w1.plq MSG72)
  rm -rf "$work/pg/archive"/MSG*
  local messages
  messages=$(awk -v a="$s2" -v b="$s72" 'BEGIN { printf "%.2f", (b - a) / 210 }')
  row "W1 messages to the PostgreSQL server per extension of a file" \
    "$messages (connection and 3 new files: $s1)" "2 (the pair)" "<= 3: $(verdict "$messages <= 3")"
  row "W1 the archive's fdatasync/fsync, SQLite run" "$(sync_ms w1.plq Y1S)" "" ""
}
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
times216() { awk -v us="$1" 'BEGIN { printf "%.1f", us * 216 / 1000 }'; }
# Writes to the PostgreSQL server's socket while converting $1 as station $2 (only the
# PostgreSQL driver sends: every sendto goes to the server).
sends() {
  (cd "$work/pg" && strace -f -e trace=sendto -o "$work/sends.txt" "$plq2trq" "../$1" "$2" \
    >/dev/null)
  grep -c 'sendto(' "$work/sends.txt"
}

# Converts $1 as station $2 under /usr/bin/time -v: prints wall microseconds and peak KiB.
measured_run() {
  local start end
  start="$EPOCHREALTIME"
  (cd "$work/lite" && /usr/bin/time -v -o "$work/run.time" "$plq2trq" "../$1" "$2" >/dev/null)
  end="$EPOCHREALTIME"
  echo "$((${end/./} - ${start/./})) $(time_v_rss "$work/run.time")"
}

# W2: a day beside cp + sync, its peak memory; one channel of 50,000,000 samples.
bench_w2() {
  say "W2: a day, $repeat_w2 runs; 50,000,000 samples of one channel, one run"
  "$plqgen" "$work/w2.plq" --channels 3 --samples 8640000 --rate 100 --format 1 --signal noise
  local bytes i us rss peak=0 wall floor
  bytes=$(stat -c %s "$work/w2.plq")
  # The floor: a copy of the recording followed by sync, median of as many runs.
  : >"$work/w2-cp.us"
  for i in $(seq 1 "$repeat_w2"); do
    sync
    wall_us sh -c "cp '$work/w2.plq' '$work/w2-copy.plq' && sync" >>"$work/w2-cp.us"
    rm -f "$work/w2-copy.plq"
  done
  floor=$(median <"$work/w2-cp.us")
  : >"$work/w2.us"
  for i in $(seq 1 "$repeat_w2"); do
    read -r us rss < <(measured_run w2.plq "W2S$i")
    echo "$us" >>"$work/w2.us"
    if [ "$rss" -gt "$peak" ]; then peak=$rss; fi
    rm -rf "$work/lite/archive/W2S$i"
  done
  wall=$(median <"$work/w2.us")
  row "W2 a day, format 1 ($((bytes / 1000000)) MB), SQLite" \
    "$(ms "$wall") ms wall, $(awk -v b="$bytes" -v us="$wall" 'BEGIN { printf "%.0f", b / us }') MB/s in, peak RSS $(mib "$peak") MiB" \
    "cp + sync $(ms "$floor") ms" \
    "<= 2x the floor: $(verdict "$wall <= 2 * $floor") ($(ratio "$wall" "$floor")x); RSS < 32 MiB: $(verdict "$peak < 32768")"
  if command -v strace >/dev/null; then
    row "W2 the archive's fdatasync/fsync" "$(sync_ms w2.plq Y2S)" "" ""
  fi
  rm -f "$work/w2.plq"
  "$plqgen" "$work/w50m.plq" --channels 1 --samples 50000000 --rate 100 --format 1 --signal noise
  bytes=$(stat -c %s "$work/w50m.plq")
  read -r wall rss < <(measured_run w50m.plq W50M)
  rm -rf "$work/w50m.plq" "$work/lite/archive/W50M"
  row "W2 50,000,000 samples of one channel, format 1 ($((bytes / 1000000)) MB), SQLite" \
    "$(ms "$wall") ms wall, peak RSS $(mib "$rss") MiB" "" "RSS < 32 MiB: $(verdict "$rss < 32768")"
}

# W3: microseconds per registration at 0, 100k and 1M rows (bench_catalog_scale).
bench_w3() {
  say "W3: catalog scale (filling FILELIST to 1,000,000 rows takes a while)"
  "$build/bench/bench_catalog_scale" --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_format=csv >"$work/w3.csv" 2>/dev/null
  local db at0 at100k at1m
  for db in SQLiteWAL PostgreSQL; do
    at0=$(w3 "$db" 0) at100k=$(w3 "$db" 100000) at1m=$(w3 "$db" 1000000)
    row "W3 registration, $db" \
      "$at0 / $at100k / $at1m us at 0 / 100k / 1M rows ($(change "$at0" "$at1m"))" "" \
      "within 20%: $(within20 "$at0" "$at1m")"
  done
}
# Median microseconds per registration of database $1 (SQLiteWAL, PostgreSQL) at $2 rows.
w3() {
  awk -F, -v want="\"RegisterWithRows/$1/$2/iterations:30/real_time_median\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == "\"per_registration\"") col = i; next }
    $1 == want { printf "%.0f", $col * 1e6 }' "$work/w3.csv"
}

# W4: trq avail of one station's year in a catalog of about a million rows.
bench_w4() {
  say "W4: availability of one station's year in a catalog of about a million rows"
  "$build/bench/bench_availability" --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv >"$work/w4.csv" 2>/dev/null
  local db name took
  for db in SQLiteWAL PostgreSQL; do
    name=$([ "$db" = SQLiteWAL ] && echo "SQLite (WAL)" || echo PostgreSQL)
    took=$(awk -F, -v want="\"AvailabilityOfAStationsYear/$db/iterations:5/real_time_median\"" '
      NR == 1 { for (i = 1; i <= NF; i++) if ($i == "real_time") col = i; next }
      $1 == want { printf "%.0f", $col }' "$work/w4.csv")
    row "W4 availability of one station's year in 1,005,984 rows, $name" "$took ms wall" "" \
      "< 1000 ms: $(verdict "$took < 1000")"
  done
}

# W7: the watch mode taking 100 typical hours at 10 per second on each catalog: close to
# committed rows (median, p99) beside one classic run, then a minute idle.
bench_watch() {
  say "W7: the watch mode, 100 typical hours at 10 per second on each catalog, then a minute idle"
  mkdir -p "$work/w7"
  local i kind name
  for i in $(seq 0 99); do
    "$plqgen" "$work/w7/$i.plq" --channels 3 --samples 360000 --rate 100 --format 0 --signal noise \
      --seed "$i" --start "2013-10-$((22 + i / 5 / 24))T$(printf '%02d' $((i / 5 % 24))):00:00" >/dev/null
  done
  for kind in lite pg; do
    watch_measure "$kind"
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    row "W7 watch mode, 100 typical hours at 10/s, $name" \
      "close to committed rows: median ${w7v[$kind,median]} ms, p99 ${w7v[$kind,p99]} ms; idle service ${w7v[$kind,idle]} % of a core over 60 s" \
      "one classic run of the recording $(ms "${w7v[$kind,floor]}") ms" \
      "p99 <= 1000 ms: $(verdict "${w7v[$kind,p99]} <= 1000") (median $(ratio "$(awk -v ms="${w7v[$kind,median]}" 'BEGIN { print ms * 1000 }')" "${w7v[$kind,floor]}")x the classic run); idle < 1 %: $(verdict "${w7v[$kind,idle]} < 1")"
  done
  rm -rf "$work/w7"
}
declare -A w7v
# One value per line of SQL $2 on catalog $1 (lite, pg).
catalog_query() {
  if [ "$1" = lite ]; then
    sqlite3 -batch "$work/catalog.db" "$2"
  else
    PGPASSWORD="$PGPASSWORD" "$PGBIN/psql" -X -q -A -t -h "$PGHOST" -p "$PGPORT" -U "$PGUSER" \
      -d plq_bench -c "$2"
  fi
}
# Fills w7v[KIND,median|p99|idle|floor] for catalog $1 (lite, pg).
watch_measure() {
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
  catalog_query "$kind" "SELECT CONVERTED - MTIME FROM RECORDINGS WHERE RPATH LIKE '$tree/%'" |
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

# W8: the home page of 100 stations x 3 channels over 1,000,000 rows, and the picture of
# its week before the cache keeps it.
bench_home() {
  say "W8: trq serve's home page, 100 stations x 3 channels over 1,000,000 rows"
  "$build/bench/bench_home_page" --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv >"$work/w8.csv" 2>/dev/null
  local db name page picture
  for db in SQLiteWAL PostgreSQL; do
    name=$([ "$db" = SQLiteWAL ] && echo "SQLite (WAL)" || echo PostgreSQL)
    page=$(w8 "HomePageOfAHundredStations/$db/iterations:5")
    picture=$(w8 "AvailabilityPictureOfAWeek/$db/iterations:1")
    row "W8 trq serve's home page, 100 stations x 3 channels, 1,000,000 rows, $name" \
      "$page ms wall; the week's availability picture of all 300 streams $picture ms before it is kept" \
      "" "< 300 ms: $(verdict "$page < 300")"
  done
}
# Median milliseconds of benchmark $1 in w8.csv.
w8() {
  awk -F, -v want="\"$1/real_time_median\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == "real_time") col = i; next }
    $1 == want { printf "%.0f", $col }' "$work/w8.csv"
}

# The component benchmarks of bench/ (all but those of W3, W4, W5 and W8), for below the table.
bench_components() {
  say "Component benchmarks"
  local bench
  for bench in "${benches[@]}"; do
    case "$bench" in bench_catalog_scale | bench_availability | bench_serve_load | bench_home_page) continue ;; esac
    "$build/bench/$bench" 2>/dev/null | grep -vE '^(---|Benchmark |Running|Run on|CPU Caches|  L[0-9]|Load Average|\*\*\*|[0-9]{4}-)'
  done >"$work/components.txt"
}

# W6: a campaign of 3 stations x 24 hourly recordings by one batch command (--tree, --jobs 3)
# and one station's 24 by another (--station), each beside cp -r + sync of the same
# recordings; the loop of classic runs; the batch's peak memory with --jobs 2.
bench_w6() {
  say "W6: a campaign of 3 stations x 24 hourly recordings"
  local sta h bytes one_bytes floor one_floor kind name target batch one loop rss
  for sta in CA CB CC; do
    mkdir -p "$work/campaign/$sta"
    for h in $(seq 0 23); do
      "$plqgen" "$work/campaign/$sta/$(printf '%02d' "$h").plq" --channels 3 --samples 360000 \
        --rate 100 --format 1 --signal noise --seed "$h" --start "2013-10-22T$(printf '%02d' "$h"):00:00" >/dev/null
    done
  done
  bytes=$(du -sb "$work/campaign" | cut -f 1)
  one_bytes=$(du -sb "$work/campaign/CA" | cut -f 1)
  sync
  floor=$(wall_us sh -c "cp -r '$work/campaign' '$work/campaign-copy' && sync")
  rm -rf "$work/campaign-copy"
  sync
  one_floor=$(wall_us sh -c "cp -r '$work/campaign/CA' '$work/campaign-copy' && sync")
  rm -rf "$work/campaign-copy"
  for kind in lite pg; do
    sync
    batch=$(wall_us sh -c "cd '$work/$kind' && '$plq2trq' --tree ../campaign --jobs 3 --quiet")
    rm -rf "$work/$kind/archive/C"?
    sync
    one=$(wall_us sh -c "cd '$work/$kind' && '$plq2trq' --station CA ../campaign/CA/*.plq --quiet")
    rm -rf "$work/$kind/archive/C"?
    sync
    loop=$(wall_us sh -c "cd '$work/$kind' && for f in ../campaign/*/*.plq; do s=\$(basename \$(dirname \$f)); '$plq2trq' \$f \$s || exit 1; done")
    rm -rf "$work/$kind/archive/C"?
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    target=$([ "$kind" = lite ] && echo 1.5 || echo 2)
    row "W6 campaign 3 x 24 hours ($((bytes / 1000000)) MB), batch --tree --jobs 3, $name" \
      "$(ms "$batch") ms wall; the loop of classic runs $(ms "$loop") ms" \
      "cp -r + sync $(ms "$floor") ms" \
      "<= ${target}x the floor: $(verdict "$batch <= $target * $floor") ($(ratio "$batch" "$floor")x)"
    row "W6 one station's 24 hours ($((one_bytes / 1000000)) MB), batch --station, $name" \
      "$(ms "$one") ms wall" \
      "cp -r + sync $(ms "$one_floor") ms" \
      "<= ${target}x the floor: $(verdict "$one <= $target * $one_floor") ($(ratio "$one" "$one_floor")x)"
  done
  (cd "$work/lite" && /usr/bin/time -v -o "$work/w6.time" "$plq2trq" --tree ../campaign --jobs 2 --quiet >/dev/null)
  rss=$(time_v_rss "$work/w6.time")
  rm -rf "$work/lite/archive/C"? "$work/campaign"
  row "W6 campaign, batch --jobs 2, SQLite" "peak RSS $(mib "$rss") MiB" "" "bounded per worker"
}

# W9: what checksums cost the converter (W1, W2 with and without, interleaved) and how fast
# `trq check --verify` reads beside cat. On a shared machine the wall times move with the
# load; each run's CPU time (user and system, of the process and its children) moves less,
# and is given beside them.
bench_checksums() {
  say "W9: checksums: W1 and W2 with and without, interleaved; verify of 1 GB beside cat"
  local kind i
  # Catalogs as an older version set them up: without the checksum table.
  scripts/catalog-setup.sh sqlite --dsn BENCHLITE0 --db "$work/catalog0.db" --ini-dir "$work/odbc"
  sqlite3 -batch "$work/catalog0.db" "DROP TABLE FILECHECKSUM"
  scripts/catalog-setup.sh postgres --dsn BENCHPG0 --host "$PGHOST" --port "$PGPORT" \
    --db plq_bench0 --user "$PGUSER" --password "$PGPASSWORD" --ini-dir "$work/odbc"
  PGPASSWORD="$PGPASSWORD" "$PGBIN/psql" -X -q -h "$PGHOST" -p "$PGPORT" -U "$PGUSER" \
    -d plq_bench0 -c "DROP TABLE filechecksum"
  for kind in lite0 pg0; do
    mkdir -p "$work/$kind/archive"
    sed -e "s/^ODBC=BENCH\(LITE\|PG\)$/ODBC=BENCH\10/" -e "s|/${kind%0}/archive|/$kind/archive|" \
      "$work/${kind%0}/plq2trq.ini" >"$work/$kind/plq2trq.ini"
  done
  [ -e "$work/w1.plq" ] ||
    "$plqgen" "$work/w1.plq" --channels 3 --samples 360000 --rate 100 --format 0 --signal noise
  for kind in lite lite0 pg pg0; do : >"$work/w9-$kind.us"; done
  for i in $(seq 1 "$repeat_w9"); do
    for kind in lite lite0 pg pg0; do
      (cd "$work/$kind" && w9_run "$plq2trq" ../w1.plq "W9S$i") >>"$work/w9-$kind.us"
    done
  done
  rm -rf "$work"/{lite,lite0,pg,pg0}/archive/W9S*
  local name
  for kind in lite pg; do
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    w9_row "W9 typical hour with checksums, $name" "$work/w9-$kind.us" "$work/w9-${kind}0.us"
  done

  [ -e "$work/w2.plq" ] ||
    "$plqgen" "$work/w2.plq" --channels 3 --samples 8640000 --rate 100 --format 1 --signal noise
  for kind in lite lite0; do : >"$work/w9-day-$kind.us"; done
  for i in $(seq 1 "$repeat_w9_day"); do
    for kind in lite lite0; do
      (cd "$work/$kind" && w9_run "$plq2trq" ../w2.plq "W9D$i") >>"$work/w9-day-$kind.us"
      rm -rf "$work/$kind/archive/W9D$i"
    done
  done
  w9_row "W9 a day with checksums, SQLite" "$work/w9-day-lite.us" "$work/w9-day-lite0.us"

  # Ten days of W2 (10 x 103,680,000 bytes of samples, 720 files) in a catalog of their own.
  scripts/catalog-setup.sh sqlite --dsn BENCHVERIFY --db "$work/verify.db" --ini-dir "$work/odbc"
  mkdir -p "$work/verify/archive"
  sed -e "s/^ODBC=BENCHLITE$/ODBC=BENCHVERIFY/" -e "s|/lite/archive|/verify/archive|" \
    "$work/lite/plq2trq.ini" >"$work/verify/plq2trq.ini"
  for i in $(seq 0 9); do convert "$work/verify" ../w2.plq "V$i"; done
  local bytes v c vcpu ccpu
  bytes=$(find "$work/verify/archive" -type f -name '[0-9]*' -printf '%s\n' | awk '{ s += $1 } END { print s }')
  : >"$work/w9-verify.us"
  : >"$work/w9-cat.us"
  for i in $(seq 1 "$repeat_w9_day"); do
    (cd "$work/verify" && w9_run "$trq" check archive --verify) >>"$work/w9-verify.us"
    w9_run sh -c "find '$work/verify/archive' -type f -name '[0-9]*' -exec cat {} + >/dev/null" \
      >>"$work/w9-cat.us"
  done
  rm -rf "$work/verify"
  v=$(cut -d ' ' -f 1 "$work/w9-verify.us" | median) c=$(cut -d ' ' -f 1 "$work/w9-cat.us" | median)
  vcpu=$(cut -d ' ' -f 2 "$work/w9-verify.us" | median) ccpu=$(cut -d ' ' -f 2 "$work/w9-cat.us" | median)
  row "W9 trq check --verify of $((bytes / 1000000)) MB (720 files), page cache warm" \
    "$(ms "$v") ms wall, $(awk -v b="$bytes" -v us="$v" 'BEGIN { printf "%.0f", b / us }') MB/s; $(ms "$vcpu") ms CPU" \
    "cat to /dev/null $(ms "$c") ms, $(awk -v b="$bytes" -v us="$c" 'BEGIN { printf "%.0f", b / us }') MB/s; $(ms "$ccpu") ms CPU" \
    ">= 80% of cat's rate: $(verdict "$c >= 0.8 * $v") ($(awk -v a="$c" -v b="$v" 'BEGIN { printf "%.0f%%", a * 100 / b }'))"
  row "W9 reading a day's files back and hashing them (the other way to hash)" \
    "$(awk -v us="$v" -v b="$bytes" 'BEGIN { printf "%.1f", us * 103680000 / b / 1000 }') ms wall, $(awk -v us="$vcpu" -v b="$bytes" 'BEGIN { printf "%.1f", us * 103680000 / b / 1000 }') ms CPU, a tenth of the verify above" "" ""

  "$build/bench/bench_checksum" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_format=csv >"$work/w9.csv" 2>/dev/null
  row "W9 hashing 1 MiB in memory (bench_checksum, median of 5 interleaved, per CPU second)" \
    "XXH3-128 $(w9_rate BM_Xxh3_128) GB/s; an hour's file as the converter hashes it (both hashes) $(w9_rate BM_ChecksumWhileWriting) GB/s" \
    "SHA-256 (OpenSSL) $(w9_rate BM_Sha256) GB/s" ""
}
# Runs the command (output discarded): wall and CPU microseconds, user and system time of
# the command and its children.
w9_run() {
  python3 -c '
import resource, subprocess, sys, time
start = time.perf_counter()
if subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
    sys.exit("failed: " + " ".join(sys.argv[1:]))
wall = time.perf_counter() - start
used = resource.getrusage(resource.RUSAGE_CHILDREN)
print(round(wall * 1e6), round((used.ru_utime + used.ru_stime) * 1e6))' "$@"
}
# A row of runs with checksums (file $2) beside those without (file $3): medians of wall
# and CPU time; the target on the wall times.
w9_row() {
  local with without cwith cwithout
  with=$(cut -d ' ' -f 1 "$2" | median) without=$(cut -d ' ' -f 1 "$3" | median)
  cwith=$(cut -d ' ' -f 2 "$2" | median) cwithout=$(cut -d ' ' -f 2 "$3" | median)
  row "$1" "$(ms "$with") ms wall ($(change "$without" "$with")), $(ms "$cwith") ms CPU ($(change "$cwithout" "$cwith"))" \
    "without checksums $(ms "$without") ms wall, $(ms "$cwithout") ms CPU" \
    "<= 5% more: $(verdict "$with <= 1.05 * $without") (wall), $(verdict "$cwith <= 1.05 * $cwithout") (CPU)"
}
# GB/s of benchmark $1 of bench_checksum (its median).
w9_rate() {
  awk -F, -v want="\"$1_median\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == "bytes_per_second") col = i; next }
    $1 == want { printf "%.2f", $col / 1e9 }' "$work/w9.csv"
}

# W5: trq serve under 16 clients for 30 s on each catalog, on the day of W2, and its peak
# memory while it sends the whole day in one answer.
bench_w5() {
  say "W5: trq serve, $w5_clients clients for $w5_seconds s on each catalog"
  [ -e "$work/w2.plq" ] ||
    "$plqgen" "$work/w2.plq" --channels 3 --samples 8640000 --rate 100 --format 1 --signal noise
  # The day from 2013-10-22 13:47:34: windows of 5 minutes of one channel (30,000 samples),
  # the spans of the day in JSON and the extents, asked in turn.
  local paths=(
    "/fdsnws/dataselect/1/query?sta=W5S&cha=BHZ&start=2013-10-22T15:00:00&end=2013-10-22T15:05:00"
    "/fdsnws/availability/1/query?sta=W5S&start=2013-10-22&end=2013-10-24&format=json"
    "/fdsnws/dataselect/1/query?sta=W5S&cha=BHN&start=2013-10-23T02:00:00&end=2013-10-23T02:05:00"
    "/fdsnws/availability/1/extent?sta=W5S"
    "/fdsnws/dataselect/1/query?sta=W5S&cha=BHE&start=2013-10-23T10:30:00&end=2013-10-23T10:35:00"
  )
  local day="/fdsnws/dataselect/1/query?sta=W5S&start=2013-10-22&end=2013-10-24"
  local kind name server port load before bytes peak
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
    load=$("$build/bench/bench_serve_load" 127.0.0.1 "$port" "$w5_clients" \
      "$w5_seconds" "${paths[@]}") || echo "W5 $kind: some requests failed" >&2
    before=$(peak_kib "$server")
    bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://127.0.0.1:$port$day")
    peak=$(peak_kib "$server")
    kill -TERM "$server"
    wait "$server" || true
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    row "W5 trq serve, $w5_clients clients for $w5_seconds s, $name" \
      "$(field "$load" requests) requests, $(field "$load" failed) failed: $(field "$load" per_second) requests/s, latency p50 $(field "$load" p50_ms) ms, p99 $(field "$load" p99_ms) ms" \
      "" "no failed request: $(verdict "$(field "$load" failed) == 0")"
    row "W5 trq serve, the whole day of 3 channels in one answer, $name" \
      "$((bytes / 1000000)) MB sent, peak RSS $((peak / 1024)) MiB ($((before / 1024)) MiB before it)" \
      "" "bounded, not the answer's size: $(verdict "$peak < 64 * 1024")"
  done
}
# Field $2 (requests, failed, per_second, p50_ms, p99_ms) of load line $1.
field() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }

# The table of the rows the workloads added, and the component benchmarks below it.
report() {
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(sed -n 's/^model name\t: //p' /proc/cpuinfo | head -n 1)), load average $(cut -d ' ' -f 1-3 /proc/loadavg) at the end. PostgreSQL with fsync and synchronous_commit on."
  echo
  echo "| Workload | Figure | Floor measured beside it | Target |"
  echo "|---|---|---|---|"
  cat "$work/rows.md"
  if [ -s "$work/components.txt" ]; then
    echo
    echo "Component benchmarks (Google Benchmark; name, wall time, CPU time, iterations, counters):"
    echo
    echo '```'
    cat "$work/components.txt"
    echo '```'
  fi
}

work="$(mktemp -d /tmp/plq-bench-XXXXXX)"
cleanup() {
  scripts/pg-test-cluster.sh stop "$work/pg.env" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
: >"$work/rows.md"
setup
case "$only" in
  all) workloads=(w1 w2 w3 w4 components w6 watch checksums w5 home) ;;
  converter) workloads=(w1 w2) ;;
  serve) workloads=(w5) ;;
  campaign) workloads=(w6) ;;
  watch) workloads=(watch) ;;
  home) workloads=(home) ;;
  checksums) workloads=(checksums) ;;
  *) echo "bench.sh: unknown selection $only (all, converter, serve, campaign, watch, home, checksums)" >&2; exit 2 ;;
esac
for workload in "${workloads[@]}"; do "bench_$workload"; done
report >"$build/bench-results.md"
cat "$build/bench-results.md"
