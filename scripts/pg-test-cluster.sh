#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the test suite, on a free TCP port of 127.0.0.1.
#
#   pg-test-cluster.sh start STATE_FILE [durable]
#                                         initdb in a new directory under /tmp, start it,
#                                         write its settings to STATE_FILE (shell syntax:
#                                         PGHOST, PGPORT, PGUSER, PGPASSWORD, PGDATA, PGBIN);
#                                         "durable" keeps fsync and synchronous_commit on,
#                                         as a server is installed (the benchmarks)
#   pg-test-cluster.sh stop STATE_FILE    stop that cluster and remove its directory
#   pg-test-cluster.sh restart STATE_FILE restart that cluster (fast: sessions are ended)
#
# A cluster left behind by a killed run (its STATE_FILE still present) is stopped and
# removed by the next start. PostgreSQL refuses to run as root: as root, the cluster
# belongs to the system user "postgres".
set -euo pipefail

die() { echo "pg-test-cluster.sh: $*" >&2; exit 2; }
[ $# -eq 2 ] || { [ $# -eq 3 ] && [ "$1" = start ] && [ "$3" = durable ]; } ||
  die "usage: pg-test-cluster.sh start STATE_FILE [durable] | stop|restart STATE_FILE"
action="$1"
state_file="$2"
durable="${3:-}"

superuser="postgres"
password="plq-test"

# Runs a command as the cluster's owner.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_cluster() {
  [ -f "$state_file" ] || return 0
  local PGDATA="" PGBIN="" dir
  # shellcheck disable=SC1090
  . "$state_file"
  if [ -n "$PGDATA" ] && [ -d "$PGDATA" ]; then
    as_owner "$PGBIN/pg_ctl" -D "$PGDATA" -m immediate -w stop >/dev/null 2>&1 || true
    dir="$(dirname "$PGDATA")"
    case "$dir" in /tmp/plq-pg-*) rm -rf "$dir" ;; esac
  fi
  rm -f "$state_file"
}

# A TCP port of 127.0.0.1 that nothing listens on now.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then echo "$port"; return; fi
  done
}

start_cluster() {
  stop_cluster
  local bin dir data port started=0 attempt
  bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
  [ -n "$bin" ] && [ -x "$bin/initdb" ] || die "PostgreSQL server binaries not found"
  dir="$(mktemp -d /tmp/plq-pg-XXXXXX)"
  data="$dir/data"
  if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir"; fi
  chmod 700 "$dir"
  printf '%s\n' "$password" >"$dir/pwfile"
  if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir/pwfile"; fi
  as_owner "$bin/initdb" -D "$data" -U "$superuser" --pwfile="$dir/pwfile" \
    --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; rm -rf "$dir"; die "initdb failed"; }
  rm -f "$dir/pwfile"
  cat >>"$data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
shared_buffers = 16MB
max_connections = 60
CONF
  # A test cluster needs no durability; a benchmark's commits wait for the disk, as a
  # server's do as installed.
  if [ "$durable" != durable ]; then
    printf 'fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n' \
      >>"$data/postgresql.conf"
  fi
  # Another process may take the port between the test and the start: try a few.
  for attempt in 1 2 3 4 5 6 7 8; do
    port="$(free_port)"
    if as_owner "$bin/pg_ctl" -D "$data" -o "-p $port" -l "$dir/server.log" -w -t 60 start \
      >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  if [ "$started" != 1 ]; then
    cat "$dir/server.log" >&2 || true
    rm -rf "$dir"
    die "cannot start the test cluster"
  fi
  # Persist the port so that a restart (pg_ctl restart) keeps it.
  echo "port = $port" >>"$data/postgresql.conf"
  {
    echo "PGHOST=127.0.0.1"
    echo "PGPORT=$port"
    echo "PGUSER=$superuser"
    echo "PGPASSWORD=$password"
    echo "PGDATA=$data"
    echo "PGBIN=$bin"
  } >"$state_file.tmp"
  mv "$state_file.tmp" "$state_file"
  echo "test cluster on 127.0.0.1:$port ($data)"
}

restart_cluster() {
  local PGDATA="" PGBIN=""
  # shellcheck disable=SC1090
  . "$state_file"
  as_owner "$PGBIN/pg_ctl" -D "$PGDATA" -m fast -w restart -l "$(dirname "$PGDATA")/server.log" \
    >/dev/null
}

case "$action" in
  start) start_cluster ;;
  restart) restart_cluster ;;
  stop) stop_cluster ;;
  *) die "unknown action $action" ;;
esac
