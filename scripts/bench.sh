#!/usr/bin/env bash
# Runs every benchmark and prints the figures as a table (also written to
# <build>/bench-results.md, the source of docs/performance.md):
#
#   W1  the typical hour: 3 channels x 360,000 samples at 100 sps, format 0, converted end
#       to end (process start to exit) on an SQLite catalog (WAL) and on PostgreSQL; median
#       wall time of several runs, and its ratio to cp of the same recorder file (the I/O
#       floor), measured in the same run.
#   W2  a day: 3 channels x 8,640,000 samples at 100 sps, format 1 (about 104 MB): wall
#       time, input MB/s, and peak resident memory (/usr/bin/time -v).
#   W3  catalog scale: microseconds per registration with FILELIST already holding 0,
#       100,000 and 1,000,000 rows (bench_catalog_scale).
#   W4  availability: what `trq avail` does for one station's year (26,229 rows) in a
#       catalog of 1,005,984 rows, connection included (bench_availability).
#   W5  trq serve: 16 clients at once for 30 s against one server on each catalog, on the
#       day of W2 (requests, failures, throughput, 50th and 99th percentile latency;
#       bench_serve_load), and the server's peak memory while it sends the whole day of
#       three channels (104 MB of miniSEED) in one answer.
#   and the component benchmarks of bench/ (decoding, archive writer, registration).
#
#   scripts/bench.sh             build dir build-bench (PLQ_BENCH_BUILD_DIR to change it)
#   scripts/bench.sh serve       W5 alone
#
# Everything runs in a temporary directory, with a throwaway PostgreSQL server, removed at
# the end. Timings depend on the machine and on what else runs on it.
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
scripts/pg-test-cluster.sh start "$work/pg.env" >/dev/null
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

if [ "$only" = all ]; then
say "W1: the typical hour, $repeat_w1 runs each"
"$plqgen" "$work/w1.plq" --channels 3 --samples 360000 --rate 100 --format 0 --signal noise
w1_bytes=$(stat -c %s "$work/w1.plq")
for kind in lite pg cp; do
  : >"$work/w1-$kind.us"
  for i in $(seq 1 "$repeat_w1"); do
    case "$kind" in
      cp) rm -f "$work/copy.plq"; wall_us cp "$work/w1.plq" "$work/copy.plq" ;;
      *) wall_us convert "$work/$kind" ../w1.plq "W1S$i" ;;
    esac >>"$work/w1-$kind.us"
  done
done
w1_lite=$(median <"$work/w1-lite.us")
w1_pg=$(median <"$work/w1-pg.us")
w1_cp=$(median <"$work/w1-cp.us")
rm -rf "$work/lite/archive"/W1S* "$work/pg/archive"/W1S*

say "W2: a day, $repeat_w2 runs"
"$plqgen" "$work/w2.plq" --channels 3 --samples 8640000 --rate 100 --format 1 --signal noise
w2_bytes=$(stat -c %s "$work/w2.plq")
: >"$work/w2.us"
w2_rss=0
for i in $(seq 1 "$repeat_w2"); do
  start="$EPOCHREALTIME"
  (cd "$work/lite" && /usr/bin/time -v -o "$work/w2.time" "$plq2trq" ../w2.plq "W2S$i" >/dev/null)
  end="$EPOCHREALTIME"
  echo $((${end/./} - ${start/./})) >>"$work/w2.us"
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/w2.time")
  if [ "$rss" -gt "$w2_rss" ]; then w2_rss=$rss; fi
  rm -rf "$work/lite/archive/W2S$i"
done
w2_wall=$(median <"$work/w2.us")
# Samples per channel N = 8,640,000, B = 4 bytes per sample (format 1).
w2_limit_kib=$(((4 + 4) * 8640000 / 1024 + 32 * 1024))

