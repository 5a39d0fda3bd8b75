# The helpers every workload of scripts/bench.sh uses: timing, medians, the converter's
# run, table rows, verdicts. Sourced by bench.sh, never run alone. Expects $work (the run's
# temporary directory) and $plq2trq (the converter under test) to be set by the caller.

say() { printf '== %s\n' "$*" >&2; }

# Microseconds of wall time the command takes (its output discarded); fails if it fails.
wall_us() {
  local start end
  start="$EPOCHREALTIME"
  "$@" >/dev/null
  end="$EPOCHREALTIME"
  echo $((${end/./} - ${start/./}))
}

# The median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Microseconds as milliseconds with one decimal.
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }
mib() { echo $(($1 / 1024)); }
# Kilobytes of the largest resident set process $1 has had.
peak_kib() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }
# The peak resident set in KiB that /usr/bin/time -v wrote to file $1.
time_v_rss() { sed -n 's/.*Maximum resident set size (kbytes): //p' "$1"; }

# Converts $2 as station $3 in working directory $1; fails unless the run ends with 0.
convert() {
  local out status=0
  out="$(cd "$1" && "$plq2trq" "$2" "$3")" || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\nplq2trq ended with %s\n' "$out" "$status" >&2
    return 1
  fi
}

# "met" when the awk condition $1 holds, else "MISSED".
verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo MISSED; fi; }
# The change from $1 to $2 in percent, signed.
change() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.0f%%", (b - a) * 100 / a }'; }
within20() { awk -v a="$1" -v b="$2" 'BEGIN { d = (b - a) / a; exit !(d <= 0.2 && d >= -0.2) }' && echo met || echo MISSED; }
# $1 / $2 with one decimal: how many times the floor a figure is.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

# One row of the results table: workload, figure, floor measured beside it, target (an
# empty cell stays empty).
row() {
  local line="|" cell
  for cell in "$1" "$2" "$3" "$4"; do
    if [ -n "$cell" ]; then line+=" $cell |"; else line+=" |"; fi
  done
  echo "$line" >>"$work/rows.md"
}
