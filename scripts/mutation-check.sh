#!/usr/bin/env bash
# Measures which deliberate faults the test suite catches. Each line of
# scripts/mutations.txt names a one-line fault: the script puts it into the product code,
# rebuilds, runs the tests, and puts the code back. A fault is caught when the build or a
# test fails. Usage: scripts/mutation-check.sh [BUILD_DIR] [ID...]
# Runs on a work tree of its own (it changes product files while it runs):
#   git worktree add /tmp/mutate HEAD && /tmp/mutate/scripts/mutation-check.sh
#
# Quick enough for the whole list on two cores: an optimized build without debug
# information, linked by lld where it is installed; one PostgreSQL cluster and one FDSN
# client for every run (ctest leaves its fixtures out); and for each fault first the tests
# nearest to it (the line's own pattern, else the tests of the fault's folder), stopping at
# the first failure, and the rest of the suite only when those pass.
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-mutate}"
shift || true
wanted=" $* "
jobs="$(nproc)"

options=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DPLQ_SYSCONFDIR=etc
  -DPLQ_BUILD_BENCHMARKS=OFF)
command -v ninja >/dev/null && [ ! -f "$build/Makefile" ] && options+=(-G Ninja)
command -v ld.lld >/dev/null &&
  options+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)
cmake -S . -B "$build" "${options[@]}" >/dev/null || exit 2
cmake --build "$build" -j "$jobs" >/dev/null || { echo "the unchanged tree does not build" >&2; exit 2; }

# The suite's fixtures, started once here instead of by each ctest run.
fixtures='^(pg_cluster_start|pg_cluster_stop|catalog_templates|fdsn_client_setup|test_tmp_make|test_tmp_left_empty)$'
scripts/pg-test-cluster.sh start "$build/pg-test-cluster.env" >/dev/null || exit 2
trap 'scripts/pg-test-cluster.sh stop "$build/pg-test-cluster.env"' EXIT
scripts/test-catalog-templates.sh "$build/pg-test-cluster.env" "$build/test-catalogs" >/dev/null || exit 2
scripts/fdsn-client-setup.sh "$build/fdsn-client" >/dev/null || exit 2
rm -rf "$build/test-tmp" && mkdir -p "$build/test-tmp"
tests() { ctest --test-dir "$build" -j "$jobs" --timeout 120 -FA . "$@" >/dev/null 2>&1; }
tests -E "$fixtures" || { echo "the unchanged suite does not pass" >&2; exit 2; }

# The test label (tests/FOLDER) of the tests nearest to a product file.
label_of() {
  case "$1" in
    platform/* | site/*) echo platform ;;
    recorder/*) echo recorder ;;
    archive/*) echo archive ;;
    odbc/* | catalog/*) echo catalog ;;
    ingest/* | batch/* | plq2trq/*) echo endtoend ;;
    trq/fdsn/* | trq/inventory/*) echo serve ;;
    trq/*) echo trq ;;
    *) return 1 ;;
  esac
}

caught=0 missed=0 missedIds=""
while IFS= read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  head=${line%% @@ *}
  id=${head%% *}
  near=${head#"$id"}
  near=${near# }
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
  if [ -n "$near" ]; then
    first=(-R "$near") rest=(-E "$fixtures|$near")
  elif label=$(label_of "$file"); then
    first=(-L "^$label\$") rest=(-LE "^$label\$" -E "$fixtures")
  else
    first=() rest=(-E "$fixtures")
  fi
  if cmake --build "$build" -j "$jobs" >/dev/null 2>&1 &&
     { [ ${#first[@]} -eq 0 ] || tests --stop-on-failure "${first[@]}"; } &&
     tests --stop-on-failure "${rest[@]}"; then
    echo "$id missed   ($file)"; missed=$((missed + 1)); missedIds="$missedIds $id"
  else
    echo "$id caught   ($file)"; caught=$((caught + 1))
  fi
  git checkout -q -- "$file"
done < scripts/mutations.txt
cmake --build "$build" -j "$jobs" >/dev/null 2>&1
echo "mutation-check: $caught caught, $missed missed${missedIds:+ (missed:$missedIds)}"
