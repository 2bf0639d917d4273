#!/usr/bin/env bash
# A throwaway PostgreSQL 15 cluster for the server tests, on a free loopback port.
#
#   scripts/pg-test-cluster.sh [start]   create and start it; print its connection string
#   scripts/pg-test-cluster.sh stop      stop it and remove its files
#
# As root, initdb and the server run as the postgres user; as any other user, as that user (the
# cluster is the user's own, in a temporary folder). Where the cluster lives is kept in
# $SERVTRAN_PG_STATE (default /tmp/servtran-pg-test-$UID.state), so `stop` finds it again.
#
#   export SERVTRAN_TEST_PG="$(scripts/pg-test-cluster.sh)"
#   ctest --test-dir /work/build-server -L server
#   scripts/pg-test-cluster.sh stop
set -euo pipefail

bin=/usr/lib/postgresql/15/bin
state=${SERVTRAN_PG_STATE:-/tmp/servtran-pg-test-$(id -u).state}
mode=${1:-start}
dbname=servtran_test

die() { echo "pg-test-cluster: $*" >&2; exit 1; }

# PostgreSQL refuses to run as root: root hands the cluster to the postgres user.
if [ "$(id -u)" = 0 ]; then
    as_postgres() { runuser -u postgres -- "$@"; }
else
    as_postgres() { "$@"; }
fi

connection() { echo "postgres:host=127.0.0.1 port=$1 dbname=$dbname user=postgres"; }

free_port() {
    local port
    for port in $(seq 55432 55632); do
        if [ -z "$(ss -Hltn "sport = :$port")" ]; then
            echo "$port"
            return
        fi
    done
    die "no free port between 55432 and 55632"
}

start() {
    [ -x "$bin/initdb" ] || die "PostgreSQL 15 is not installed ($bin)"
    if [ -f "$state" ]; then
        # shellcheck disable=SC1090
        . "$state"
        if as_postgres "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
            connection "$port"
            return
        fi
        rm -rf "$dir" "$state"
    fi
    local dir port
    dir=$(mktemp -d /tmp/servtran-pg.XXXXXX)
    [ "$(id -u)" = 0 ] && chown postgres:postgres "$dir"
    chmod 700 "$dir"
    port=$(free_port)
    as_postgres "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
        || die "initdb failed, see $dir/initdb.log"
    # a test cluster: durability is not wanted, speed is
    as_postgres "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -o \
        "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
        start >/dev/null || die "the server did not start, see $dir/server.log"
    printf 'dir=%s\nport=%s\n' "$dir" "$port" >"$state"
    as_postgres "$bin/createdb" -h 127.0.0.1 -p "$port" -U postgres "$dbname" || die "createdb failed"
    connection "$port"
}

stop() {
    [ -f "$state" ] || { echo "pg-test-cluster: no cluster to stop" >&2; return 0; }
    # shellcheck disable=SC1090
    . "$state"
    as_postgres "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$dir" "$state"
}

case "$mode" in
    start) start ;;
    stop) stop ;;
    *) die "usage: $0 [start|stop]" ;;
esac