say "W3: catalog scale (filling FILELIST to 1,000,000 rows takes a while)"
"$build/bench/bench_catalog_scale" --benchmark_repetitions=5 \
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
# Field $2 (requests, failed, per_second, p50_ms, p99_ms) of the load line of catalog $1.
w5() { tr ' ' '\n' <<<"${w5v[$1,load]}" | sed -n "s/^$2=//p"; }

verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo MISSED; fi; }
change() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.0f%%", (b - a) * 100 / a }'; }
within20() { awk -v a="$1" -v b="$2" 'BEGIN { d = (b - a) / a; exit !(d <= 0.2 && d >= -0.2) }' && echo met || echo MISSED; }

report="$build/bench-results.md"
{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(sed -n 's/^model name\t: //p' /proc/cpuinfo | head -n 1)), load average $(cut -d ' ' -f 1-3 /proc/loadavg) at the end."
  echo
  echo "| Workload | Figure | Target |"
  echo "|---|---|---|"
  if [ "$only" = all ]; then
  echo "| W1 typical hour, SQLite (WAL) | $(ms "$w1_lite") ms wall, $(awk -v a="$w1_lite" -v b="$w1_cp" 'BEGIN { printf "%.1f", a / b }') x cp | < 60 ms: $(verdict "$w1_lite < 60000") |"
  echo "| W1 typical hour, PostgreSQL | $(ms "$w1_pg") ms wall, $(awk -v a="$w1_pg" -v b="$w1_cp" 'BEGIN { printf "%.1f", a / b }') x cp | |"
  echo "| W1 cp of the recorder file ($((w1_bytes / 1000)) kB) | $(ms "$w1_cp") ms wall | the I/O floor |"
  echo "| W2 a day, format 1 ($((w2_bytes / 1000000)) MB), SQLite | $(ms "$w2_wall") ms wall, $(awk -v b="$w2_bytes" -v us="$w2_wall" 'BEGIN { printf "%.0f", b / us }') MB/s in, peak RSS $((w2_rss / 1024)) MiB | RSS <= (B + 4) x N + 32 MiB = $((w2_limit_kib / 1024)) MiB: $(verdict "$w2_rss <= $w2_limit_kib") |"
  for db in SQLiteWAL PostgreSQL; do
    echo "| W3 registration, $db | ${w3v[$db,0]} / ${w3v[$db,100000]} / ${w3v[$db,1000000]} us at 0 / 100k / 1M rows ($(change "${w3v[$db,0]}" "${w3v[$db,1000000]}")) | within 20%: $(within20 "${w3v[$db,0]}" "${w3v[$db,1000000]}") |"
  done
  echo "| W4 availability of one station's year in 1,005,984 rows, SQLite (WAL) | $w4_lite ms wall | < 1000 ms: $(verdict "$w4_lite < 1000") |"
  echo "| W4 availability of one station's year in 1,005,984 rows, PostgreSQL | $w4_pg ms wall | < 1000 ms: $(verdict "$w4_pg < 1000") |"
  fi
  for kind in lite pg; do
    name=$([ "$kind" = lite ] && echo "SQLite (WAL)" || echo PostgreSQL)
    echo "| W5 trq serve, $w5_clients clients for $w5_seconds s, $name | $(w5 "$kind" requests) requests, $(w5 "$kind" failed) failed: $(w5 "$kind" per_second) requests/s, latency p50 $(w5 "$kind" p50_ms) ms, p99 $(w5 "$kind" p99_ms) ms | no failed request: $(verdict "$(w5 "$kind" failed) == 0") |"
    echo "| W5 trq serve, the whole day of 3 channels in one answer, $name | $((w5v[$kind,bytes] / 1000000)) MB sent, peak RSS $((w5v[$kind,peak] / 1024)) MiB ($((w5v[$kind,before] / 1024)) MiB before it) | bounded, not the answer's size: $(verdict "${w5v[$kind,peak]} < 64 * 1024") |"
  done
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
