#!/usr/bin/env bash
# Throw-away PostgreSQL server for the database tests: a cluster in a fresh
# temporary folder, listening only on 127.0.0.1 on a free port, with its socket
# in that folder. TCP logins need a password (scram-sha-256), so a wrong
# password is refused as on a real server.
#
#   eval "$(scripts/pg-test-server.sh start)"   # exports KARTOVO_PG_* and ODBCSYSINI
#   scripts/pg-test-server.sh stop "$KARTOVO_PG_DIR"
#
# Runs the server as the "postgres" account when started by root (initdb
# refuses root), as the calling user otherwise.
set -euo pipefail

pg_bin=${KARTOVO_PG_BIN:-/usr/lib/postgresql/15/bin}
odbc_driver=${KARTOVO_PG_ODBC_DRIVER:-/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so}
pg_user=kartovo
pg_password=kartovo-test
pg_database=kartovo_test

server_account=postgres
script_name=pg-test-server
. "$(dirname "$0")/test-server-common.sh"

start() {
    [ -x "$pg_bin/initdb" ] || { echo "pg-test-server: $pg_bin/initdb not found" >&2; exit 1; }
    [ -f "$odbc_driver" ] || { echo "pg-test-server: ODBC driver $odbc_driver not found" >&2; exit 1; }
    dir=$(mktemp -d "${TMPDIR:-/tmp}/kartovo-pg.XXXXXX")
    # Whatever fails below leaves no server or folder behind.
    trap 'stop "$dir"' EXIT
    trap 'exit 1' INT TERM HUP
    chmod 755 "$dir"
    mkdir -p "$dir/data" "$dir/socket" "$dir/log" "$dir/odbc"
    printf '%s\n' "$pg_password" > "$dir/pwfile"
    if [ "$(id -u)" -eq 0 ]; then
        getent passwd postgres >/dev/null || { echo "pg-test-server: no postgres account" >&2; exit 1; }
        chown -R postgres "$dir/data" "$dir/socket" "$dir/log" "$dir/pwfile"
    fi
    chmod 700 "$dir/data"
    as_owner "$pg_bin/initdb" -D "$dir/data" -U "$pg_user" --pwfile="$dir/pwfile" \
        --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; exit 1; }
    rm -f "$dir/pwfile"

    local port attempt=0
    while :; do
        port=$(free_port)
        if as_owner "$pg_bin/pg_ctl" -D "$dir/data" -l "$dir/log/server.log" -w -t 60 \
            -o "-h 127.0.0.1 -p $port -k $dir/socket -c fsync=off" start >/dev/null 2>&1; then
            break
        fi
        attempt=$((attempt + 1))
        if [ $attempt -ge 5 ]; then cat "$dir/log/server.log" >&2; exit 1; fi
    done
    as_owner "$pg_bin/psql" -h "$dir/socket" -p "$port" -U "$pg_user" -d postgres -qAt \
        -c "CREATE DATABASE $pg_database" -c "CREATE DATABASE $pg_user" >/dev/null 2>"$dir/psql.log" \
        || { cat "$dir/psql.log" >&2; exit 1; }

    cat > "$dir/odbc/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=$odbc_driver
INI
    : > "$dir/odbc/odbc.ini"
    echo "$port" > "$dir/port"

    echo "export KARTOVO_PG_DIR='$dir'"
    echo "export KARTOVO_PG_HOST=127.0.0.1"
    echo "export KARTOVO_PG_PORT=$port"
    echo "export KARTOVO_PG_USER=$pg_user"
    echo "export KARTOVO_PG_PASSWORD=$pg_password"
    echo "export KARTOVO_PG_DATABASE=$pg_database"
    echo "export KARTOVO_PG_DRIVER='PostgreSQL Unicode'"
    echo "export ODBCSYSINI='$dir/odbc'"
    trap - EXIT INT TERM HUP
}

stop() {
    local dir=${1:-${KARTOVO_PG_DIR:-}}
    [ -n "$dir" ] || { echo "usage: $0 stop DIR" >&2; exit 2; }
    case "$dir" in */kartovo-pg.*) ;; *) echo "pg-test-server: $dir is not a test server folder" >&2; exit 2;; esac
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$pg_bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
}

case "${1:-}" in
    start) start ;;
    stop) shift; stop "${1:-}" ;;
    *) echo "usage: $0 start | stop DIR" >&2; exit 2 ;;
esac
