#!/usr/bin/env bash
# Measures which deliberate faults the test suite catches. Each line of
# scripts/mutations.txt names a one-line fault: the script puts it into the product code,
# rebuilds, runs the suite, and puts the code back. A fault is caught when the build or a
# test fails. Usage: scripts/mutation-check.sh [BUILD_DIR] [ID...]
# Runs on a work tree of its own (it changes product files while it runs):
#   git worktree add /tmp/mutate HEAD && /tmp/mutate/scripts/mutation-check.sh
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-mutate}"
shift || true
wanted=" $* "

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLQ_SYSCONFDIR=etc -DPLQ_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null || { echo "the unchanged tree does not build" >&2; exit 2; }
ctest --test-dir "$build" -j "$(nproc)" --timeout 120 >/dev/null ||
  { echo "the unchanged suite does not pass" >&2; exit 2; }

caught=0 missed=0 missedIds=""
while IFS= read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  id=${line%% @@ *}
  file=${line#* @@ }
  file=${file%% @@ *}
  [ "$wanted" = "  " ] || [[ "$wanted" == *" $id "* ]] || continue
  if ! python3 - "$line" <<'PY'
import sys
line = sys.argv[1] + (' ' if sys.argv[1].endswith(' @@') else '')
_, path, search, replace = line.split(' @@ ', 3)
search, replace = search.replace('<NL>', '\n'), replace.replace('<NL>', '\n')
text = open(path).read()
if text.count(search) != 1:
    sys.exit(f"{path}: the text of the fault is found {text.count(search)} times")
open(path, 'w').write(text.replace(search, replace))
PY
  then echo "$id: could not apply" >&2; exit 2; fi
  if cmake --build "$build" -j "$(nproc)" >/dev/null 2>&1 &&
     ctest --test-dir "$build" -j "$(nproc)" --timeout 120 >/dev/null 2>&1; then
    echo "$id missed   ($file)"; missed=$((missed + 1)); missedIds="$missedIds $id"
  else
    echo "$id caught   ($file)"; caught=$((caught + 1))
  fi
  git checkout -q -- "$file"
done < scripts/mutations.txt
cmake --build "$build" -j "$(nproc)" >/dev/null 2>&1
echo "mutation-check: $caught caught, $missed missed${missedIds:+ (missed:$missedIds)}"
