#!/usr/bin/env bash
# Fails when a folder of the product includes a header of a folder above it. The layers,
# lowest first; a folder may include headers of its own and of the folders before it:
#
#   platform  recorder  archive  odbc  catalog  app  trq
#
# (odbc needs nothing of recorder or archive, but sits above them so that catalog, which
# joins the archive's registrations to the database, is above both.) testing/ holds the
# recording generator and may use platform/ only.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(platform recorder archive odbc catalog app trq)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
rank[testing]=1  # beside recorder: platform below it, nothing else

status=0
for folder in "${layers[@]}" testing; do
  allowed=${rank[$folder]}
  while IFS=: read -r file line include; do
    used=${include#*\"}
    used=${used%%/*}
    [ -n "${rank[$used]+x}" ] || continue  # not one of ours (a system or library header)
    if [ "$used" != "$folder" ] && { [ "${rank[$used]}" -ge "$allowed" ] || [ "$used" = testing ]; }; then
      echo "check-layers: $file:$line includes $used/ from $folder/, which is not below it" >&2
      status=1
    fi
  done < <(grep -n '^#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
done
[ "$status" -eq 0 ] && echo "check-layers: every folder includes only the folders below it"
exit "$status"
