#!/usr/bin/env bash
# Makes the catalogs every test catalog is copied from, once per test run: with
# catalog-setup.sh, an SQLite file and a database on the suite's PostgreSQL cluster, each
# with and without the unique index on CPATH, in DIR/sqlite, DIR/sqlite-plain,
# DIR/postgres, DIR/postgres-plain (each with the odbc.ini and odbcinst.ini the script
# wrote, data source TEMPLATE_CATALOG). Made anew each time: the schema may have changed.
#
#   scripts/test-catalog-templates.sh CLUSTER_STATE_FILE DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
state="${1:?usage: test-catalog-templates.sh CLUSTER_STATE_FILE DIR}"
dir="${2:?usage: test-catalog-templates.sh CLUSTER_STATE_FILE DIR}"
PGHOST="" PGPORT="" PGUSER="" PGPASSWORD="" PGBIN=""
# shellcheck disable=SC1090
. "$state"

rm -rf "$dir"
for unique in "" -plain; do
  flag=()
  [ -z "$unique" ] || flag=(--no-unique-index)
  mkdir -p "$dir/sqlite$unique" "$dir/postgres$unique"
  "$here/catalog-setup.sh" sqlite --dsn TEMPLATE_CATALOG --db "$dir/sqlite$unique/catalog.db" \
    --ini-dir "$dir/sqlite$unique" "${flag[@]}" >/dev/null
  database="plq_template${unique//-/_}"
  "$PGBIN/psql" -XAtq "postgresql://$PGUSER:$PGPASSWORD@$PGHOST:$PGPORT/postgres" \
    -c "DROP DATABASE IF EXISTS $database" >/dev/null
  "$here/catalog-setup.sh" postgres --dsn TEMPLATE_CATALOG --host "$PGHOST" --port "$PGPORT" \
    --db "$database" --user "$PGUSER" --password "$PGPASSWORD" \
    --ini-dir "$dir/postgres$unique" "${flag[@]}" >/dev/null
done
echo "test-catalog-templates: made in $dir"
