#!/usr/bin/env bash
# Creates the archive catalog (table FILELIST with its unique index on CPATH and its index
# on STA, CH, TBEGIN; the record of recordings, tables RECORDINGS and RECORDINGFILES; table
# FILECHECKSUM of the files' checksums) in an SQLite file or a PostgreSQL database, and
# registers an ODBC data source for it with unixODBC. Running it again changes nothing but the
# data source entry, which is rewritten, and adds a table or an index an older catalog lacks
# (its rows stay as they are). The password is used to create the database only; the
# converter passes its own (PWD=).
#
#   catalog-setup.sh sqlite   --dsn NAME --db FILE [options]
#   catalog-setup.sh postgres --dsn NAME --host HOST --port PORT --db NAME
#                             --user USER --password PASSWORD [options]
#   catalog-setup.sh drivers  [--ini-dir DIR]   only register both drivers
# Options:
#   --ini-dir DIR        write odbc.ini and odbcinst.ini in DIR (use with ODBCSYSINI=DIR
#                        ODBCINI=DIR/odbc.ini); default: the system's unixODBC files
#   --no-unique-index    leave out the unique index on CPATH
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
schema="$here/../catalog/filelist.sql"
recordings="$here/../catalog/recordings.sql"

die() { echo "catalog-setup.sh: $*" >&2; exit 2; }

[ $# -ge 1 ] || die "usage: catalog-setup.sh sqlite|postgres --dsn NAME ... (see the script)"
kind="$1"; shift
dsn="" db="" host="127.0.0.1" port="5432" user="" password="" ini_dir="" unique=1
while [ $# -gt 0 ]; do
  case "$1" in
    --dsn) dsn="$2"; shift 2 ;;
    --db) db="$2"; shift 2 ;;
    --host) host="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    --user) user="$2"; shift 2 ;;
    --password) password="$2"; shift 2 ;;
    --ini-dir) ini_dir="$2"; shift 2 ;;
    --no-unique-index) unique=0; shift ;;
    *) die "unknown argument $1" ;;
  esac
done
if [ "$kind" != drivers ]; then
  [ -n "$dsn" ] || die "--dsn is required"
  [ -n "$db" ] || die "--db is required"
fi

# The schema text, without FILELIST's unique index when it is not wanted; then the record
# of recordings.
schema_text() {
  if [ "$unique" = 1 ]; then
    cat "$schema"
  else
    grep -v 'CREATE UNIQUE INDEX' "$schema"
  fi
  cat "$recordings"
}

# Full path of an ODBC driver library shipped by Debian (multiarch or not).
driver_library() {
  local name="$1" dir
  for dir in /usr/lib/*/odbc /usr/lib/odbc /usr/local/lib/odbc; do
    if [ -e "$dir/$name" ]; then echo "$dir/$name"; return; fi
  done
  die "ODBC driver $name not found (install its Debian package)"
}

# psql of the newest installed PostgreSQL, without the wrapper's cluster lookup.
pg_tool() {
  local tool="$1" bin
  bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
  if [ -n "$bin" ] && [ -x "$bin/$tool" ]; then echo "$bin/$tool"; else command -v "$tool"; fi
}

# Points unixODBC's tools at the requested configuration files.
if [ -n "$ini_dir" ]; then
  mkdir -p "$ini_dir"
  export ODBCSYSINI="$ini_dir" ODBCINI="$ini_dir/odbc.ini"
fi
system_dsn_file="$(odbcinst -j | sed -n 's/^SYSTEM DATA SOURCES: *//p')"
touch "$system_dsn_file"

# Registers driver $1 (library $2, extra lines $3) unless the configuration has it.
ensure_driver() {
  local name="$1" library="$2" extra="${3:-}"
  if odbcinst -q -d -n "$name" >/dev/null 2>&1; then return; fi
  printf '[%s]\nDescription=%s\nDriver=%s\n%b' "$name" "$name" "$library" "$extra" |
    odbcinst -i -d -r >/dev/null
}

# Writes (or rewrites) the data source section read from standard input.
register_dsn() { odbcinst -i -s -l -r >/dev/null; }

# The catalog's own driver entries. Debian's PostgreSQL entry turns the communication log
# on, and psqlODBC writes to it (a file in /tmp per process) even when the data source
# turns it off; the catalog's entry turns it off for good.
sqlite_driver_name="PLQ2TRQ SQLite3"
postgres_driver_name="PLQ2TRQ PostgreSQL ANSI"
sqlite_driver() { ensure_driver "$sqlite_driver_name" "$(driver_library libsqlite3odbc.so)"; }
postgres_driver() {
  ensure_driver "$postgres_driver_name" "$(driver_library psqlodbca.so)" 'Debug=0\nCommLog=0\n'
}

case "$kind" in
  drivers)
    sqlite_driver
    postgres_driver
    ;;
  sqlite)
    command -v sqlite3 >/dev/null || die "sqlite3 not installed"
    mkdir -p "$(dirname "$db")"
    db="$(cd "$(dirname "$db")" && pwd)/$(basename "$db")"
    # WAL is stored in the file; the data source asks for it again on every connect.
    { echo "PRAGMA journal_mode=WAL;"; schema_text; } | sqlite3 -batch "$db" >/dev/null
    sqlite_driver
    printf '[%s]\nDescription=Archive catalog (SQLite)\nDriver=%s\nDatabase=%s\nJournalMode=WAL\nSyncPragma=NORMAL\nTimeout=30000\n' \
      "$dsn" "$sqlite_driver_name" "$db" | register_dsn
    ;;
  postgres)
    [ -n "$user" ] || die "--user is required"
    psql="$(pg_tool psql)"
    export PGPASSWORD="$password" PGOPTIONS="-c client_min_messages=warning"
    connect=(-h "$host" -p "$port" -U "$user" -v ON_ERROR_STOP=1 -q -X)
    exists="$("$psql" "${connect[@]}" -d postgres -tAc \
      "SELECT 1 FROM pg_database WHERE datname = '$db'")"
    if [ "$exists" != "1" ]; then
      "$psql" "${connect[@]}" -d postgres -c "CREATE DATABASE \"$db\"" >/dev/null
    fi
    schema_text | "$psql" "${connect[@]}" -d "$db" >/dev/null
    postgres_driver
    # Protocol 7.4-1: an error inside a transaction rolls the whole transaction back, which
    # is what the converter does with its transactions anyway; the driver's default (-2)
    # sends a SAVEPOINT before every statement, a round trip more per update of a file.
    printf '[%s]\nDescription=Archive catalog (PostgreSQL)\nDriver=%s\nServername=%s\nPort=%s\nDatabase=%s\nUsername=%s\nSSLmode=disable\nProtocol=7.4-1\nCommLog=0\nDebug=0\n' \
      "$dsn" "$postgres_driver_name" "$host" "$port" "$db" "$user" | register_dsn
    ;;
  *) die "unknown catalog kind $kind (sqlite, postgres or drivers)" ;;
esac
