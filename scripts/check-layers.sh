#!/usr/bin/env bash
# Fails when the product's include structure breaks one of its three rules, in any folder
# and any subfolder of it:
#
# 1. A folder includes only its own headers and those of the folders below it. The layers,
#    lowest first:
#
#      platform  recorder  archive  odbc  catalog  site  ingest  batch  watch  |  plq2trq  trq
#
#    (odbc needs nothing of recorder or archive, but sits above them so that catalog, which
#    joins the archive's registrations to the database, is above both.) testing/ holds the
#    recording generator and may use platform/ only.
# 2. The two programs, plq2trq/ (the converter) and trq/ (the toolkit), stand side by side
#    on the libraries: neither includes the other.
# 3. No circle: a header and the sources that implement it count as one unit (trq/fdsn/X.h
#    with trq/fdsn/X.cpp, odbc/Recordset.h with odbc/RecordsetOpen.cpp), and no unit may
#    reach itself again through includes. The one exception is odbc's connection and its
#    recordsets, which know each other by design: CDatabase, CRecordset, the error that
#    reads its texts from the connection, the statement handle and the field exchange.
# 4. Each outside library of the toolkit has one home: cpp-httplib trq/fdsn/, cairo
#    trq/plot/, libmseed trq/mseed/, libxml2 trq/inventory/.
# 5. A recording format is recorder/'s own: each lives in a subfolder (recorder/plq/: the
#    PLQ header, sample decoding and channel loop), whose headers nothing outside recorder/
#    includes, in the product or beside it, but the decoder's own tests and benchmark
#    (tests/recorder/, bench/decode.cpp). Everything else reads recordings through
#    recorder/RecordingOpener.h and recorder/Recording.h, so that a second format is a
#    change inside recorder/.
#
# Usage: scripts/check-layers.sh [SOURCE_ROOT]  (default: the repository)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

layers=(platform recorder archive odbc catalog site ingest batch watch)
programs=(plq2trq trq)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
for program in "${programs[@]}"; do rank[$program]=${#layers[@]}; done
rank[testing]=1  # beside recorder: platform below it, nothing else
folders=("${layers[@]}" "${programs[@]}" testing)
circle_allowed=" odbc/Database odbc/Recordset odbc/DBException odbc/StatementHandle odbc/FieldExchange "

is_program() { [[ " ${programs[*]} " == *" $1 "* ]]; }

# Every include of one of our headers: "file:line:path".
includes="$(grep -rn --include='*.h' --include='*.cpp' '^#include "' "${folders[@]}" 2>/dev/null |
  sed 's/^\([^:]*:[0-9]*\):#include "\([^"]*\)".*/\1:\2/' || true)"

# The unit of a file: its path without the extension; a source without a header of its own
# name belongs to the header whose name begins its own (RecordsetOpen.cpp -> Recordset).
unit_of() {
  local stem=${1%.*} dir name base
  [ -e "$stem.h" ] && { echo "$stem"; return; }
  dir=${stem%/*} name=${stem##*/}
  for header in "$dir"/*.h; do
    base=${header%.h}
    [[ "$name" == "${base##*/}"* ]] && { echo "$base"; return; }
  done
  echo "$stem"
}

status=0
edges=""
while IFS=: read -r file line used; do
  [ -n "$file" ] || continue
  folder=${file%%/*}
  top=${used%%/*}
  [ -n "${rank[$top]+x}" ] || continue  # not one of ours (tests/, a library header)
  if [ "$top" != "$folder" ]; then
    if is_program "$top" && is_program "$folder"; then
      echo "check-layers: $file:$line includes $used: the program $folder/ includes the program $top/" >&2
      status=1
    elif [ "${rank[$top]}" -ge "${rank[$folder]}" ] || [ "$top" = testing ]; then
      echo "check-layers: $file:$line includes $used: $top/ is not below $folder/" >&2
      status=1
    fi
  fi
  from=$(unit_of "$file") to=${used%.h}
  if [ "$from" != "$to" ]; then
    edges+="$from $to"$'\n'
  fi
done <<<"$includes"

# The one home of each outside library.
declare -A home=([httplib.h]=trq/fdsn [cairo]=trq/plot [libmseed.h]=trq/mseed [libxml/]=trq/inventory)
for library in "${!home[@]}"; do
  while IFS=: read -r file line _; do
    [ -n "$file" ] || continue
    echo "check-layers: $file:$line includes <$library...>, which only ${home[$library]}/ uses" >&2
    status=1
  done < <(grep -rn --include='*.h' --include='*.cpp' "^#include <$library" "${folders[@]}" |
    grep -v "^${home[$library]}/" || true)
done

# The formats' headers outside recorder/.
format_readers="tests/recorder/ bench/decode.cpp"
while IFS=: read -r file line used; do
  [ -n "$file" ] || continue
  [[ "$file" == recorder/* ]] && continue
  for reader in $format_readers; do [[ "$file" == "$reader"* ]] && continue 2; done
  echo "check-layers: $file:$line includes $used: a recording format's headers are recorder/'s own; read recordings through recorder/RecordingOpener.h" >&2
  status=1
done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "recorder/[^/"]*/' \
  "${folders[@]}" tools fuzz bench tests 2>/dev/null |
  sed 's/^\([^:]*:[0-9]*\):#include "\([^"]*\)".*/\1:\2/' || true)

# tsort names the units of every circle it meets; the allowed ones are left out of its input
# by dropping each edge between two units of the allowed group.
filtered=""
while read -r from to; do
  [ -n "$from" ] || continue
  if [[ "$circle_allowed" == *" $from "* && "$circle_allowed" == *" $to "* ]]; then continue; fi
  filtered+="$from $to"$'\n'
done <<<"$edges"
if ! loops=$(printf '%s' "$filtered" | tsort 2>&1 >/dev/null); then
  echo "check-layers: units that include each other in a circle:" >&2
  sed -n 's/^tsort: \([a-z0-9_]*\/[^ :]*\)$/  \1/p' <<<"$loops" >&2
  status=1
fi

[ "$status" -eq 0 ] &&
  echo "check-layers: every folder includes only the folders below it, the programs not each other, no circle, no recording format's headers outside recorder/"
exit "$status"
